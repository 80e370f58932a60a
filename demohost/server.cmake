# demohost/server.cmake: the in-process COM server OmbrevaleDemoHost.dll
