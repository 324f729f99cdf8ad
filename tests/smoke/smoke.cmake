# X11 smoke tests (run under xvfb-run).
add_executable(kv_smoke_x11_paint ${CMAKE_CURRENT_LIST_DIR}/X11PaintSmoke.cpp)
target_include_directories(kv_smoke_x11_paint PRIVATE ${CMAKE_SOURCE_DIR}/src/Platform)
target_link_libraries(kv_smoke_x11_paint PRIVATE kv_platform_x11)
kv_add_warnings(kv_smoke_x11_paint)

find_program(KV_XVFB_RUN xvfb-run)
if(KV_XVFB_RUN)
  add_test(NAME SmokeX11Paint
           COMMAND ${KV_XVFB_RUN} -a -s "-screen 0 1280x1024x24 -dpi 96"
                   $<TARGET_FILE:kv_smoke_x11_paint>)
  set_tests_properties(SmokeX11Paint PROPERTIES LABELS "smoke" TIMEOUT 60)
endif()

add_test(NAME SmokeNoDisplay
         COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:korvaline>
                 -P ${CMAKE_CURRENT_LIST_DIR}/NoDisplay.cmake)
set_tests_properties(SmokeNoDisplay PROPERTIES LABELS "smoke" TIMEOUT 60)
