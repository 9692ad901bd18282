# Feeds extended_calc a few lines per operation and compares its answers line for line.
function(check operation input expected)
  file(WRITE "${WORKDIR}/${operation}.in" "${input}")
  execute_process(COMMAND ${EMULATOR} "${TOOL}" ${operation} INPUT_FILE "${WORKDIR}/${operation}.in"
    OUTPUT_VARIABLE output RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT output STREQUAL expected)
    message(FATAL_ERROR "extended_calc ${operation}: status ${status}\n got:\n${output}\n expected:\n${expected}")
  endif()
endfunction()

set(one 3FFF8000000000000000)
set(two 40008000000000000000)
set(three 4000C000000000000000)
set(inf 7FFF8000000000000000)
set(zero 00000000000000000000)
set(max 7FFEFFFFFFFFFFFFFFFF)
check(add "${one} ${one}\n${inf} FFFF8000000000000000\n${max} ${max}\n"
  "${one} ${one} ${two}\n${inf} FFFF8000000000000000 fault\n${max} ${max} fault\n")
check(sub "${three} ${one}\n" "${three} ${one} ${two}\n")
check(mul "${two} ${three}\n${zero} ${inf}\n" "${two} ${three} 4001C000000000000000\n${zero} ${inf} fault\n")
check(div "${one} ${three}\n${one} ${zero}\n"
  "${one} ${three} 3FFDAAAAAAAAAAAAAAAB\n${one} ${zero} fault\n")
check(lt "${one} ${two}\n${two} ${one}\n" "${one} ${two} 1\n${two} ${one} 0\n")
check(eq "${zero} 80000000000000000000\n" "${zero} 80000000000000000000 1\n")
check(rint "4000A000000000000000\n" "4000A000000000000000 ${two}\n")
