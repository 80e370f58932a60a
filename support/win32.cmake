# The application support library over Win32, compiled into the program.
add_library(omb_support_win32 STATIC
  ${CMAKE_CURRENT_LIST_DIR}/about_box_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dpi_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/error_reporter_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/failure_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_dialog_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_store_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support_functions_win32.cpp)
target_link_libraries(omb_support_win32
  PUBLIC omb_headers
  PRIVATE comdlg32 shell32 ole32 user32 gdi32 advapi32)
