# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
# Sources of Platform/core/font in this folder.
target_sources(kv_platform_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Encoding.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SymbolEncoding.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FontCatalogue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FontInstance.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextRenderer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FontApi.cpp
)
