# The files that ship to users. Each is checked for Windows XP SP3 (machine, subsystem
# version, imports: tests/resources) and its size is printed whenever it is built.
#
# omb_ship(<target> [MAX_SIZE <bytes>])
function(omb_ship target)
  cmake_parse_arguments(S "" "MAX_SIZE" "" ${ARGN})
  set_property(GLOBAL APPEND PROPERTY OMBREVALE_SHIPPED_TARGETS ${target})
  if(S_MAX_SIZE)
    set_property(TARGET ${target} PROPERTY OMBREVALE_MAX_SIZE ${S_MAX_SIZE})
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${target}> -DLIMIT=${S_MAX_SIZE}
            -P ${CMAKE_SOURCE_DIR}/cmake/PrintSize.cmake
    VERBATIM)
endfunction()
