# Structural equality and double-byte text. List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_model_tests PRIVATE
)
