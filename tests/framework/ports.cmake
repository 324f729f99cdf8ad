# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_framework_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PortdcTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PGRAPHICTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/oWindowsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/IconTest.cpp
)
# The icon tests compile their own icons with the resource compiler.
add_dependencies(kv_framework_tests rescomp)
target_link_libraries(kv_framework_tests PRIVATE PNG::PNG)
target_compile_definitions(kv_framework_tests PRIVATE KV_PORTS_RESCOMP="$<TARGET_FILE:rescomp>")
