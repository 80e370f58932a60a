# The main window shell, and the program itself.
if(NOT TARGET omb_app_logic OR NOT TARGET omb_support_win32 OR NOT TARGET omb_automation_win32
   OR NOT TARGET omb_resources)
  message(STATUS "Ombrevale.exe waits for the logic, support, automation and resource libraries")
  return()
endif()

add_library(omb_app_win32 STATIC
  ${CMAKE_CURRENT_LIST_DIR}/frm_main_win32.cpp)
target_link_libraries(omb_app_win32 PUBLIC omb_app_logic omb_support_win32 omb_headers user32 gdi32 comctl32)

add_executable(Ombrevale WIN32
  ${CMAKE_CURRENT_LIST_DIR}/main_win32.cpp
  $<TARGET_OBJECTS:omb_resources>)
target_link_options(Ombrevale PRIVATE -municode)
# A three-button window needs no more than a mebibyte.
omb_ship(Ombrevale MAX_SIZE 1048576)
target_link_libraries(Ombrevale PRIVATE
  omb_app_win32 omb_support_win32 omb_automation_win32 ole32 oleaut32 uuid comctl32)
