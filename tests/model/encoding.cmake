# The expression encoding, written and read. List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_model_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/etEncodeTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/etEncodeFormsTest.cpp
)

# A libFuzzer target for the encoding reader.
kv_add_fuzz_target(encoding SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/EncodingFuzz.cpp
                   LIBS kv_model kv_framework kv_resources)
