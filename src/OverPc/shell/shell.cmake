# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_framework PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CQVApp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Cursors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DialogItems.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HelpBalloons.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KeyCodes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/oDlgWidget.cpp
  ${CMAKE_CURRENT_LIST_DIR}/oListBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PMENU.cpp
)
