# Runs every fuzz target for SECONDS on a fresh copy of its seeds, so the repository stays as it is.
# A finding stops the run with the target's report; its reproducer is left in the work directory.
string(RANDOM LENGTH 8 tag)
set(work "${FUZZ_DIR}/smoke-${tag}")
foreach(name IN LISTS TARGETS)
  set(corpus "${work}/${name}")
  file(MAKE_DIRECTORY "${corpus}")
  file(GLOB seeds "${CORPUS_DIR}/${name}/*")
  file(COPY ${seeds} DESTINATION "${corpus}")
  message(STATUS "fuzz_${name}: ${SECONDS} s")
  execute_process(
    COMMAND "${FUZZ_DIR}/fuzz_${name}" "${corpus}" -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048
            -print_final_stats=1 "-artifact_prefix=${work}/${name}-"
    WORKING_DIRECTORY "${work}"
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "fuzz_${name} found a fault (exit ${result}); reproducer in ${work}")
  endif()
endforeach()
file(REMOVE_RECURSE "${work}")
message(STATUS "fuzz smoke: every target ran ${SECONDS} s without a finding")
