# Fences, integrals and embellishment marks. List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_model PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/eFence.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eIntegral.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eMark.cpp
)
