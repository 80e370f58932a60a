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

omb_add_e2e_prefix(qemu winxp REPORTS 5.1)
omb_add_bridge_e2e(qemu qemuhost ${CMAKE_CURRENT_SOURCE_DIR}/run_qemu_e2e.sh ${QEMU_SYSTEM_X86_64} ${WINE_EXECUTABLE}
                   ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
