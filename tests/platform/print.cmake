# The printer device context and print jobs, and the crash handler. List files as
# ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_platform_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PrintJobTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CrashHandlerTest.cpp
)
