# support/win32.cmake
