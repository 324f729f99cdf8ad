# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_platform_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/MenuTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StatusBarTest.cpp
)

# The menu tests' own menus, compiled into a table set the tests register while they run.
set(KV_MENU_TEST_CPP ${CMAKE_CURRENT_BINARY_DIR}/MenuTestResourceTables.cpp)
add_custom_command(
  OUTPUT ${KV_MENU_TEST_CPP}
  COMMAND rescomp --cpp ${KV_MENU_TEST_CPP} --function MenuTestResourceTables
          --menu ${CMAKE_SOURCE_DIR}/resources/menus/MenuTest.menu
  DEPENDS rescomp ${CMAKE_SOURCE_DIR}/resources/menus/MenuTest.menu
  COMMENT "Compiling the menu test resources"
  VERBATIM)
target_sources(kv_platform_tests PRIVATE ${KV_MENU_TEST_CPP})
