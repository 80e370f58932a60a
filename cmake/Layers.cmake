# The folders' layers (cmake/check_layers.py holds the rank table): the build refuses an
# include that points up, as soon as a source changes; tests/layers checks it in the suite.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(OMBREVALE_CHECK_LAYERS ${CMAKE_SOURCE_DIR}/cmake/check_layers.py)

execute_process(COMMAND ${Python3_EXECUTABLE} ${OMBREVALE_CHECK_LAYERS} --folders
                OUTPUT_VARIABLE _layer_folders RESULT_VARIABLE _layer_result
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT _layer_result EQUAL 0)
  message(FATAL_ERROR "cmake/check_layers.py could not list the layers (exit ${_layer_result})")
endif()
string(REPLACE "\n" ";" _layer_folders "${_layer_folders}")
set(_layer_sources)
foreach(folder IN LISTS _layer_folders)
  file(GLOB_RECURSE _found CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/${folder}/*.h ${CMAKE_SOURCE_DIR}/${folder}/*.hpp ${CMAKE_SOURCE_DIR}/${folder}/*.c
       ${CMAKE_SOURCE_DIR}/${folder}/*.cc ${CMAKE_SOURCE_DIR}/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/${folder}/*.rc
       ${CMAKE_SOURCE_DIR}/${folder}/*.rc.in ${CMAKE_SOURCE_DIR}/${folder}/*.idl)
  list(APPEND _layer_sources ${_found})
endforeach()

set(_layers_stamp ${CMAKE_BINARY_DIR}/layers.checked)
add_custom_command(
  OUTPUT ${_layers_stamp}
  COMMAND ${Python3_EXECUTABLE} ${OMBREVALE_CHECK_LAYERS} ${CMAKE_SOURCE_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${_layers_stamp}
  DEPENDS ${OMBREVALE_CHECK_LAYERS} ${_layer_sources}
  COMMENT "Checking that every include points down the layers"
  VERBATIM)
add_custom_target(omb_layers ALL DEPENDS ${_layers_stamp})

# omb_require_targets(<what> <target>...): stops the configuration, saying what is missing,
# when <what> cannot be built for want of those targets.
function(omb_require_targets what)
  set(missing)
  foreach(target IN LISTS ARGN)
    if(NOT TARGET ${target})
      list(APPEND missing ${target})
    endif()
  endforeach()
  if(missing)
    list(JOIN missing ", " missing)
    message(FATAL_ERROR "${what} cannot be built: the targets ${missing} are not defined. "
                        "Add the folders that define them before the one that needs them.")
  endif()
endfunction()
