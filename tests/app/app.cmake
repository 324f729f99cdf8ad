# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_app_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AppShellTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AppVoiceTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CommandLineTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KeyCodesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RandomInputTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SelfRegistrationTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SingleInstanceTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StartupHooksTest.cpp
)

# A libFuzzer target for the preference file readers.
kv_add_fuzz_target(prefs SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/PrefsFuzz.cpp
                   LIBS kv_app kv_model kv_framework kv_resources)

# A libFuzzer target for the requests later copies send to the running one.
kv_add_fuzz_target(handoff SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/HandOffFuzz.cpp
                   LIBS kv_app kv_model kv_framework kv_resources)
