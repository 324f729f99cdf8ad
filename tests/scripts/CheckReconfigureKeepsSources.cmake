# Configuring a build tree again (scripts/run.sh does it on every start) must not rewrite the files
# the build compiles or reads: a rewritten one makes the next build recompile and relink everything
# that depends on it although nothing changed.
# -DSOURCE_DIR=<source tree> -DWORK_DIR=<scratch folder> -DGENERATOR=<generator>
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${WORK_DIR})
function(configure)
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR} -G ${GENERATOR}
                          -DKV_BUILD_BENCH=OFF
                  OUTPUT_QUIET ERROR_VARIABLE errors RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "configuring ${SOURCE_DIR} failed: ${errors}")
  endif()
endfunction()
# The files configuring writes that the build itself uses: everything but the build tool's own
# description and CMake's bookkeeping, which configuring always refreshes.
function(stamps out)
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${WORK_DIR} ${WORK_DIR}/*)
  set(result "")
  foreach(f ${files})
    if(f MATCHES "(^|/)CMakeFiles/|\\.cmake$|^build\\.ninja$|^compile_commands\\.json$|^CMakeCache\\.txt$|^\\.ninja_|^Makefile$|/Makefile$|^Testing/")
      continue()
    endif()
    file(TIMESTAMP ${WORK_DIR}/${f} t "%s" UTC)
    list(APPEND result "${f}=${t}")
  endforeach()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()
configure()
stamps(first)
if(first STREQUAL "")
  message(FATAL_ERROR "configuring wrote no file to compare")
endif()
# Past the timestamps' one-second resolution.
execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 1.2)
configure()
stamps(second)
foreach(entry ${first})
  if(NOT entry IN_LIST second)
    string(REGEX REPLACE "=.*" "" name "${entry}")
    message(FATAL_ERROR "configuring again rewrote ${name}")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
