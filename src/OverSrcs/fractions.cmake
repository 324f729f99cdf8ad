# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_model PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/eFraction.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eLongDivision.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eRoot.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eOverstrike.cpp
)
