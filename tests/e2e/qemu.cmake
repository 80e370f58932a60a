# tests/e2e/qemu.cmake: the real Ombrevale.exe with the QEMU bridge registered, against
# real QEMU machines that run_qemu_e2e.sh starts and stops. In a Wine prefix of its own
# (reporting Windows XP), since the bridge takes the VirtualPC class there for a while;
# the demo server's runs in their prefixes are not touched.
omb_require_targets("The QEMU end-to-end tests" Ombrevale OmbrevaleDemoHost OmbrevaleQemuHost)

add_executable(ombrevale_qemu_e2e_tests
  program_driver_win32.cpp
  program_test_win32.cpp
  qemu_bridge_test_win32.cpp)
target_link_libraries(ombrevale_qemu_e2e_tests PRIVATE omb_headers omb_qemuhost_logic GTest::gtest_main
                      user32 gdi32 comdlg32 advapi32)
add_dependencies(ombrevale_qemu_e2e_tests Ombrevale OmbrevaleDemoHost OmbrevaleQemuHost)

set(_qemu_prefix ${CMAKE_BINARY_DIR}/wineprefix-e2e-qemu)
set(_qemu_env
    WINEPREFIX=${_qemu_prefix}
    WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml=
    OMBREVALE_E2E_WORK=${CMAKE_BINARY_DIR}/e2e-work/qemu
    OMBREVALE_E2E_ARTIFACTS=${CMAKE_BINARY_DIR}/artifacts/qemu
    OMBREVALE_E2E_WINDOWS=5.1)

add_test(NAME e2e_qemu_wine_start COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh start ${_qemu_prefix})
set_tests_properties(e2e_qemu_wine_start PROPERTIES
  FIXTURES_SETUP e2e_qemu_wine TIMEOUT 300 LABELS e2e RESOURCE_LOCK ombrevale_display)
add_test(NAME e2e_qemu_wine_settings
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/prepare-prefix.sh ${WINE_EXECUTABLE} winxp)
set_tests_properties(e2e_qemu_wine_settings PROPERTIES
  FIXTURES_SETUP e2e_qemu_wine DEPENDS e2e_qemu_wine_start
  ENVIRONMENT "${_qemu_env}" TIMEOUT 60 LABELS e2e)
add_test(NAME e2e_qemu_wine_stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh stop ${_qemu_prefix})
set_tests_properties(e2e_qemu_wine_stop PROPERTIES FIXTURES_CLEANUP e2e_qemu_wine TIMEOUT 60 LABELS e2e)

add_test(NAME e2e_qemu
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/run_qemu_e2e.sh ${QEMU_SYSTEM_X86_64} ${WINE_EXECUTABLE}
                 ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
set_tests_properties(e2e_qemu PROPERTIES
  FIXTURES_REQUIRED e2e_qemu_wine
  ENVIRONMENT "${_qemu_env}"
  # The display and the foreground are the program's alone while it runs.
  RESOURCE_LOCK "ombrevale_e2e_program;ombrevale_display"
  TIMEOUT 300
  LABELS "e2e;qemuhost")
