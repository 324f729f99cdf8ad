# Sources of Platform/core/res in this folder.
target_sources(kv_platform_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Bundle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Resources.cpp
)
