# Structural equality. List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_model PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/eEqual.cpp
  ${CMAKE_CURRENT_LIST_DIR}/etBrowse.cpp
)
