# Converts one DXF as a user would and compares the script byte for byte with the kept golden script.
# -DPROGRAM=... [-DEMULATOR=...] -DDXF=... -DZBASE=... -DTHICKNESS=... -DGOLDEN=... -DWORKDIR=...
# [-DMAKE_TERRAIN=... -DTERRAIN_SIZE=N]: the DXF is generated first.
file(MAKE_DIRECTORY "${WORKDIR}")
if(MAKE_TERRAIN)
  execute_process(COMMAND ${EMULATOR} "${MAKE_TERRAIN}" ${TERRAIN_SIZE} "${DXF}" RESULT_VARIABLE made)
  if(NOT made EQUAL 0)
    message(FATAL_ERROR "make_terrain failed: ${made}")
  endif()
endif()
set(script "${WORKDIR}/out.scr")
file(REMOVE "${script}")
file(WRITE "${WORKDIR}/answers.txt" "${DXF}\r\nout.scr\r\n${ZBASE}\r\n${THICKNESS}\r\n")
execute_process(COMMAND ${EMULATOR} "${PROGRAM}"
  WORKING_DIRECTORY "${WORKDIR}"
  INPUT_FILE "${WORKDIR}/answers.txt"
  OUTPUT_VARIABLE dialogue
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "mesh2solid ended with status ${status}:\n${dialogue}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${script}" "${GOLDEN}" RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
  message(FATAL_ERROR "${script} differs from ${GOLDEN}")
endif()
