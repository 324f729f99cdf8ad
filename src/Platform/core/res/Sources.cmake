# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
# Sources of Platform/core/res in this folder.
target_sources(kv_platform_core PRIVATE
)
