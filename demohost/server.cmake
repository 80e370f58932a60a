# demohost/server.cmake: OmbrevaleDemoHost.exe, the demo automation server process, and the
# description of the server that it runs (also run by a test build of it).
add_library(omb_demohost_win32 STATIC server_win32.cpp)
target_link_libraries(omb_demohost_win32 PUBLIC omb_demohost_logic omb_hostcore_win32)

omb_add_host_server(OmbrevaleDemoHost
  DESCRIPTION "Ombrevale Demo Host"
  SOURCES server_main_win32.cpp
  LIBRARIES omb_demohost_win32)
