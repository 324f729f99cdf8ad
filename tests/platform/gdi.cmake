# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_platform_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/../support/Golden.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RasterTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DrawTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BlitTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GdiObjectsTest.cpp
)
