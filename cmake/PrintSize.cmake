# Prints a built file's size (and its limit, where it has one).
file(SIZE "${FILE}" size)
get_filename_component(name "${FILE}" NAME)
if(LIMIT)
  message(STATUS "${name}: ${size} bytes (at most ${LIMIT})")
else()
  message(STATUS "${name}: ${size} bytes")
endif()
