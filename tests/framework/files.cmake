# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_framework_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PFILETest.cpp
)
# The folder tests read the preferences folder copied beside the built program.
add_dependencies(kv_framework_tests kv_prefs_folder)
