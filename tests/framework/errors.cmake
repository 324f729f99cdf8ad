# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_framework_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PERRORTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PresourcTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/oUtilTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PUTILTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DialogItemsTest.cpp
)
