# Runs the editor without DISPLAY: it must print exactly one line and exit with status 1.
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY ${PROGRAM}
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
