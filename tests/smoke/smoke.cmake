# X11 smoke tests, each on a private X server (OnXvfb.sh).
find_program(KV_XVFB Xvfb)
find_program(KV_XVFB_RUN xvfb-run)
find_program(KV_XPROP xprop)
find_program(KV_OPENBOX openbox)
find_program(KV_FLUXBOX fluxbox)

# A test on a private X server, run once for each window manager in WMS (default: none and
# openbox): NAME alone without one, NAME followed by the manager's name (NAMEOpenbox) under it;
# OnXvfb.sh starts the server and UnderWm.sh the manager. A manager that is not installed adds no
# test. @TEST@ in the command is replaced by the test's name, so the runs write to different files.
#   kv_add_xvfb_test(NAME name COMMAND command... [WMS wm...] [TIMEOUT s]
#                    [FIXTURES_REQUIRED fixture...])
function(kv_add_xvfb_test)
  cmake_parse_arguments(arg "" "NAME;TIMEOUT" "COMMAND;WMS;FIXTURES_REQUIRED" ${ARGN})
  if(NOT KV_XVFB OR NOT KV_XPROP)
    return()
  endif()
  if(NOT arg_WMS)
    set(arg_WMS none openbox)
  endif()
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 60)
  endif()
  foreach(wm IN LISTS arg_WMS)
    if(wm STREQUAL "none")
      set(test ${arg_NAME})
    else()
      string(TOUPPER ${wm} wm_var)
      if(NOT KV_${wm_var})
        continue()
      endif()
      string(SUBSTRING ${wm} 0 1 first)
      string(SUBSTRING ${wm} 1 -1 rest)
      string(TOUPPER ${first} first)
      set(test ${arg_NAME}${first}${rest})
    endif()
    # Each run has files of its own: @TEST@ in the command stands for the test's name.
    string(REPLACE "@TEST@" ${test} command "${arg_COMMAND}")
    add_test(NAME ${test} COMMAND ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/OnXvfb.sh ${wm} ${command})
    set_tests_properties(${test} PROPERTIES LABELS "smoke" TIMEOUT ${arg_TIMEOUT})
    if(arg_FIXTURES_REQUIRED)
      set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED "${arg_FIXTURES_REQUIRED}")
    endif()
  endforeach()
endfunction()

# A smoke program on the X11 back end alone, run as TEST on a private X server (kv_add_xvfb_test;
# WMS may follow).
function(kv_add_x11_smoke target test source)
  add_executable(${target} ${CMAKE_CURRENT_LIST_DIR}/${source})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src/Platform)
  target_link_libraries(${target} PRIVATE kv_platform_x11)
  kv_add_warnings(${target})
  kv_add_xvfb_test(NAME ${test} COMMAND $<TARGET_FILE:${target}> ${ARGN})
endfunction()

kv_add_x11_smoke(kv_smoke_x11_paint SmokeX11Paint X11PaintSmoke.cpp)
# A window laid out for the virtual screen is clamped to the smaller real one.
# Without a window manager only: one places and decorates the windows itself.
kv_add_x11_smoke(kv_smoke_x11_clamp SmokeX11Clamp X11ClampSmoke.cpp WMS none)
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
kv_add_xvfb_test(NAME SmokeX11Ports FIXTURES_REQUIRED SmokePortPixels
                 COMMAND $<TARGET_FILE:kv_smoke_x11_ports> ${KV_SMOKE_PORT_PIXELS})

add_test(NAME SmokeNoDisplay
         COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:korvaline>
                 -P ${CMAKE_CURRENT_LIST_DIR}/NoDisplay.cmake)
set_tests_properties(SmokeNoDisplay PROPERTIES LABELS "smoke" TIMEOUT 60)

