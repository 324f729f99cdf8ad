# X11 smoke tests (run under xvfb-run).
find_program(KV_XVFB_RUN xvfb-run)

# A smoke program on the X11 back end alone, run as TEST under xvfb-run.
function(kv_add_x11_smoke target test source)
  add_executable(${target} ${CMAKE_CURRENT_LIST_DIR}/${source})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src/Platform)
  target_link_libraries(${target} PRIVATE kv_platform_x11)
  kv_add_warnings(${target})
  if(KV_XVFB_RUN)
    add_test(NAME ${test}
             COMMAND ${KV_XVFB_RUN} -a -s "-screen 0 1280x1024x24 -dpi 96"
                     $<TARGET_FILE:${target}>)
    set_tests_properties(${test} PROPERTIES LABELS "smoke" TIMEOUT 60)
  endif()
endfunction()

kv_add_x11_smoke(kv_smoke_x11_paint SmokeX11Paint X11PaintSmoke.cpp)
# A window laid out for the virtual screen is clamped to the smaller real one.
kv_add_x11_smoke(kv_smoke_x11_clamp SmokeX11Clamp X11ClampSmoke.cpp)
# Keys from the X server: key messages, and characters only for the keys that type one.
kv_add_x11_smoke(kv_smoke_x11_keys SmokeX11Keys X11KeySmoke.cpp)

# One drawing through a native port: the headless build writes its memory image as the reference,
# the X11 build compares what the server shows with it.
add_executable(kv_smoke_port_reference ${CMAKE_CURRENT_LIST_DIR}/X11PortSmoke.cpp)
target_compile_definitions(kv_smoke_port_reference PRIVATE KV_SMOKE_HEADLESS)
target_include_directories(kv_smoke_port_reference PRIVATE ${CMAKE_SOURCE_DIR}/src/Platform)
target_link_libraries(kv_smoke_port_reference PRIVATE kv_framework kv_resources
                      kv_platform_headless)
kv_add_warnings(kv_smoke_port_reference)
add_executable(kv_smoke_x11_ports ${CMAKE_CURRENT_LIST_DIR}/X11PortSmoke.cpp)
target_include_directories(kv_smoke_x11_ports PRIVATE ${CMAKE_SOURCE_DIR}/src/Platform)
target_link_libraries(kv_smoke_x11_ports PRIVATE kv_framework kv_resources kv_platform_x11)
kv_add_warnings(kv_smoke_x11_ports)
set(KV_SMOKE_PORT_PIXELS ${CMAKE_CURRENT_BINARY_DIR}/smoke_port_reference.rgb)
add_test(NAME SmokePortReference
         COMMAND $<TARGET_FILE:kv_smoke_port_reference> ${KV_SMOKE_PORT_PIXELS})
set_tests_properties(SmokePortReference PROPERTIES LABELS "smoke" TIMEOUT 60
                     FIXTURES_SETUP SmokePortPixels)
if(KV_XVFB_RUN)
  add_test(NAME SmokeX11Ports
           COMMAND ${KV_XVFB_RUN} -a -s "-screen 0 1280x1024x24 -dpi 96"
                   $<TARGET_FILE:kv_smoke_x11_ports> ${KV_SMOKE_PORT_PIXELS})
  set_tests_properties(SmokeX11Ports PROPERTIES LABELS "smoke" TIMEOUT 60
                       FIXTURES_REQUIRED SmokePortPixels)
endif()

add_test(NAME SmokeNoDisplay
         COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:korvaline>
                 -P ${CMAKE_CURRENT_LIST_DIR}/NoDisplay.cmake)
set_tests_properties(SmokeNoDisplay PROPERTIES LABELS "smoke" TIMEOUT 60)

# The clipboard between the editor and another X client (xclip), checked with pngcheck.
find_program(KV_XCLIP xclip)
find_program(KV_XDOTOOL xdotool)
find_program(KV_PNGCHECK pngcheck)
if(KV_XVFB_RUN AND KV_XCLIP AND KV_XDOTOOL AND KV_PNGCHECK)
  add_test(NAME SmokeX11Clipboard
           COMMAND ${KV_XVFB_RUN} -a -s "-screen 0 1280x1024x24 -dpi 96"
                   ${CMAKE_CURRENT_LIST_DIR}/ClipboardSmoke.sh $<TARGET_FILE:korvaline>
                   ${CMAKE_CURRENT_BINARY_DIR}/clipboard-smoke)
  set_tests_properties(SmokeX11Clipboard PROPERTIES LABELS "smoke" TIMEOUT 150)
endif()

# Making the voice prints nothing, even where the audio device is missing.
add_executable(kv_smoke_voice ${CMAKE_CURRENT_LIST_DIR}/VoiceSmoke.cpp)
target_link_libraries(kv_smoke_voice PRIVATE kv_platform_x11)
kv_add_warnings(kv_smoke_voice)
add_test(NAME SmokeQuietVoice
         COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:kv_smoke_voice>
                 -P ${CMAKE_CURRENT_LIST_DIR}/QuietVoice.cmake)
set_tests_properties(SmokeQuietVoice PROPERTIES LABELS "smoke" TIMEOUT 60)

# Large clipboard data reaches another client in INCR pieces.
add_executable(kv_smoke_x11_clipboard_incr ${CMAKE_CURRENT_LIST_DIR}/X11ClipboardIncrSmoke.cpp)
target_include_directories(kv_smoke_x11_clipboard_incr PRIVATE ${CMAKE_SOURCE_DIR}/src/Platform)
target_link_libraries(kv_smoke_x11_clipboard_incr PRIVATE kv_platform_x11)
kv_add_warnings(kv_smoke_x11_clipboard_incr)
if(KV_XVFB_RUN AND KV_XCLIP)
  add_test(NAME SmokeX11ClipboardIncr
           COMMAND ${KV_XVFB_RUN} -a -s "-screen 0 1280x1024x24 -dpi 96"
                   $<TARGET_FILE:kv_smoke_x11_clipboard_incr>
                   ${CMAKE_CURRENT_BINARY_DIR}/clipboard-incr.bin)
  set_tests_properties(SmokeX11ClipboardIncr PROPERTIES LABELS "smoke" TIMEOUT 60)
endif()

# MULTIPLE requests and the hand-over to a clipboard manager (SAVE_TARGETS) at shut-down.
kv_add_x11_smoke(kv_smoke_x11_clipboard_manager SmokeX11ClipboardManager
                 X11ClipboardManagerSmoke.cpp)
