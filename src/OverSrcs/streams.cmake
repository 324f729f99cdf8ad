# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_framework PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/oStreams.cpp
  ${CMAKE_CURRENT_LIST_DIR}/oReader.cpp
)
