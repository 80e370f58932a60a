# Makes the release from a built Windows tree: CPack's zip and installer, copied into one
# folder with their checksums (SHA256SUMS, as sha256sum -c reads them).
#
#   cmake -DBUILD_DIR=<build tree> -DOUT_DIR=<folder>
#         [-DVERSION=<x.y.z>] [-DGENERATORS=NSIS] [-DPRE_BUILD_SCRIPT=<file>] -P make_release.cmake
#
# VERSION builds the same packages under another version number (the tests use it to make
# an older installer); PRE_BUILD_SCRIPT runs on CPack's staged files before packaging.
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

set(work ${BUILD_DIR}/packaging/cpack-${CPACK_PACKAGE_VERSION})
file(REMOVE_RECURSE ${work})
set(options -D CPACK_PACKAGE_VERSION=${CPACK_PACKAGE_VERSION})
if(DEFINED PRE_BUILD_SCRIPT)
  list(APPEND options -D CPACK_PRE_BUILD_SCRIPTS=${PRE_BUILD_SCRIPT})
endif()
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
