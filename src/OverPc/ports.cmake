# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_framework PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/../OverSrcs/oWindows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Portdc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PGRAPHIC.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shell/Pwindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shell/Parrowb.cpp
)
