# Translators: files, rule language, generate. List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_model_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/etTranslatorTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/etGenerTest.cpp
)

# A libFuzzer target for the translator file reader.
kv_add_fuzz_target(translator SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/TranslatorFuzz.cpp
                   LIBS kv_model kv_framework kv_resources)

# The generate tests read the shipped translators.
add_dependencies(kv_model_tests kv_translators)
