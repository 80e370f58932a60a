# The same source gives the same bytes, whenever and wherever it is built (the release
# is checked by scripts/check-reproducible.sh): the linker writes no time into the PE
# headers (their stamp is 0), and no absolute path of the source or build tree reaches
# what the compiler writes (__FILE__ in messages, names in debug sections).
if(OMBREVALE_WINDOWS)
  add_link_options(-Wl,--no-insert-timestamp)
  # The build tree lies inside the source tree: its map is given last, so it is tried first.
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>"
                      "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=build/>")
endif()
