# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_model PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/commands/kKeyMap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/commands/kEdit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/commands/kInsert.cpp
)
