# Fences, integrals and embellishment marks. List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_model_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/eFenceTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eIntegralTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eMarkTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eFenceImageTest.cpp
)
