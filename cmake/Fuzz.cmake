# libFuzzer targets for every reader of outside bytes.
#
#   kv_add_fuzz_target(<name> SOURCES <files...> [LIBS <libraries...>])
#
# builds kv_fuzz_<name> from SOURCES (one of them defines LLVMFuzzerTestOneInput) and registers the
# ctest test Fuzz.<name>, which runs it over the seed corpus kept in tools/fuzz/corpus/<name>/ (the
# folder must exist and hold at least one input; inputs that once crashed stay there as regression
# cases). LIBS are linked after the target's own sources, highest layer first; the headless back
# end is always added last.
#
# With KV_FUZZ (clang with KV_SANITIZE), the whole build is compiled with -fsanitize=fuzzer-no-link
# so that the libraries a target links carry coverage, the target links libFuzzer, and the test
# fuzzes for KV_FUZZ_SECONDS over a copy of the corpus, failing on any crash, sanitizer report,
# leak or slow input. Without it, the target is a plain program that replays the corpus once, so
# every build still compiles the targets and re-runs the kept inputs.
set(KV_FUZZ OFF)
if(KV_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(KV_FUZZ ON)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
set(KV_FUZZ_SECONDS 20 CACHE STRING "Seconds each fuzz target runs under ctest")

set(KV_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR}/../tools/fuzz)
cmake_path(NORMAL_PATH KV_FUZZ_DIR)

function(kv_add_fuzz_target name)
  cmake_parse_arguments(PARSE_ARGV 1 FUZZ "" "" "SOURCES;LIBS")
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
                     -DWORK=${work} -DSECONDS=${KV_FUZZ_SECONDS} -P ${KV_FUZZ_DIR}/RunFuzz.cmake)
    math(EXPR limit "${KV_FUZZ_SECONDS} * 3 + 60")
    set_tests_properties(Fuzz.${name} PROPERTIES LABELS "fuzz" TIMEOUT ${limit}
                         ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
  else()
    add_test(NAME Fuzz.${name} COMMAND ${target} ${corpus})
    set_tests_properties(Fuzz.${name} PROPERTIES LABELS "fuzz;unit" TIMEOUT 120)
  endif()
endfunction()
