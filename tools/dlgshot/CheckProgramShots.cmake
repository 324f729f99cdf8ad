# Runs dlgshot on the program's own dialogs and checks its output. Called by ctest as
#   cmake -DDLGSHOT=<tool> -DDIALOGS=<resources/dialogs folder> -DOUT=<dir> -P CheckProgramShots.cmake
# The matrix dialogs hold preview controls of the program's own class; the About box paints its
# picture from its procedure, which only --live runs.

foreach(var DLGSHOT DIALOGS OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckProgramShots: ${var} is not set")
  endif()
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/ShotChecks.cmake)

file(REMOVE_RECURSE "${OUT}")

# 1. The dialogs with preview controls are made and drawn from their templates.
execute_process(COMMAND "${DLGSHOT}" 4110 4111 --out "${OUT}/template"
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "CheckProgramShots: exit status ${rc} for the matrix dialogs\n${err}")
endif()
set(SOURCE "${DIALOGS}/ModifyMatrix.dlg")
foreach(id 4110 4111)
  template_size(${id} cx cy)
  math(EXPR w "${cx} * 2")
  math(EXPR h "${cy} * 2")
  check_png("${OUT}/template/${id}.png" ${w} ${h})
endforeach()

# 2. --live runs them (and the About box) through the program's launchers and procedures.
execute_process(COMMAND "${DLGSHOT}" --live 4110 4111 4223 --out "${OUT}/live"
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "CheckProgramShots: exit status ${rc} with --live\n${err}")
endif()
foreach(id 4110 4111)
  template_size(${id} cx cy)
  math(EXPR w "${cx} * 2")
  math(EXPR h "${cy} * 2")
  check_png("${OUT}/live/${id}.png" ${w} ${h})
endforeach()

# 3. The About box's picture comes from its procedure: the live picture holds far more than the
# template alone (a few controls on a plain face).
execute_process(COMMAND "${DLGSHOT}" 4223 --out "${OUT}/template" RESULT_VARIABLE rc
                ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "CheckProgramShots: exit status ${rc} for the About box\n${err}")
endif()
file(SIZE "${OUT}/template/4223.png" plain)
file(SIZE "${OUT}/live/4223.png" painted)
math(EXPR twice "${plain} * 2")
if(painted LESS twice)
  message(FATAL_ERROR "CheckProgramShots: the live About box (${painted} bytes) shows no more "
                      "than its template (${plain} bytes)")
endif()

# 4. A dialog the program has no launcher for (the print progress box, whose launcher nothing
# calls) is still drawn under --live.
execute_process(COMMAND "${DLGSHOT}" --live 4099 --out "${OUT}/fallback" RESULT_VARIABLE rc
                ERROR_VARIABLE err)
set(SOURCE "${DIALOGS}/PrintAbort.dlg")
template_size(4099 cx cy)
math(EXPR w "${cx} * 2")
math(EXPR h "${cy} * 2")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "CheckProgramShots: exit status ${rc} for a dialog without launcher\n${err}")
endif()
check_png("${OUT}/fallback/4099.png" ${w} ${h})
