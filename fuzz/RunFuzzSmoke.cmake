# Runs every fuzz target for SECONDS on a fresh copy of its seeds in a temporary directory, so the
# repository stays as it is. A finding stops the run with the target's report; the directory, with the
# reproducer, is then kept.
string(RANDOM LENGTH 8 tag)
set(temporary "$ENV{TMPDIR}")
if(NOT temporary)
  set(temporary /tmp)
endif()
set(work "${temporary}/mesh2solid-fuzz-${tag}")
foreach(name IN LISTS TARGETS)
  set(corpus "${work}/${name}")
  file(MAKE_DIRECTORY "${corpus}")
  file(GLOB seeds "${CORPUS_DIR}/${name}/*")
  file(COPY ${seeds} DESTINATION "${corpus}")
  message(STATUS "fuzz_${name}: ${SECONDS} s")
  # libFuzzer's progress goes to a log; only its summary is shown, or the log's end on a finding.
  set(log "${work}/${name}.log")
  execute_process(
    COMMAND "${FUZZ_DIR}/fuzz_${name}" "${corpus}" -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048
            -print_final_stats=1 "-artifact_prefix=${work}/${name}-"
    WORKING_DIRECTORY "${work}"
    OUTPUT_FILE "${log}"
    ERROR_FILE "${log}"
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    # The report: everything from libFuzzer's or a sanitizer's first word about the fault.
    file(READ "${log}" text)
    set(start -1)
    foreach(mark "fuzz invariant violated" "==ERROR" "runtime error:" "ERROR: libFuzzer")
      string(FIND "${text}" "${mark}" at)
      if(at GREATER_EQUAL 0 AND (start LESS 0 OR at LESS start))
        set(start ${at})
      endif()
    endforeach()
    if(start GREATER_EQUAL 0)
      string(SUBSTRING "${text}" ${start} -1 text)
    endif()
    message("${text}")
    message(FATAL_ERROR "fuzz_${name} found a fault (exit ${result}); reproducer and log in ${work}")
  endif()
  file(STRINGS "${log}" lines REGEX "^(Done|stat::new_units_added|stat::peak_rss_mb)")
  list(JOIN lines "; " summary)
  message(STATUS "fuzz_${name}: ${summary}")
endforeach()
file(REMOVE_RECURSE "${work}")
message(STATUS "fuzz smoke: every target ran ${SECONDS} s without a finding")
