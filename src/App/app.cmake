# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AppHooks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CommandLine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CQVAppStartup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FrameWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MenuDispatch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessageLoop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ModelWiring.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Recovery.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SelfRegistration.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.cpp
)
