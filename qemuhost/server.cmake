# qemuhost/server.cmake: OmbrevaleQemuHost.exe, the QEMU bridge's automation server process.
omb_add_host_server(OmbrevaleQemuHost
  DESCRIPTION "Ombrevale QEMU Bridge"
  SOURCES server_main_win32.cpp
  LIBRARIES omb_qemuhost_logic)
