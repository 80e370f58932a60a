# Makes the release from a built Windows tree: CPack's zip and installer, copied into one
# folder with their checksums (SHA256SUMS, as sha256sum -c reads them).
#
#   cmake -DBUILD_DIR=<build tree> -DOUT_DIR=<folder>
#         [-DVERSION=<x.y.z>] [-DGENERATORS=NSIS] [-DPRE_BUILD_SCRIPT=<file>] -P make_release.cmake
#
# VERSION builds the same packages under another version number (the tests use it to make
# an older installer); PRE_BUILD_SCRIPT runs on CPack's staged files before packaging.
#
# The same commit gives the same bytes: every time that the packages store (the files' in
# the installer, the zip's entries, the programs' PE headers) is the source's date,
# SOURCE_DATE_EPOCH, or without it the time of the commit; the zip holds its entries in name
# order, without the owner and the permissions of the build machine.
foreach(required BUILD_DIR OUT_DIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "make_release.cmake needs -D${required}=...")
  endif()
endforeach()
if(NOT DEFINED GENERATORS)
  set(GENERATORS "ZIP;NSIS")
endif()

set(config ${BUILD_DIR}/CPackConfig.cmake)
if(NOT EXISTS ${config})
  message(FATAL_ERROR "${config} is missing: configure the Windows build first (cmake --preset windows)")
endif()
include(${config})  # CPACK_PACKAGE_NAME and CPACK_PACKAGE_VERSION
if(DEFINED VERSION)
  set(CPACK_PACKAGE_VERSION ${VERSION})
endif()

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(source_date "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}
                  OUTPUT_VARIABLE source_date OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "No source date: set SOURCE_DATE_EPOCH, or make the release from a git clone")
  endif()
endif()
# Zip entries hold DOS times, which start in 1980.
if(NOT source_date MATCHES "^[0-9]+$" OR source_date LESS 315532800)
  message(FATAL_ERROR "The source date \"${source_date}\" is not a time since 1980 in seconds")
endif()
# Zip entries and the installer's files keep their times to two seconds: an even time is
# stored as it is, the same in both packages and on the installed files.
math(EXPR source_date "${source_date} / 2 * 2")
message(STATUS "Source date: ${source_date}")
find_program(PYTHON python3 REQUIRED)

set(work ${BUILD_DIR}/packaging/cpack-${CPACK_PACKAGE_VERSION})
file(REMOVE_RECURSE ${work})
set(scripts ${PRE_BUILD_SCRIPT} ${CMAKE_CURRENT_LIST_DIR}/date_staged_files.cmake)
set(options -D CPACK_PACKAGE_VERSION=${CPACK_PACKAGE_VERSION} -D "CPACK_PRE_BUILD_SCRIPTS=${scripts}"
            -D CPACK_OMB_SOURCE_DATE=${source_date}
            -D CPACK_OMB_PYTHON=${PYTHON})
execute_process(
  COMMAND ${CMAKE_CPACK_COMMAND} --config ${config} -B ${work} -G "${GENERATORS}" ${options}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "CPack failed (${result}); NSIS's own report: ${work}/_CPack_Packages/win32/NSIS/NSISOutput.log")
endif()

set(base ${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION})
set(made)
foreach(generator IN LISTS GENERATORS)
  if(generator STREQUAL "ZIP")
    list(APPEND made ${base}-win32.zip)
  elseif(generator STREQUAL "NSIS")
    list(APPEND made ${base}-setup.exe)
  endif()
endforeach()

file(MAKE_DIRECTORY ${OUT_DIR})
set(sums "")
foreach(name IN LISTS made)
  if(NOT EXISTS ${work}/${name})
    message(FATAL_ERROR "CPack did not make ${name}")
  endif()
  if(name MATCHES "\\.zip$")
    execute_process(COMMAND ${PYTHON} ${CMAKE_CURRENT_LIST_DIR}/repack_zip.py ${work}/${name} ${source_date}
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "Could not repack ${name}")
    endif()
  endif()
  file(COPY_FILE ${work}/${name} ${OUT_DIR}/${name})
  file(SHA256 ${OUT_DIR}/${name} hash)
  string(APPEND sums "${hash}  ${name}\n")
  file(SIZE ${OUT_DIR}/${name} size)
  message(STATUS "${OUT_DIR}/${name}: ${size} bytes")
endforeach()
if(GENERATORS STREQUAL "ZIP;NSIS")
  file(WRITE ${OUT_DIR}/SHA256SUMS "${sums}")
  message(STATUS "${OUT_DIR}/SHA256SUMS")
endif()
