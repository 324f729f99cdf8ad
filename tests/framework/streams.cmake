# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_framework_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/oStreamsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/oReaderTest.cpp
)

# A libFuzzer target for the stream readers.
kv_add_fuzz_target(streams SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/StreamsFuzz.cpp LIBS kv_framework)

# A libFuzzer target for the keyed-line record reader.
kv_add_fuzz_target(reader SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/ReaderFuzz.cpp LIBS kv_framework)
