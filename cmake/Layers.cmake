# The folders' layers. cmake/check_layers.py holds the one table of the folders that each
# folder may use; the build holds both the sources' includes and the libraries' links
# against it, and tests/layers shows that each kind of breach fails.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(OMBREVALE_CHECK_LAYERS ${CMAKE_CURRENT_LIST_DIR}/check_layers.py)

# The table, as lines "folder stack use use ...".
function(_omb_layer_table out)
  execute_process(COMMAND ${Python3_EXECUTABLE} ${OMBREVALE_CHECK_LAYERS} --table
                  OUTPUT_VARIABLE table RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake/check_layers.py could not give its table (exit ${result})")
  endif()
  string(REPLACE "\n" ";" table "${table}")
  set(${out} "${table}" PARENT_SCOPE)
endfunction()

# omb_check_layer_includes(): a build step that checks every include, and the read-me's
# layout table, as soon as a source changes.
function(omb_check_layer_includes)
  _omb_layer_table(table)
  set(sources)
  foreach(line IN LISTS table)
    string(REPLACE " " ";" fields "${line}")
    list(GET fields 0 folder)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS
         ${CMAKE_SOURCE_DIR}/${folder}/*.h ${CMAKE_SOURCE_DIR}/${folder}/*.hpp ${CMAKE_SOURCE_DIR}/${folder}/*.c
         ${CMAKE_SOURCE_DIR}/${folder}/*.cc ${CMAKE_SOURCE_DIR}/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/${folder}/*.rc
         ${CMAKE_SOURCE_DIR}/${folder}/*.in ${CMAKE_SOURCE_DIR}/${folder}/*.idl)
    list(APPEND sources ${found})
  endforeach()
  set(stamp ${CMAKE_BINARY_DIR}/layers.checked)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${Python3_EXECUTABLE} ${OMBREVALE_CHECK_LAYERS} ${CMAKE_SOURCE_DIR} --readme ${CMAKE_SOURCE_DIR}/README.md
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${OMBREVALE_CHECK_LAYERS} ${CMAKE_SOURCE_DIR}/README.md ${sources}
    COMMENT "Checking that every include is of a folder that its folder may use"
    VERBATIM)
  add_custom_target(omb_layers ALL DEPENDS ${stamp})
endfunction()

# omb_check_layer_links(): stops the configuration when a library or program of a folder
# links one of a folder that it may not use (through target_link_libraries, PUBLIC,
# PRIVATE or INTERFACE, or by taking its objects). Called once every folder is added.
function(omb_check_layer_links)
  _omb_layer_table(table)
  set(folders)
  foreach(line IN LISTS table)
    string(REPLACE " " ";" uses "${line}")
    list(POP_FRONT uses folder stack)
    set(uses_${folder} ${folder} ${uses})
    list(APPEND folders ${folder})
  endforeach()

  set(targets)
  get_property(directories DIRECTORY ${CMAKE_SOURCE_DIR} PROPERTY SUBDIRECTORIES)
  foreach(directory IN LISTS directories)
    get_filename_component(folder ${directory} NAME)
    if(NOT folder IN_LIST folders)
      continue()
    endif()
    get_property(made DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS made)
      set(folder_of_${target} ${folder})
    endforeach()
    list(APPEND targets ${made})
  endforeach()

  set(breaches)
  foreach(target IN LISTS targets)
    set(linked)
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES SOURCES)
      get_target_property(items ${target} ${property})
      if(items)
        list(APPEND linked ${items})
      endif()
    endforeach()
    set(from ${folder_of_${target}})
    foreach(item IN LISTS linked)
      # PRIVATE links of a static library reach its users as $<LINK_ONLY:...>.
      string(REGEX REPLACE "^\\$<(LINK_ONLY|TARGET_OBJECTS):(.*)>$" "\\2" item "${item}")
      if(DEFINED folder_of_${item} AND NOT folder_of_${item} IN_LIST uses_${from})
        set(to ${folder_of_${item}})
        list(APPEND breaches "${target} (${from}/) links ${item} (${to}/): ${from}/ may not use ${to}/")
      endif()
    endforeach()
  endforeach()
  if(breaches)
    list(REMOVE_DUPLICATES breaches)
    list(JOIN breaches "\n  " text)
    message(FATAL_ERROR "Links against the layers of cmake/check_layers.py:\n  ${text}")
  endif()
endfunction()

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
