# Matrices and ruled matrices. List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_model_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/eMatrixTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eDxMatrixTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eMatrixImageTest.cpp
)
