# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CompoundFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DocLines.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MTEF5Converter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MTEF5Parser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OleData.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RtfText.cpp
)
