# Run by CPack on its staged files, last before packaging (CPACK_PRE_BUILD_SCRIPTS): every
# file and folder takes the source's date, which the installer then stores for each file.
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
execute_process(COMMAND touch --no-dereference --date=@${CPACK_OMB_SOURCE_DATE} -- ${CPACK_TEMPORARY_DIRECTORY} ${staged}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Could not date the staged files in ${CPACK_TEMPORARY_DIRECTORY}")
endif()
