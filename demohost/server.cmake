# demohost/server.cmake: the in-process COM server OmbrevaleDemoHost.dll, with its type
# library compiled by widl from demohost.idl and embedded as a resource.
find_path(OMBREVALE_WINE_IDL_DIR oaidl.idl
          PATHS /usr/include/wine/wine/windows /usr/include/wine/windows
          NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(OMBREVALE_STDOLE2_DIR stdole2.tlb
          PATHS /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/wine/i386-windows
          NO_CMAKE_FIND_ROOT_PATH REQUIRED)

set(DEMOHOST_IDL ${CMAKE_CURRENT_SOURCE_DIR}/demohost.idl)
set(DEMOHOST_HEADER ${CMAKE_CURRENT_BINARY_DIR}/generated/demohost_idl.h)
set(DEMOHOST_TLB ${CMAKE_CURRENT_BINARY_DIR}/generated/OmbrevaleDemoHost.tlb)
add_custom_command(
  OUTPUT ${DEMOHOST_HEADER} ${DEMOHOST_TLB}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/generated
  COMMAND ${WIDL_EXECUTABLE} --win32 -I${OMBREVALE_WINE_IDL_DIR} -L${OMBREVALE_STDOLE2_DIR}
          -h -H ${DEMOHOST_HEADER} -t -T ${DEMOHOST_TLB} ${DEMOHOST_IDL}
  DEPENDS ${DEMOHOST_IDL}
  COMMENT "Compiling the demo host's type library"
  VERBATIM)
add_custom_target(omb_demohost_idl DEPENDS ${DEMOHOST_HEADER} ${DEMOHOST_TLB})

configure_file(demohost.rc.in ${CMAKE_CURRENT_BINARY_DIR}/generated/demohost.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/generated/demohost.rc
                            PROPERTIES OBJECT_DEPENDS ${DEMOHOST_TLB})

add_library(OmbrevaleDemoHost MODULE
  com_objects_win32.cpp
  module_win32.cpp
  demohost.def
  ${CMAKE_CURRENT_BINARY_DIR}/generated/demohost.rc
  ${DEMOHOST_HEADER})
add_dependencies(OmbrevaleDemoHost omb_demohost_idl)
set_target_properties(OmbrevaleDemoHost PROPERTIES PREFIX "" OUTPUT_NAME OmbrevaleDemoHost)
omb_ship(OmbrevaleDemoHost)
target_include_directories(OmbrevaleDemoHost PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
target_link_libraries(OmbrevaleDemoHost PRIVATE omb_demohost_logic oleaut32 ole32 uuid shell32 shlwapi advapi32)

# The generated header, for clients that call the host through its interfaces (tests).
add_library(omb_demohost_interfaces INTERFACE)
target_include_directories(omb_demohost_interfaces INTERFACE ${CMAKE_CURRENT_BINARY_DIR}/generated)
add_dependencies(omb_demohost_interfaces omb_demohost_idl)
