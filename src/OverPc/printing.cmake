# Printing (and the crash report pages). List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_framework PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PPRINT.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PCRASH.cpp
)
# The crash page's template ships beside the program ("CrashPage/crash.html").
configure_file(${CMAKE_SOURCE_DIR}/resources/CrashPage/crash.html
               ${CMAKE_CURRENT_BINARY_DIR}/CrashPage/crash.html COPYONLY)
