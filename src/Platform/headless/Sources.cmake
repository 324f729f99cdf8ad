# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
# Sources of Platform/headless in this folder.
target_sources(kv_platform_headless PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/HeadlessBackend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TestDriver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Speech.cpp
)
# Only test programs link the headless back end; an unscripted message box fails the running test.
if(TARGET GTest::gtest)
  target_link_libraries(kv_platform_headless PUBLIC GTest::gtest)
  target_compile_definitions(kv_platform_headless PRIVATE KV_HEADLESS_GTEST)
endif()
