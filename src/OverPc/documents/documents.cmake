# Documents and data exchange on the system side. List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ClipboardCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CopyTargets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DibCarrier.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Exports.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Translations.cpp
)
