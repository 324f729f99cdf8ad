# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_platform_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/WinFixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RegionTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/QueueTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InputTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PaintTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NonClientTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessageBoxTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SpeechTest.cpp
)
