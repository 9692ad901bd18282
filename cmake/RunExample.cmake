# Converts the bundled example mesh as a user would: the program's four questions are answered from a
# small file, the dialogue is shown, then where the script went and its first lines.
# Called with -DPROGRAM=... -DMESH=... -DSCRIPT=... -DWORKDIR=...
set(answers "${WORKDIR}/example-answers.txt")
file(WRITE "${answers}" "${MESH}\n${SCRIPT}\n-10\n0\n")
message(STATUS "Running ${PROGRAM}, answering: ${MESH} / ${SCRIPT} / -10 / 0")
execute_process(COMMAND "${PROGRAM}"
  INPUT_FILE "${answers}"
  OUTPUT_VARIABLE dialogue
  RESULT_VARIABLE status)
message("${dialogue}")
message("")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "mesh2solid ended with status ${status}")
endif()
file(SIZE "${SCRIPT}" size)
file(STRINGS "${SCRIPT}" lines LIMIT_COUNT 17)
message("The script is ${SCRIPT} (${size} bytes); its first block:")
foreach(line IN LISTS lines)
  string(REPLACE "\r" "" line "${line}")
  message("    ${line}")
endforeach()
