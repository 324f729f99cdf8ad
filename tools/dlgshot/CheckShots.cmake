# Runs dlgshot on the dialog test bundle and checks its output. Called by ctest as
#   cmake -DDLGSHOT=<tool> -DBUNDLE=<file.kvres> -DSOURCE=<file.dlg> -DOUT=<dir> -P CheckShots.cmake
# The expected pixel sizes come from the dialogs' source: one dialog unit is 2 px at 96 dpi and
# scales by dpi/96.

foreach(var DLGSHOT BUNDLE SOURCE OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckShots: ${var} is not set")
  endif()
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/ShotChecks.cmake)

file(REMOVE_RECURSE "${OUT}")

# 1. Two dialogs and one missing id: both written, the missing one named, exit status 1.
execute_process(COMMAND "${DLGSHOT}" --bundle "${BUNDLE}" 9101 9199 9102 --out "${OUT}/96"
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 1)
  message(FATAL_ERROR "CheckShots: exit status ${rc} with a missing dialog, expected 1\n${err}")
endif()
if(NOT err MATCHES "dlgshot: no dialog 9199")
  message(FATAL_ERROR "CheckShots: the missing dialog was not reported:\n${err}")
endif()
if(EXISTS "${OUT}/96/9199.png")
  message(FATAL_ERROR "CheckShots: a picture was written for a missing dialog")
endif()
foreach(id 9101 9102)
  template_size(${id} cx cy)
  math(EXPR w "${cx} * 2")
  math(EXPR h "${cy} * 2")
  check_png("${OUT}/96/${id}.png" ${w} ${h})
endforeach()

# 2. At 144 dpi one dialog unit is 3 px; every id found gives status 0.
execute_process(COMMAND "${DLGSHOT}" --bundle "${BUNDLE}" --dpi 144 9101 --out "${OUT}/144"
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "CheckShots: exit status ${rc} at 144 dpi\n${err}")
endif()
template_size(9101 cx cy)
math(EXPR w "${cx} * 3")
math(EXPR h "${cy} * 3")
check_png("${OUT}/144/9101.png" ${w} ${h})

# 3. --all renders every dialog of the bundle: each "dialog <id>" of the source gets a picture,
# except those whose template cannot be made (a control of an unknown class), which are reported.
execute_process(COMMAND "${DLGSHOT}" --bundle "${BUNDLE}" --all --out "${OUT}/all"
                RESULT_VARIABLE rc ERROR_VARIABLE err)
file(STRINGS "${SOURCE}" heads REGEX "^dialog[ \t]+[0-9]+")
set(count 0)
foreach(line IN LISTS heads)
  string(REGEX REPLACE "^dialog[ \t]+([0-9]+).*" "\\1" id "${line}")
  math(EXPR count "${count} + 1")
  if(err MATCHES "dialog ${id} cannot be made")
    set(failed TRUE)
    if(EXISTS "${OUT}/all/${id}.png")
      message(FATAL_ERROR "CheckShots: --all wrote a picture for dialog ${id}, which failed")
    endif()
  elseif(NOT EXISTS "${OUT}/all/${id}.png")
    message(FATAL_ERROR "CheckShots: --all did not render dialog ${id}\n${err}")
  endif()
endforeach()
if(count LESS 2)
  message(FATAL_ERROR "CheckShots: expected several dialogs in ${SOURCE}")
endif()
if(failed AND NOT rc EQUAL 1 OR NOT failed AND NOT rc EQUAL 0)
  message(FATAL_ERROR "CheckShots: --all ended with status ${rc}\n${err}")
endif()

# 4. Bad arguments give the usage text and a failure status, and write nothing.
foreach(args "9101" "--out;${OUT}/bad" "--dpi;100;9101;--out;${OUT}/bad" "--frobnicate;9101;--out;${OUT}/bad"
             "--all;9101;--out;${OUT}/bad")
  execute_process(COMMAND "${DLGSHOT}" --bundle "${BUNDLE}" ${args}
                  RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(rc EQUAL 0 OR NOT err MATCHES "usage: dlgshot")
    message(FATAL_ERROR "CheckShots: arguments '${args}' gave status ${rc} and no usage text:\n${err}")
  endif()
endforeach()
if(EXISTS "${OUT}/bad")
  message(FATAL_ERROR "CheckShots: bad arguments still wrote output")
endif()

# 5. A file that is not a bundle is refused.
file(WRITE "${OUT}/not-a-bundle.kvres" "nothing here")
execute_process(COMMAND "${DLGSHOT}" --bundle "${OUT}/not-a-bundle.kvres" 9101 --out "${OUT}/nb"
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(rc EQUAL 0 OR EXISTS "${OUT}/nb/9101.png")
  message(FATAL_ERROR "CheckShots: a corrupt bundle was accepted\n${err}")
endif()
