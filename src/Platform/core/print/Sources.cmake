# The printer device context and print jobs. List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_platform_core PRIVATE
)
