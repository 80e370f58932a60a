# tests/e2e/hyperv.cmake: the real Ombrevale.exe with the Hyper-V bridge registered, against
# the WMI simulation (tests/hypervhost/simulation), which run_hyperv_e2e.sh puts in the place
# of WMI's locator. In a Wine prefix of its own, reporting Windows 10 (and Windows XP for
# one suite), since the bridge takes the VirtualPC class and the simulation WMI's there.
omb_require_targets("The Hyper-V end-to-end tests" Ombrevale OmbrevaleHyperVHost ombrevale_wmi_simulation)

add_executable(ombrevale_hyperv_e2e_tests
  program_driver_win32.cpp
  program_test_win32.cpp
  hyperv_bridge_test_win32.cpp)
target_link_libraries(ombrevale_hyperv_e2e_tests PRIVATE omb_headers GTest::gtest_main user32 gdi32 comdlg32 advapi32)
add_dependencies(ombrevale_hyperv_e2e_tests Ombrevale OmbrevaleHyperVHost ombrevale_wmi_simulation)

set(_hyperv_prefix ${CMAKE_BINARY_DIR}/wineprefix-e2e-hyperv)
set(_hyperv_env
    WINEPREFIX=${_hyperv_prefix}
    WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml=
    OMBREVALE_E2E_WORK=${CMAKE_BINARY_DIR}/e2e-work/hyperv
    OMBREVALE_E2E_ARTIFACTS=${CMAKE_BINARY_DIR}/artifacts/hyperv)

add_test(NAME e2e_hyperv_wine_start COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh start ${_hyperv_prefix})
set_tests_properties(e2e_hyperv_wine_start PROPERTIES
  FIXTURES_SETUP e2e_hyperv_wine TIMEOUT 300 LABELS e2e RESOURCE_LOCK ombrevale_display)
add_test(NAME e2e_hyperv_wine_settings
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/prepare-prefix.sh ${WINE_EXECUTABLE} win10)
set_tests_properties(e2e_hyperv_wine_settings PROPERTIES
  FIXTURES_SETUP e2e_hyperv_wine DEPENDS e2e_hyperv_wine_start
  ENVIRONMENT "${_hyperv_env}" TIMEOUT 60 LABELS e2e)
add_test(NAME e2e_hyperv_wine_stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh stop ${_hyperv_prefix})
set_tests_properties(e2e_hyperv_wine_stop PROPERTIES FIXTURES_CLEANUP e2e_hyperv_wine TIMEOUT 60 LABELS e2e)

add_test(NAME e2e_hyperv
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/run_hyperv_e2e.sh ${WINE_EXECUTABLE} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
set_tests_properties(e2e_hyperv PROPERTIES
  FIXTURES_REQUIRED e2e_hyperv_wine
  ENVIRONMENT "${_hyperv_env}"
  # The display and the foreground are the program's alone while it runs.
  RESOURCE_LOCK "ombrevale_e2e_program;ombrevale_display"
  TIMEOUT 300
  LABELS "e2e;hypervhost")
