# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
# Sources of Platform/core/sys in this folder.
target_sources(kv_platform_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Clipboard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Cp1252.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Memory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Registry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SelectionData.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SelectionServer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Shell.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Signals.cpp
)
