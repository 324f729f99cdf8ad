# About, Credits and splash dialogs. List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AboutDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Splash.cpp
)
