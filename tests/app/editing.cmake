# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_app_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ClipboardTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TranslationsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EPaneTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ExportsTest.cpp
)
add_dependencies(kv_app_tests kv_translators)
