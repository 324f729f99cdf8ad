# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_framework_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PERRORTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PresourcTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/oUtilTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PUTILTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DialogItemsTest.cpp
)

# A libFuzzer target for the reader of the system's memory figures.
kv_add_fuzz_target(meminfo SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/MemInfoFuzz.cpp LIBS kv_framework)

# The coloured picture of the dialog-bitmap test, compiled into its own tables.
set(KV_DLGBITMAP_TEST_CPP ${CMAKE_CURRENT_BINARY_DIR}/DlgBitmapTestResourceTables.cpp)
add_custom_command(
  OUTPUT ${KV_DLGBITMAP_TEST_CPP}
  COMMAND rescomp --cpp ${KV_DLGBITMAP_TEST_CPP} --function DlgBitmapTestResourceTables
          --bitmap 19100=${CMAKE_CURRENT_LIST_DIR}/res/DlgBitmapColours.png
  DEPENDS rescomp ${CMAKE_CURRENT_LIST_DIR}/res/DlgBitmapColours.png
  COMMENT "Compiling the dialog-bitmap test resources"
  VERBATIM)
target_sources(kv_framework_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DialogBitmapTest.cpp
  ${KV_DLGBITMAP_TEST_CPP})
