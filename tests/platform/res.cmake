# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_platform_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ResourcesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RescompTest.cpp
)

# The sample sources compiled both ways: as C++ tables linked into the tests and as a bundle file
# the tests load at run time.
set(KV_RES_SAMPLE_INPUTS
  --strings ${CMAKE_CURRENT_LIST_DIR}/res/Sample.tsv
  --menu ${CMAKE_SOURCE_DIR}/resources/menus/Sample.menu
  --dialog ${CMAKE_SOURCE_DIR}/resources/dialogs/Sample.dlg
  --data 10:11=${CMAKE_CURRENT_LIST_DIR}/res/Sample.tsv
  --data 10:KeyNames=${CMAKE_SOURCE_DIR}/resources/menus/Sample.menu
  --data 256:5=${CMAKE_SOURCE_DIR}/resources/dialogs/Sample.dlg)
set(KV_RES_SAMPLE_CPP ${CMAKE_CURRENT_BINARY_DIR}/SampleResourceTables.cpp)
set(KV_RES_SAMPLE_BUNDLE ${CMAKE_CURRENT_BINARY_DIR}/Sample.kvres)
add_custom_command(
  OUTPUT ${KV_RES_SAMPLE_CPP} ${KV_RES_SAMPLE_BUNDLE}
  COMMAND rescomp --cpp ${KV_RES_SAMPLE_CPP} --function SampleResourceTables
          --bundle ${KV_RES_SAMPLE_BUNDLE} ${KV_RES_SAMPLE_INPUTS}
  DEPENDS rescomp ${CMAKE_CURRENT_LIST_DIR}/res/Sample.tsv
          ${CMAKE_SOURCE_DIR}/resources/menus/Sample.menu
          ${CMAKE_SOURCE_DIR}/resources/dialogs/Sample.dlg
  COMMENT "Compiling the sample resources"
  VERBATIM)
target_sources(kv_platform_tests PRIVATE ${KV_RES_SAMPLE_CPP})
add_dependencies(kv_platform_tests rescomp)
target_link_libraries(kv_platform_tests PRIVATE PNG::PNG)
target_compile_definitions(kv_platform_tests PRIVATE
  KV_RESCOMP="$<TARGET_FILE:rescomp>"
  KV_SAMPLE_BUNDLE="${KV_RES_SAMPLE_BUNDLE}"
  KV_RESOURCE_BUNDLE="${KV_RESOURCE_BUNDLE}")
