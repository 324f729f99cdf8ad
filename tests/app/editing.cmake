# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_app_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ClipboardTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MTEF5Test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TranslationsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EPaneTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FindWindowTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PaletteTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ExportsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RtfOleTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UndoStepsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ModifyMatrixMenuTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OpenDialogTest.cpp
)
add_dependencies(kv_app_tests kv_translators)

# A libFuzzer target for reading an expression from another program's clipboard, built only by
# clang.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(kv_fuzz_clipboard ${CMAKE_SOURCE_DIR}/tools/fuzz/ClipboardFuzz.cpp)
  target_compile_options(kv_fuzz_clipboard PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(kv_fuzz_clipboard PRIVATE -fsanitize=fuzzer,address,undefined)
  target_include_directories(kv_fuzz_clipboard PRIVATE ${CMAKE_SOURCE_DIR}/src
                             ${CMAKE_SOURCE_DIR}/src/Platform)
  target_link_libraries(kv_fuzz_clipboard PRIVATE kv_app kv_model kv_framework kv_resources
                        kv_platform_headless)
  kv_add_warnings(kv_fuzz_clipboard)
endif()

# A libFuzzer target for the MTEF reader.
kv_add_fuzz_target(mtef SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/MtefFuzz.cpp
                   LIBS kv_app kv_model kv_framework kv_resources)

# A libFuzzer target for object storages and rich text with an object.
kv_add_fuzz_target(olertf SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/OleRtfFuzz.cpp
                   LIBS kv_app kv_model kv_framework kv_resources)
