# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
# Sources of Platform/core/dlg in this folder.
target_sources(kv_platform_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DialogManager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Controls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Edit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ListBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CommonDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PrintDialog.cpp
)
