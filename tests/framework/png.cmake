# PNG images in memory and the rotation port. List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_framework_tests PRIVATE
)
