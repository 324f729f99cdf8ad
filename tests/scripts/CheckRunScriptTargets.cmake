# The targets scripts/run.sh builds must make every file the program reads beside it at run time.
# Asks the build tool for the commands those targets run (all of them, built or not) and looks for
# the writers of the preferences folder.
# -DRUN_SCRIPT=scripts/run.sh -DBUILD_DIR=<build tree> -DMAKE_PROGRAM=<ninja>
file(READ ${RUN_SCRIPT} script)
string(REGEX MATCH "--target ([^\n]*)" found "${script}")
if(NOT found)
  message(FATAL_ERROR "${RUN_SCRIPT} names no --target")
endif()
string(STRIP "${CMAKE_MATCH_1}" targets)
separate_arguments(targets UNIX_COMMAND "${targets}")
execute_process(COMMAND ${MAKE_PROGRAM} -C ${BUILD_DIR} -t commands ${targets}
                OUTPUT_VARIABLE commands ERROR_VARIABLE errors RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${MAKE_PROGRAM} -t commands ${targets} failed: ${errors}")
endif()
# The program, the preference files and function names, each shipped translator, the Examples.
foreach(needed "-o src/korvaline" "prefsgen.*Korvaline_Prefs" "catgen.*TeX.cat"
               "catgen.*MathML.cat" "catgen.*MathSpeak.cat" "catgen.*Text.CAT"
               "mkexamples.*Korvaline_Prefs/Examples")
  if(NOT commands MATCHES "${needed}")
    message(FATAL_ERROR "scripts/run.sh builds '${targets}', which does not run '${needed}'")
  endif()
endforeach()
