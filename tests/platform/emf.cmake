# Metafile recorder and player. List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_platform_tests PRIVATE
)
