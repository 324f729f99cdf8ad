# The customisation services the dialogs and the application use: preferences, palettes, macros.
# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/kMacro.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kPalette.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kPrefs.cpp
)
