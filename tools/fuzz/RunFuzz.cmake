# Runs one libFuzzer target for a fixed time from a fixed seed (so a run can be repeated): cmake -DFUZZER=... -DSEEDS=... -DWORK=... -DSECONDS=...
# New inputs go to WORK/corpus, never into the kept seed corpus; a crashing input is written to
# WORK/ and the run fails.
file(MAKE_DIRECTORY ${WORK}/corpus)
execute_process(
  COMMAND ${FUZZER} -seed=1 -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048 -max_len=65536
          -print_final_stats=1 -artifact_prefix=${WORK}/ ${WORK}/corpus ${SEEDS}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "fuzzer ${FUZZER} failed (${result}); the input is kept in ${WORK}/")
endif()
