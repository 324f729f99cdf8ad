# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
# Sources of Platform/x11 in this folder.
target_sources(kv_platform_x11 PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/X11Backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Speech.cpp
)
# Without the speech engine the program still builds; it then has no voice.
if(ESPEAK_NG_LIB)
  target_compile_definitions(kv_platform_x11 PRIVATE KV_HAVE_ESPEAK_NG)
endif()
