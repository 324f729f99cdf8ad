# Translators: the rule tables, their files and the engine that runs them over a tree.
# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_model PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/etTranslator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/etGener.cpp
)