# The clipboard between the editor and another X client (xclip), checked with pngcheck.
find_program(KV_XCLIP xclip)
find_program(KV_XDOTOOL xdotool)
find_program(KV_PNGCHECK pngcheck)
if(KV_XCLIP AND KV_XDOTOOL AND KV_PNGCHECK)
  kv_add_xvfb_test(NAME SmokeX11Clipboard TIMEOUT 150
                   COMMAND ${CMAKE_CURRENT_LIST_DIR}/ClipboardSmoke.sh $<TARGET_FILE:korvaline>
                           ${CMAKE_CURRENT_BINARY_DIR}/@TEST@)
endif()

# Activation and focus settle under each window manager: the program goes idle after the runs of
# input that once kept it busy for ever (fluxbox too, where it is installed).
if(KV_XCLIP AND KV_XDOTOOL)
  kv_add_xvfb_test(NAME SmokeX11Focus WMS none openbox fluxbox TIMEOUT 120
                   COMMAND ${CMAKE_CURRENT_LIST_DIR}/FocusSmoke.sh $<TARGET_FILE:korvaline>
                           ${CMAKE_CURRENT_BINARY_DIR}/@TEST@)
endif()

# Japanese typed through the X server under a Japanese locale reaches the saved file as
# double-byte text and comes back the same in a new run.
if(KV_XCLIP AND KV_XDOTOOL)
  kv_add_xvfb_test(NAME SmokeX11DoubleByte TIMEOUT 300
                   COMMAND ${CMAKE_CURRENT_LIST_DIR}/DoubleByteSmoke.sh $<TARGET_FILE:korvaline>
                           ${CMAKE_CURRENT_BINARY_DIR}/@TEST@)
endif()

# Windows keep their place: the find window, a dialog, the palette and the frame come back where
# they were after being closed and opened, and after a restart, with a window manager's frame or
# without.
if(KV_XDOTOOL)
  kv_add_xvfb_test(NAME SmokeX11Places WMS none openbox fluxbox TIMEOUT 150
                   COMMAND ${CMAKE_CURRENT_LIST_DIR}/PlacesSmoke.sh $<TARGET_FILE:korvaline>
                           ${CMAKE_CURRENT_BINARY_DIR}/@TEST@)
endif()

# Settings typed into the picture preference dialogs (an empty PostScript resolution, a metafile
# resolution beyond any range) read back at the next start, with no word of a damaged file.
if(KV_XDOTOOL AND KV_XPROP)
  kv_add_xvfb_test(NAME SmokeX11Prefs WMS openbox fluxbox TIMEOUT 120
                   COMMAND ${CMAKE_CURRENT_LIST_DIR}/PrefsSmoke.sh $<TARGET_FILE:korvaline>
                           ${CMAKE_CURRENT_BINARY_DIR}/@TEST@)
endif()

# The same for each kind of top-level window on the back end alone: made again at its last place or
# moved while shown, the client is where it was asked, as the server shows it; no X error.
kv_add_x11_smoke(kv_smoke_x11_places SmokeX11BackendPlaces X11PlacesSmoke.cpp WMS none openbox
                 fluxbox)

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
if(KV_XCLIP)
  kv_add_xvfb_test(NAME SmokeX11ClipboardIncr
                   COMMAND $<TARGET_FILE:kv_smoke_x11_clipboard_incr>
                           ${CMAKE_CURRENT_BINARY_DIR}/@TEST@.bin)
endif()

# MULTIPLE requests and the hand-over to a clipboard manager (SAVE_TARGETS) at shut-down.
kv_add_x11_smoke(kv_smoke_x11_clipboard_manager SmokeX11ClipboardManager
                 X11ClipboardManagerSmoke.cpp)

# What a window manager reads of each kind of window, and the protocols it sends.
kv_add_x11_smoke(kv_smoke_x11_window_manager SmokeX11WindowManager X11WindowManagerSmoke.cpp WMS none
                 openbox fluxbox)

