# PNG images in memory, the rotation port and the PostScript port. List files as
# ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_framework_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/oPNGTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/oRotateTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/oPostScrTest.cpp
)
