# Ruled rows and the row ruler. List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_model_tests PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/eDxStrTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/eDxStrRulerCommandTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/eDxStrRulerTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/eDxStrImageTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RulerImagesTest.cpp
)
