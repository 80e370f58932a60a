# Run by CPack on its staged files, last before packaging (CPACK_PRE_BUILD_SCRIPTS): the
# programs and DLLs carry the source's date in their PE headers, and every file and folder
# takes it as its time, which the installer then stores for each file.
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_DIRECTORY}/*.exe" "${CPACK_TEMPORARY_DIRECTORY}/*.dll")
if(programs)
  execute_process(COMMAND ${CPACK_OMB_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/stamp_pe.py ${CPACK_OMB_SOURCE_DATE} ${programs}
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Could not date the staged programs in ${CPACK_TEMPORARY_DIRECTORY}")
  endif()
endif()
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
execute_process(COMMAND touch --no-dereference --date=@${CPACK_OMB_SOURCE_DATE} -- ${CPACK_TEMPORARY_DIRECTORY} ${staged}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Could not date the staged files in ${CPACK_TEMPORARY_DIRECTORY}")
endif()
