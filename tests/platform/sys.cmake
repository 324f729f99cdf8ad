# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_platform_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ClipboardStoreTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FilesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MemoryTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RegistryTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SelectionDataTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SelectionServerTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ShellTest.cpp
)

# A libFuzzer target for the settings file.
kv_add_fuzz_target(registry SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/RegistryFuzz.cpp)

# A libFuzzer target for the bytes of incoming X selection transfers, without a display.
kv_add_fuzz_target(selection SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/SelectionFuzz.cpp)

# A libFuzzer target for other clients' requests to the selection owner (targets, MULTIPLE lists,
# INCR steps, clients that go away, in any order), without a display.
kv_add_fuzz_target(selectionrequests SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/SelectionRequestsFuzz.cpp
                   RUNS 90000)
