# PNG images in memory, the rotation port and the PostScript port. List files as
# ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_framework PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/oPNG.cpp
  ${CMAKE_CURRENT_LIST_DIR}/oRotate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/oPostScr.cpp
  # The window-system facts the PostScript writer needs (fonts, font files, pixel maps).
  ${CMAKE_CURRENT_LIST_DIR}/../OverPc/PPostScr.cpp
)
target_link_libraries(kv_framework PUBLIC PNG::PNG)
