# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
# Sources of Platform/x11 in this folder.
target_sources(kv_platform_x11 PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/X11Backend.cpp
)
