# demohost/server.cmake: OmbrevaleDemoHost.exe, the demo automation server process.
omb_add_host_server(OmbrevaleDemoHost
  DESCRIPTION "Ombrevale Demo Host"
  SOURCES server_main_win32.cpp
  LIBRARIES omb_demohost_logic shell32)
