# The Modify command and its dialog support. List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_model_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ChangeTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ChangeDialogSupportTest.cpp
)
