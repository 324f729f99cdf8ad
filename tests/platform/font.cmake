# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_platform_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/../support/FontPin.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FontPinTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EncodingTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SymbolEncodingTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FontInstanceTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextRendererTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FontApiTest.cpp
)
