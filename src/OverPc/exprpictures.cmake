# Expressions drawn into pictures, and read back from them.
target_sources(kv_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PEXPRPICT.cpp
)
