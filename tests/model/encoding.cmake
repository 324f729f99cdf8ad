# The expression encoding, written and read. List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_model_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/etEncodeTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/etEncodeFormsTest.cpp
)

# A libFuzzer target for the encoding reader, built only by clang.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # The reader is compiled in here too, so that the fuzzer sees its coverage.
  add_executable(kv_fuzz_encoding ${CMAKE_SOURCE_DIR}/tools/fuzz/EncodingFuzz.cpp
                                  ${CMAKE_SOURCE_DIR}/src/OverSrcs/etEncode.cpp)
  target_compile_options(kv_fuzz_encoding PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(kv_fuzz_encoding PRIVATE -fsanitize=fuzzer,address,undefined)
  target_include_directories(kv_fuzz_encoding PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(kv_fuzz_encoding PRIVATE kv_model kv_framework kv_resources
                        kv_platform_headless)
  kv_add_warnings(kv_fuzz_encoding)
endif()
