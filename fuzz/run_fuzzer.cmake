# Runs one fuzzer for a bounded time on a fresh copy of its seed corpus, so that what it learns
# stays in the build tree. Any crash, leak, timeout or sanitizer report fails the run; the input
# that caused it is left in WORK as crash-*, leak-* or timeout-*.
#   cmake -DFUZZER=... -DCORPUS=... -DREGRESSIONS=... -DWORK=... -DSECONDS=... [-DOPTIONS=...]
#         -P run_fuzzer.cmake
foreach(variable FUZZER CORPUS WORK SECONDS)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "run_fuzzer.cmake: ${variable} is not set")
    endif()
endforeach()

file(REMOVE_RECURSE "${WORK}/corpus")
file(MAKE_DIRECTORY "${WORK}/corpus")
file(GLOB seeds "${CORPUS}/*")
if(seeds)
    file(COPY ${seeds} DESTINATION "${WORK}/corpus")
endif()
# The inputs that once failed are replayed first and read only (libFuzzer writes into the
# first corpus directory alone).
set(inputs "${WORK}/corpus")
if(DEFINED REGRESSIONS AND IS_DIRECTORY "${REGRESSIONS}")
    list(APPEND inputs "${REGRESSIONS}")
endif()

execute_process(
    COMMAND "${FUZZER}" ${inputs} -max_total_time=${SECONDS} -timeout=20 -rss_limit_mb=2048
            -print_final_stats=1 -artifact_prefix=${WORK}/ ${OPTIONS}
    WORKING_DIRECTORY "${WORK}"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${FUZZER} failed (${result}); the failing input is in ${WORK}")
endif()
