# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_app_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AppShellTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AppVoiceTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CommandLineTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KeyCodesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RandomInputTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SelfRegistrationTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SingleInstanceTest.cpp
)

# A libFuzzer target for the preference file readers, built only by clang. The readers are
# compiled in here too, so that the fuzzer sees their coverage.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(kv_fuzz_prefs ${CMAKE_SOURCE_DIR}/tools/fuzz/PrefsFuzz.cpp
                               ${CMAKE_SOURCE_DIR}/src/App/kPrefs.cpp
                               ${CMAKE_SOURCE_DIR}/src/OverSrcs/oReader.cpp)
  target_compile_options(kv_fuzz_prefs PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(kv_fuzz_prefs PRIVATE -fsanitize=fuzzer,address,undefined)
  target_include_directories(kv_fuzz_prefs PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(kv_fuzz_prefs PRIVATE kv_app kv_model kv_framework kv_platform_headless
                        kv_resources)
  kv_add_warnings(kv_fuzz_prefs)
endif()
