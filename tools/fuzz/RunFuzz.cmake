# Runs one libFuzzer target over its seed corpus:
#   cmake -DFUZZER=... -DSEEDS=... -DWORK=... -DRUNS=<inputs> [-DSECONDS=<s>] -P RunFuzz.cmake
# By default a fixed number of inputs from a fixed seed, starting from the seed corpus alone, so
# that every machine tries as many inputs whatever its speed or load. With SECONDS above 0 (for
# fuzzing by hand) it fuzzes for that long instead, and keeps what it found for the next run.
# New inputs go to WORK/corpus, never into the kept seed corpus; a crashing input is written to
# WORK/ and the run fails. The time limit per input only catches a hang: how long inputs take is
# the business of the tests and benchmarks, not of a limit that a slower machine would trip.
if(SECONDS GREATER 0)
  set(amount -max_total_time=${SECONDS})
else()
  file(REMOVE_RECURSE ${WORK}/corpus)
  set(amount -runs=${RUNS})
endif()
file(MAKE_DIRECTORY ${WORK}/corpus)
execute_process(
  COMMAND ${FUZZER} -seed=1 ${amount} -timeout=120 -rss_limit_mb=2048 -max_len=65536
          -print_final_stats=1 -artifact_prefix=${WORK}/ ${WORK}/corpus ${SEEDS}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "fuzzer ${FUZZER} failed (${result}); the input is kept in ${WORK}/")
endif()
