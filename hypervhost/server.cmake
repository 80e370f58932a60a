# hypervhost/server.cmake: OmbrevaleHyperVHost.exe, the Hyper-V bridge's automation server process.
omb_add_host_server(OmbrevaleHyperVHost
  DESCRIPTION "Ombrevale Hyper-V Bridge"
  SOURCES server_main_win32.cpp
  LIBRARIES omb_hypervhost_logic)
