# Metafile recorder and player. List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_platform_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/EmfTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EmfWmfTest.cpp
)

# A libFuzzer target for the metafile reader and player.
kv_add_fuzz_target(emf SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/EmfFuzz.cpp)
