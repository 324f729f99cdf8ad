# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_model_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/eObjectTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eWordTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eSimpStringTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ePseudoTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eLayoutTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eTemplTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eTravTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WhereChrTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eFactoryTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eClickTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eStringTest.cpp
)
