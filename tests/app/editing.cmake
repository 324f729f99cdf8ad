# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_app_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ClipboardTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DoubleByteTextTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MTEF5Test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TranslationsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EPaneTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PointerHelpTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FindWindowTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PaletteTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ExportsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RtfOleTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UndoStepsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ModifyMatrixMenuTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ModifyByKindMenuTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OpenDialogTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CaretPlacementTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TypedExamplesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TabSlotsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ModalInputTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DialogKeysTest.cpp
)
add_dependencies(kv_app_tests kv_translators)

# A libFuzzer target for reading an expression from another program's clipboard.
kv_add_fuzz_target(clipboard SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/ClipboardFuzz.cpp
                   LIBS kv_app kv_model kv_framework kv_resources)

# A libFuzzer target for the MTEF reader.
kv_add_fuzz_target(mtef SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/MtefFuzz.cpp
                   LIBS kv_app kv_model kv_framework kv_resources)

# A libFuzzer target for object storages and rich text with an object.
kv_add_fuzz_target(olertf SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/OleRtfFuzz.cpp
                   LIBS kv_app kv_model kv_framework kv_resources)

# libFuzzer targets for PNG and BMP files as File > Open reads them.
kv_add_fuzz_target(png SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/PngFuzz.cpp
                   LIBS kv_app kv_model kv_framework kv_resources)
kv_add_fuzz_target(bmp SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/BmpFuzz.cpp
                   LIBS kv_app kv_model kv_framework kv_resources)
