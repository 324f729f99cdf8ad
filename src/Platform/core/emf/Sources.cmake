# Enhanced and Windows metafiles: recorder and player. List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_platform_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/EmfRecorder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EmfPlayer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Metafile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Wmf.cpp
)
