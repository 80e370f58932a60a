# frmMain's handlers and modMain's start-up, composed from the drive, image and dialog
# logic. The Win32 shell links this.
add_library(omb_app_logic STATIC
  ${CMAKE_CURRENT_LIST_DIR}/frm_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mod_main.cpp)
target_link_libraries(omb_app_logic PUBLIC omb_drives omb_images omb_support_logic omb_headers)
