# Runs the voice smoke program: a machine without sound gives no voice and prints nothing on
# standard error.
execute_process(COMMAND ${PROGRAM} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err
                TIMEOUT 30)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "exit status ${result}")
endif()
if(NOT err STREQUAL "")
  message(FATAL_ERROR "standard error was [${err}] (standard output [${out}])")
endif()
