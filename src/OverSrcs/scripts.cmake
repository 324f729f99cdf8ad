# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_model PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/eSSScript.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eExpandable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eTensor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eTreeNode.cpp
)
