# libFuzzer targets for every reader of outside bytes.
#
#   kv_add_fuzz_target(<name> SOURCES <files...> [LIBS <libraries...>] [RUNS <inputs>])
#
# builds kv_fuzz_<name> from SOURCES (one of them defines LLVMFuzzerTestOneInput) and registers the
# ctest test Fuzz.<name>, which runs it over the seed corpus kept in tools/fuzz/corpus/<name>/ (the
# folder must exist and hold at least one input; inputs that once crashed stay there as regression
# cases). LIBS are linked after the target's own sources, highest layer first; the headless back
# end is always added last.
#
# With KV_FUZZ (clang with KV_SANITIZE), the whole build is compiled with -fsanitize=fuzzer-no-link
# so that the libraries a target links carry coverage, the target links libFuzzer, and the test
# fuzzes over a fresh copy of the corpus for a fixed number of inputs (RUNS, else the table below)
# from a fixed seed, failing on any crash, sanitizer report, leak or hang: as many inputs on every
# machine, however fast or loaded (which inputs still varies a little between builds, since the
# fuzzer follows the coverage it sees). To fuzz longer by hand, configure with
# -DKV_FUZZ_TIME=<seconds> (each test then fuzzes for that time and keeps what it found in
# build-fuzz/fuzz/<name>/corpus), or run a target directly:
# kv_fuzz_<name> -max_total_time=600 new/ tools/fuzz/corpus/<name>/. Without KV_FUZZ, the target is
# a plain program that replays the corpus once, so every build still compiles the targets and
# re-runs the kept inputs.
set(KV_FUZZ OFF)
if(KV_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(KV_FUZZ ON)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
# Inputs per target: about ten seconds of one core under the sanitizers each, about 140 seconds
# for all of them (75 on two cores), no more than the fixed times spent before.
set(KV_FUZZ_DEFAULT_RUNS 20000)
set(KV_FUZZ_RUNS_bmp 11000)
set(KV_FUZZ_RUNS_clipboard 14000)
set(KV_FUZZ_RUNS_doclines 125000)
set(KV_FUZZ_RUNS_emf 20000)
set(KV_FUZZ_RUNS_encoding 62000)
set(KV_FUZZ_RUNS_mtef 135000)
set(KV_FUZZ_RUNS_olertf 55000)
set(KV_FUZZ_RUNS_png 280000)
set(KV_FUZZ_RUNS_prefs 6000)
set(KV_FUZZ_RUNS_reader 400000)
set(KV_FUZZ_RUNS_registry 18000)
set(KV_FUZZ_RUNS_selection 180000)
set(KV_FUZZ_RUNS_streams 450000)
set(KV_FUZZ_RUNS_translator 18000)
set(KV_FUZZ_TIME 0 CACHE STRING
    "Seconds each fuzz target runs under ctest instead of its fixed number of inputs (0: inputs)")
# The fixed time every run once took: a build folder configured then would keep it.
unset(KV_FUZZ_SECONDS CACHE)

set(KV_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR}/../tools/fuzz)
cmake_path(NORMAL_PATH KV_FUZZ_DIR)

function(kv_add_fuzz_target name)
  cmake_parse_arguments(PARSE_ARGV 1 FUZZ "" "RUNS" "SOURCES;LIBS")
  if(NOT FUZZ_RUNS)
    set(FUZZ_RUNS ${KV_FUZZ_DEFAULT_RUNS})
    if(DEFINED KV_FUZZ_RUNS_${name})
      set(FUZZ_RUNS ${KV_FUZZ_RUNS_${name}})
    endif()
  endif()
  set(target kv_fuzz_${name})
  set(corpus ${KV_FUZZ_DIR}/corpus/${name})
  if(NOT IS_DIRECTORY ${corpus})
    message(FATAL_ERROR "fuzz target ${name}: add seed inputs in ${corpus}")
  endif()
  if(KV_FUZZ)
    add_executable(${target} ${FUZZ_SOURCES})
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${target} ${FUZZ_SOURCES} ${KV_FUZZ_DIR}/ReplayMain.cpp)
  endif()
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src
                             ${PROJECT_SOURCE_DIR}/src/Platform)
  target_link_libraries(${target} PRIVATE ${FUZZ_LIBS} kv_platform_headless)
  kv_add_warnings(${target})
  if(NOT KV_BUILD_TESTS)
    return()
  endif()
  if(KV_FUZZ)
    set(work ${CMAKE_BINARY_DIR}/fuzz/${name})
    add_test(NAME Fuzz.${name}
             COMMAND ${CMAKE_COMMAND} -DFUZZER=$<TARGET_FILE:${target}> -DSEEDS=${corpus}
                     -DWORK=${work} -DRUNS=${FUZZ_RUNS} -DSECONDS=${KV_FUZZ_TIME}
                     -P ${KV_FUZZ_DIR}/RunFuzz.cmake)
    # Only a bound for a run that stopped making progress: the inputs, not the time, are fixed.
    math(EXPR limit "${KV_FUZZ_TIME} * 3 + 900")
    set_tests_properties(Fuzz.${name} PROPERTIES LABELS "fuzz" TIMEOUT ${limit}
                         ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
  else()
    add_test(NAME Fuzz.${name} COMMAND ${target} ${corpus})
    set_tests_properties(Fuzz.${name} PROPERTIES LABELS "fuzz;unit" TIMEOUT 120)
  endif()
endfunction()