# A small X client the smoke scripts drive the program with: TARGET from SOURCE, on Xlib alone.
function(kv_add_x_client target source)
  add_executable(${target} ${CMAKE_CURRENT_LIST_DIR}/${source})
  target_link_libraries(${target} PRIVATE PkgConfig::X11)
  kv_add_warnings(${target})
endfunction()

# The window manager's close button and pings, and the end on SIGTERM, on the real program.
kv_add_x_client(kv_smoke_wm_client WmClient.cpp)
if(KV_XDOTOOL AND KV_XPROP AND KV_XCLIP)
  kv_add_xvfb_test(NAME SmokeX11Ending TIMEOUT 240
                   COMMAND ${CMAKE_CURRENT_LIST_DIR}/EndingSmoke.sh $<TARGET_FILE:korvaline>
                           $<TARGET_FILE:kv_smoke_wm_client> ${CMAKE_CURRENT_BINARY_DIR}/@TEST@)
endif()

# The arguments of the smoke scripts that save a document and read the saved file back as text:
# the tool that turns a document into text, its translator, and a document whose text has no "y"
# and no "z".
set(kv_smoke_saved_document $<TARGET_FILE:cattrans> ${CMAKE_BINARY_DIR}/src/Korvaline_Prefs/Text.CAT
    ${CMAKE_BINARY_DIR}/src/Korvaline_Prefs/Examples/01_Algebra/01_Quadratic_formula.pvx)

# Files reach the running copy past hostile peers of its socket (SocketProbe.py), whatever their
# name; a file handed over again brings its window forward, and a save keeps both edits.
find_package(Python3 COMPONENTS Interpreter)
if(KV_XDOTOOL AND KV_XPROP AND Python3_Interpreter_FOUND)
  kv_add_xvfb_test(NAME SmokeX11HandOver WMS none openbox fluxbox TIMEOUT 120
                   COMMAND ${CMAKE_CURRENT_LIST_DIR}/HandOverSmoke.sh $<TARGET_FILE:korvaline>
                           ${kv_smoke_saved_document}
                           ${CMAKE_CURRENT_BINARY_DIR}/@TEST@)
endif()

# A cancelled Quitter or close button leaves the documents and the palette.
if(KV_XDOTOOL AND KV_XPROP)
  kv_add_xvfb_test(NAME SmokeX11PaletteClose WMS openbox fluxbox TIMEOUT 120
                   COMMAND ${CMAKE_CURRENT_LIST_DIR}/PaletteCloseSmoke.sh $<TARGET_FILE:korvaline>
                           $<TARGET_FILE:kv_smoke_wm_client> ${CMAKE_CURRENT_BINARY_DIR}/@TEST@)
endif()

# Saves keep the user's files: a file of the user's own with a save's sibling name beside the
# document survives two runs that each save an edit with Ctrl+S, and the document holds both.
if(KV_XDOTOOL)
  kv_add_xvfb_test(NAME SmokeX11Save WMS none openbox fluxbox TIMEOUT 120
                   COMMAND ${CMAKE_CURRENT_LIST_DIR}/SaveSmoke.sh $<TARGET_FILE:korvaline>
                           ${kv_smoke_saved_document}
                           ${CMAKE_CURRENT_BINARY_DIR}/@TEST@)
endif()

# A click beside a formula that ends in a fraction leaves the caret at its end or start, at every
# height: the keys typed after the clicks are all after or before the formula in the saved file.
# Clicks on and below a row of big operators never type into an operator's sign.
if(KV_XDOTOOL)
  kv_add_xvfb_test(NAME SmokeX11Click WMS none openbox TIMEOUT 300
                   COMMAND ${CMAKE_CURRENT_LIST_DIR}/ClickSmoke.sh $<TARGET_FILE:korvaline>
                           $<TARGET_FILE:kv_smoke_wm_client> ${kv_smoke_saved_document}
                           ${CMAKE_BINARY_DIR}/src/Korvaline_Prefs/Examples/01_Algebra/07_Big_operators.pvx
                           ${CMAKE_CURRENT_BINARY_DIR}/@TEST@)
