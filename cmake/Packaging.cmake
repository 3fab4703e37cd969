# Debian packages of the install components (cmake/Install.cmake), made with `cpack -G DEB`
# in the build folder (scripts/orvane package). Dependencies on system libraries come from
# dpkg-shlibdeps; the library package ships a shlibs file for packages built against it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane-sdk)
set(CPACK_PACKAGE_VENDOR Kelmor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ORVANE_PACKAGE_CONTACT}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Lets dpkg-shlibdeps find the library the tools link against in this build folder.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# dev and tools depend on the library package of the same version.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${ORVANE_DEB_RUNTIME})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# ldconfig runs through the trigger; the scripts apply the udev rule to plugged-in cameras.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/runtime/triggers
  ${CMAKE_SOURCE_DIR}/packaging/runtime/postinst ${CMAKE_SOURCE_DIR}/packaging/runtime/postrm)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "library for the OrvaneA06-USB3-Q7 USB 3.0 camera
libOrvaneSdk_A06_USB3_Q7 drives the OrvaneA06-USB3-Q7 industrial camera
(IMX178 sensor, FX3 USB 3.0 controller) through 147 C functions: snapshots,
live preview, frame callbacks, image files, AVI recording and register access.
A built-in virtual camera stands in for the hardware. The udev rule gives the
user at the seat access to the camera.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${ORVANE_DEB_DEV})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION
  "development files for the OrvaneA06-USB3-Q7 camera library
The C header OrvaneSdk.h, the pkg-config file orvanesdk and the CMake package
OrvaneSdk (target OrvaneSdk::OrvaneSdk) for building applications against
libOrvaneSdk_A06_USB3_Q7.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${ORVANE_DEB_TOOLS})
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
  "command-line tool and viewer for the OrvaneA06-USB3-Q7 camera
orvane-cli lists cameras, shows and changes their settings, takes snapshots,
streams and records; orvane-viewer is a GTK 3 application with a live preview
and the settings dialogs. Both run against a real camera or the library's
virtual camera.")

include(CPack)
cpack_add_component(runtime DISPLAY_NAME "Library")
cpack_add_component(dev DISPLAY_NAME "Development files" DEPENDS runtime)
cpack_add_component(tools DISPLAY_NAME "Tools" DEPENDS runtime)
