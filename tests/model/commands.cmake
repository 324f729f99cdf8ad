# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_model_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/kEditTest.cpp
)
# The shipped keys.prf test reads the folder the build writes.
add_dependencies(kv_model_tests kv_prefs_folder)
