# The printer device context and print jobs, and the crash handler. List files as
# ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_platform_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PrintJob.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CrashHandler.cpp
)
