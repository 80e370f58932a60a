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

omb_add_e2e_prefix(hyperv win10)
omb_add_bridge_e2e(hyperv hypervhost ${CMAKE_CURRENT_SOURCE_DIR}/run_hyperv_e2e.sh ${WINE_EXECUTABLE}
                   ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
