# Runs the editor without DISPLAY: it must print exactly one line and exit with status 1.
# A private runtime folder keeps it from handing over to an editor already running on this
# machine (the single-instance socket lives there).
set(runtime "${CMAKE_CURRENT_BINARY_DIR}/nodisplay-runtime")
file(REMOVE_RECURSE "${runtime}")
file(MAKE_DIRECTORY "${runtime}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                        XDG_RUNTIME_DIR=${runtime} ${PROGRAM}
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 20)
set(expected "korvaline: cannot open the X display; set DISPLAY to run the editor\n")
if(NOT result EQUAL 1)
  message(FATAL_ERROR "exit status ${result}, expected 1")
endif()
if(NOT err STREQUAL expected)
  message(FATAL_ERROR "stderr was [${err}], expected [${expected}]")
endif()
if(NOT out STREQUAL "")
  message(FATAL_ERROR "unexpected output [${out}]")
endif()
