# The same source gives the same bytes, whenever and wherever it is built (the release
# is checked by scripts/check-reproducible.sh): the linker writes no time into the PE
# headers (their stamp is 0; the release dates its copies, packaging/stamp_pe.py), no
# absolute path of the source or build tree reaches what the compiler writes (__FILE__ in
# messages, names in debug sections), and the type libraries that widl writes carry the
# time 0 instead of the time it ran.
if(OMBREVALE_WINDOWS)
  add_link_options(-Wl,--no-insert-timestamp)
  # The build tree lies inside the source tree: its map is given last, so it is tried first.
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>"
                      "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=build/>")
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(WIDL_EXECUTABLE ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/widl_fixed_date.py ${WIDL_EXECUTABLE})
endif()
