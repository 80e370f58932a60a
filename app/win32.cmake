# app/win32.cmake
