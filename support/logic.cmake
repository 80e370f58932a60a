# The image file dialogs over the support library's file dialog and settings store.
add_library(omb_support_logic STATIC ${CMAKE_CURRENT_LIST_DIR}/image_dialogs.cpp)
target_link_libraries(omb_support_logic PUBLIC omb_headers)
