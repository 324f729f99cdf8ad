# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_framework_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/../support/FontPin.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/Golden.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/BitmapPort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PFONTSTest.cpp
)
