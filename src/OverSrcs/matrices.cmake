# Matrices and ruled matrices. List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_model PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/eMatrix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eDxMatrix.cpp
)
