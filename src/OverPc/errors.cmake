# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_framework PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PERROR.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Presourc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PUTIL.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../OverSrcs/oUtil.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../OverSrcs/commands/kCommandScope.cpp
)
