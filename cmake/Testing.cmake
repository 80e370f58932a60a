# Test helpers: googletest from Debian's sources (built with whichever compiler this
# build uses), and, in the Windows build, tests run under Wine in a private prefix.
enable_testing()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "googletest sources")
add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
if(OMBREVALE_WINDOWS)
  # The win32 thread model has no std::mutex, on which googletest builds its Notification:
  # ours stands in, for googletest and for every test that includes it.
  foreach(lib gtest gmock)
    target_compile_definitions(${lib} PUBLIC GTEST_HAS_NOTIFICATION_=1)
    target_compile_options(${lib} PUBLIC
      "SHELL:-include ${CMAKE_SOURCE_DIR}/tests/support/gtest_notification_win32.h")
  endforeach()
endif()

if(OMBREVALE_WINDOWS)
  set(OMBREVALE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Private Wine prefix for tests")
  get_filename_component(_wine_dir ${WINE_EXECUTABLE} DIRECTORY)
  find_program(WINESERVER_EXECUTABLE wineserver HINTS ${_wine_dir} /usr/lib/wine REQUIRED)
  set(OMBREVALE_WINE_ENV
      WINEPREFIX=${OMBREVALE_WINEPREFIX}
      WINEDEBUG=-all
      WINEDLLOVERRIDES=mscoree,mshtml=)

  # One Wine server for the whole run: each test then starts in a fraction of a second.
  add_test(NAME wine_setup
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh start ${OMBREVALE_WINEPREFIX})
  # Starting a prefix runs Wine's boot on the display: it takes its turn with the window and
  # end-to-end tests, whose windows another Wine desktop starting meanwhile can disturb.
  set_tests_properties(wine_setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 300 RESOURCE_LOCK ombrevale_display)
  add_test(NAME wine_cleanup
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh stop ${OMBREVALE_WINEPREFIX})
  set_tests_properties(wine_cleanup PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
endif()

# omb_add_test(<name> <target> [LABELS ...] [TIMEOUT s] [FIXTURES ...] [ARGS ...])
# Native tests run directly; Windows tests run under Wine in the private prefix.
function(omb_add_test name target)
  cmake_parse_arguments(T "" "TIMEOUT" "LABELS;FIXTURES;ARGS;ENVIRONMENT" ${ARGN})
  add_test(NAME ${name} COMMAND ${target} ${T_ARGS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
  # Window tests share one display: focus, the foreground window and the cursor are
  # theirs alone while they run.
  if("window" IN_LIST T_LABELS)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK ombrevale_display)
  endif()
  if(OMBREVALE_WINDOWS)
    set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED "wine;${T_FIXTURES}"
      ENVIRONMENT "${OMBREVALE_WINE_ENV};${T_ENVIRONMENT}")
  elseif(T_FIXTURES OR T_ENVIRONMENT)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "${T_FIXTURES}" ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
endfunction()
