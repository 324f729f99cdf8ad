# Pictures as text (the picture records inside the expression encoding).
target_sources(kv_framework PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PPICTEXT.cpp
)
