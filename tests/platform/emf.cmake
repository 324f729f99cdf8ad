# Metafile recorder and player. List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_platform_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/EmfTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EmfWmfTest.cpp
)

# A libFuzzer target for the metafile reader and player, built only by clang.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(kv_fuzz_emf ${CMAKE_SOURCE_DIR}/tools/fuzz/EmfFuzz.cpp)
  target_compile_options(kv_fuzz_emf PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(kv_fuzz_emf PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(kv_fuzz_emf PRIVATE kv_platform_headless)
  kv_add_warnings(kv_fuzz_emf)
endif()