endif()

# A save of a file another program holds locked answers the window manager while it waits, then
# says the file is in use and leaves it; SIGTERM during the wait still ends the program in order.
if(KV_XDOTOOL AND KV_XPROP)
  kv_add_xvfb_test(NAME SmokeX11SaveLock WMS none openbox TIMEOUT 120
                   COMMAND ${CMAKE_CURRENT_LIST_DIR}/SaveLockSmoke.sh $<TARGET_FILE:korvaline>
                           $<TARGET_FILE:kv_smoke_wm_client>
                           ${CMAKE_BINARY_DIR}/src/Korvaline_Prefs/Examples/01_Algebra/01_Quadratic_formula.pvx
                           ${CMAKE_CURRENT_BINARY_DIR}/@TEST@)
endif()

# Random input through XTest to the whole program on a real X server, under a window manager
# (UnderWm.sh); a crash, a sanitizer report or a hang fails it (see the source for running it
# longer, under another window manager or none). It runs in the sanitizer build, where the reports
# come from, and on its own: scripts/test.sh runs the label "x11random" after the other sanitizer
# tests.
pkg_check_modules(XTST REQUIRED IMPORTED_TARGET xtst xcb)
add_executable(kv_smoke_x11_random ${CMAKE_CURRENT_LIST_DIR}/X11RandomInput.cpp)
target_link_libraries(kv_smoke_x11_random PRIVATE PkgConfig::X11 PkgConfig::XTST)
target_compile_definitions(kv_smoke_x11_random PRIVATE
                           KV_UNDER_WM_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/UnderWm.sh")
kv_add_warnings(kv_smoke_x11_random)
# The test starts its window manager itself (KV_RANDOM_WM, openbox by default), so the server
# comes without one.
if(KV_SANITIZE AND KV_XVFB AND KV_OPENBOX AND KV_XPROP)
  add_test(NAME SmokeX11RandomInput
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/OnXvfb.sh none
                   $<TARGET_FILE:kv_smoke_x11_random> $<TARGET_FILE:korvaline>
                   ${CMAKE_CURRENT_BINARY_DIR}/x11-random-input)
  set_tests_properties(SmokeX11RandomInput PROPERTIES LABELS "smoke;x11random" TIMEOUT 300)
endif()

# A clipboard smoke script run as NAME, where xdotool and xclip are installed: SCRIPT PROGRAM
# WMCLIENT CLIENT WORKDIR, with CLIENT an X client of its own built from SOURCE (kv_add_x_client).
function(kv_add_clipboard_client_test name script client source)
  kv_add_x_client(${client} ${source})
  if(KV_XDOTOOL AND KV_XCLIP)
    kv_add_xvfb_test(NAME ${name} TIMEOUT 120
                     COMMAND ${CMAKE_CURRENT_LIST_DIR}/${script} $<TARGET_FILE:korvaline>
                             $<TARGET_FILE:kv_smoke_wm_client> $<TARGET_FILE:${client}>
                             ${CMAKE_CURRENT_BINARY_DIR}/@TEST@)
  endif()
endfunction()

# A clipboard owner whose INCR transfer never ends: the paste is bounded, pings and Escape are
# served while it waits, and SIGTERM during it still ends the program in order.
kv_add_clipboard_client_test(SmokeX11IncrPaste IncrPasteSmoke.sh kv_smoke_incr_owner IncrOwner.cpp)

# Another client's thousands of MULTIPLE pairs for a large picture, never read: the editor answers
# within its bounds, keeps answering pings, frees what they held when the client ends, and a normal
# paste after still works.
kv_add_clipboard_client_test(SmokeX11HostileRequest HostileRequestSmoke.sh
                             kv_smoke_hostile_requestor HostileRequestor.cpp)
