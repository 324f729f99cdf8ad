# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
# Sources of Platform/core/menu in this folder.
target_sources(kv_platform_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/MenuModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MenuTrack.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StatusBar.cpp
)
