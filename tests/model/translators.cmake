# Translators: files, rule language, generate. List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_model_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/etTranslatorTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/etGenerTest.cpp
)

# A libFuzzer target for the translator file reader, built only by clang.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(kv_fuzz_translator ${CMAKE_SOURCE_DIR}/tools/fuzz/TranslatorFuzz.cpp)
  target_compile_options(kv_fuzz_translator PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(kv_fuzz_translator PRIVATE -fsanitize=fuzzer,address,undefined)
  target_include_directories(kv_fuzz_translator PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(kv_fuzz_translator PRIVATE kv_model kv_framework kv_resources
                        kv_platform_headless)
  kv_add_warnings(kv_fuzz_translator)
endif()

# The generate tests read the shipped translators.
add_dependencies(kv_model_tests kv_translators)
