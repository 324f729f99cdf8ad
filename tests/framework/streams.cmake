# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_framework_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/oStreamsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/oReaderTest.cpp
)

# A libFuzzer target for the stream readers, built only by clang.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(kv_fuzz_streams ${CMAKE_SOURCE_DIR}/tools/fuzz/StreamsFuzz.cpp)
  target_compile_options(kv_fuzz_streams PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(kv_fuzz_streams PRIVATE -fsanitize=fuzzer,address,undefined)
  target_include_directories(kv_fuzz_streams PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(kv_fuzz_streams PRIVATE kv_framework kv_platform_headless)
  kv_add_warnings(kv_fuzz_streams)
endif()

# A libFuzzer target for the keyed-line record reader, built only by clang.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(kv_fuzz_reader ${CMAKE_SOURCE_DIR}/tools/fuzz/ReaderFuzz.cpp)
  target_compile_options(kv_fuzz_reader PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(kv_fuzz_reader PRIVATE -fsanitize=fuzzer,address,undefined)
  target_include_directories(kv_fuzz_reader PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(kv_fuzz_reader PRIVATE kv_framework kv_platform_headless)
  kv_add_warnings(kv_fuzz_reader)
endif()
