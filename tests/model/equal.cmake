# Structural equality and double-byte text. List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_model_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/eEqualTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eAsianTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eAsianImageTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eNewLineTest.cpp
)
