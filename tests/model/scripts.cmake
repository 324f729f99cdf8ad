# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_model_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/eSSScriptTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eTensorTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eTreeNodeTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eScriptImageTest.cpp
)
