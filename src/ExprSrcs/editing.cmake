# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
# Selection record, movement and hit-testing live with the expression model.
target_sources(kv_model PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/OverSrcs/eSelect.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/OverSrcs/eEditSupport.cpp
)
# The expression pane and document windows sit on the window shell.
target_sources(kv_app PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/ExprSrcs/EPane.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ExprSrcs/ExprFilePane.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ExprSrcs/Find.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ExprSrcs/PaneDisplayList.cpp
)
