# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
# Sources of Platform/core/gdi in this folder.
target_sources(kv_platform_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/GdiObjects.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Bitmap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Dc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Raster.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Draw.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Blit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Icon.cpp
)
