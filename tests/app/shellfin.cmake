# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_app_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PaneShellTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ShellFaultsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MenuRowsTest.cpp
)
