# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_model PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/eModelHooks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eObject.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eLayout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eChar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eWord.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ePseudo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eUFO.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eString.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eSimpString.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eTempl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eHeader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eTrav.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WhereChr.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eFactory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eClick.cpp
)
