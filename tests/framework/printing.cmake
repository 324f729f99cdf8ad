# Printing (and the crash report pages). List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_framework_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PPRINTTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PCRASHTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UnhandledFailCrashTest.cpp
)
