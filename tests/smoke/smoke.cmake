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

# A window laid out for the virtual screen is clamped to the smaller real one.
add_executable(kv_smoke_x11_clamp ${CMAKE_CURRENT_LIST_DIR}/X11ClampSmoke.cpp)
target_include_directories(kv_smoke_x11_clamp PRIVATE ${CMAKE_SOURCE_DIR}/src/Platform)
target_link_libraries(kv_smoke_x11_clamp PRIVATE kv_platform_x11)
kv_add_warnings(kv_smoke_x11_clamp)
if(KV_XVFB_RUN)
  add_test(NAME SmokeX11Clamp
           COMMAND ${KV_XVFB_RUN} -a -s "-screen 0 1280x1024x24 -dpi 96"
                   $<TARGET_FILE:kv_smoke_x11_clamp>)
  set_tests_properties(SmokeX11Clamp PROPERTIES LABELS "smoke" TIMEOUT 60)
endif()

# Keys from the X server: key messages, and characters only for the keys that type one.
add_executable(kv_smoke_x11_keys ${CMAKE_CURRENT_LIST_DIR}/X11KeySmoke.cpp)
target_include_directories(kv_smoke_x11_keys PRIVATE ${CMAKE_SOURCE_DIR}/src/Platform)
target_link_libraries(kv_smoke_x11_keys PRIVATE kv_platform_x11)
kv_add_warnings(kv_smoke_x11_keys)
if(KV_XVFB_RUN)
  add_test(NAME SmokeX11Keys
           COMMAND ${KV_XVFB_RUN} -a -s "-screen 0 1280x1024x24 -dpi 96"
                   $<TARGET_FILE:kv_smoke_x11_keys>)
  set_tests_properties(SmokeX11Keys PROPERTIES LABELS "smoke" TIMEOUT 60)
endif()

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
add_executable(kv_smoke_x11_clipboard_manager
               ${CMAKE_CURRENT_LIST_DIR}/X11ClipboardManagerSmoke.cpp)
target_include_directories(kv_smoke_x11_clipboard_manager PRIVATE ${CMAKE_SOURCE_DIR}/src/Platform)
target_link_libraries(kv_smoke_x11_clipboard_manager PRIVATE kv_platform_x11)
kv_add_warnings(kv_smoke_x11_clipboard_manager)
if(KV_XVFB_RUN)
  add_test(NAME SmokeX11ClipboardManager
           COMMAND ${KV_XVFB_RUN} -a -s "-screen 0 1280x1024x24 -dpi 96"
                   $<TARGET_FILE:kv_smoke_x11_clipboard_manager>)
  set_tests_properties(SmokeX11ClipboardManager PROPERTIES LABELS "smoke" TIMEOUT 60)
endif()
