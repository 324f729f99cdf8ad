# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_model_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/eFractionTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eLongDivisionTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eRootTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eBoxTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eOverstrikeTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eFractionImageTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/FontPin.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/Golden.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/BitmapPort.cpp
)
