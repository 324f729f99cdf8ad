# Pixel maps and the picture port. List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_framework_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PixMapTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PictPortTest.cpp
)
