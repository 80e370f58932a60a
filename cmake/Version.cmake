# The version has one source, the project's version (MAJOR.MINOR.PATCH); every other form
# of it comes from there. Used when configuring (the resources, the read-me) and again
# when packaging (the installer and the file names), so that a package built with another
# version number is consistent throughout.
#
# omb_version_forms(<version> <prefix>) sets in the caller's scope, for 1.0.3:
#   <prefix>_MAJOR, _MINOR, _PATCH   1, 0, 3
#   <prefix>_TEXT     1.00.0003   the version as the program states it (version record,
#                                 about box, read-me, installer, list of installed programs)
#   <prefix>_SHORT    1.00        in the program's description ("Quorvex - Ombrevale 1.00")
#   <prefix>_NUMBERS  1,0,0,3     FILEVERSION and PRODUCTVERSION
#   <prefix>_DOTTED   1.0.0.3     the manifest's assemblyIdentity, the installer's record
function(omb_version_forms version prefix)
  if(NOT version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "The version \"${version}\" is not MAJOR.MINOR.PATCH")
  endif()
  set(major ${CMAKE_MATCH_1})
  set(minor ${CMAKE_MATCH_2})
  set(patch ${CMAKE_MATCH_3})
  # The written form has two digits of minor version and four of revision, and the
  # version record holds each number in 16 bits.
  if(major GREATER 65535 OR minor GREATER 99 OR patch GREATER 9999)
    message(FATAL_ERROR "The version ${version} does not fit the form 1.00.0003 "
                        "(major up to 65535, minor up to 99, patch up to 9999)")
  endif()
  math(EXPR major "${major}")  # drops leading zeros
  math(EXPR minor "${minor}")
  math(EXPR patch "${patch}")
  string(LENGTH "${minor}" length)
  math(EXPR pad "2 - ${length}")
  string(REPEAT "0" ${pad} zeros)
  set(minor2 "${zeros}${minor}")
  string(LENGTH "${patch}" length)
  math(EXPR pad "4 - ${length}")
  string(REPEAT "0" ${pad} zeros)
  set(patch4 "${zeros}${patch}")

  set(${prefix}_MAJOR ${major} PARENT_SCOPE)
  set(${prefix}_MINOR ${minor} PARENT_SCOPE)
  set(${prefix}_PATCH ${patch} PARENT_SCOPE)
  set(${prefix}_TEXT "${major}.${minor2}.${patch4}" PARENT_SCOPE)
  set(${prefix}_SHORT "${major}.${minor2}" PARENT_SCOPE)
  set(${prefix}_NUMBERS "${major},${minor},0,${patch}" PARENT_SCOPE)
  set(${prefix}_DOTTED "${major}.${minor}.0.${patch}" PARENT_SCOPE)
endfunction()
