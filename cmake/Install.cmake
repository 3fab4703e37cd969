# What `cmake --install` puts where, in three components that become the Debian packages:
#   runtime  the shared library and the udev rule
#   dev      the header, the namelink, the CMake package and the pkg-config file
#   tools    orvane-cli, orvane-viewer and their manual pages
# Every installed file is relative to the prefix, so the tree can be moved (DESTDIR, dpkg -x).
include(CMakePackageConfigHelpers)

set(ORVANE_DEB_RUNTIME liborvanesdk-a06-usb3-q7-1)
set(ORVANE_DEB_DEV liborvanesdk-a06-usb3-q7-dev)
set(ORVANE_DEB_TOOLS orvane-tools)
set(ORVANE_PACKAGE_CONTACT "Orvane SDK developers <orvane-sdk@kelmor.example>"
  CACHE STRING "Maintainer of the Debian packages")

# Consumers link OrvaneSdk::OrvaneSdk; the longer name stays for those who used it.
set_target_properties(OrvaneSdk_A06_USB3_Q7 PROPERTIES EXPORT_NAME OrvaneSdk)
add_library(OrvaneSdk::OrvaneSdk ALIAS OrvaneSdk_A06_USB3_Q7)
add_library(OrvaneSdk::OrvaneSdk_A06_USB3_Q7 ALIAS OrvaneSdk_A06_USB3_Q7)

install(TARGETS OrvaneSdk_A06_USB3_Q7 EXPORT OrvaneSdkTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(EXPORT OrvaneSdkTargets NAMESPACE OrvaneSdk::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/OrvaneSdk COMPONENT dev)
configure_package_config_file(cmake/OrvaneSdkConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/OrvaneSdkConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/OrvaneSdk)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/OrvaneSdkConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/OrvaneSdkConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/OrvaneSdkConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/OrvaneSdk COMPONENT dev)

# pkg-config: the prefix is found from the file's own place, so a moved tree stays right.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(ORVANE_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH _pc_up "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
  string(REGEX REPLACE "/$" "" _pc_up "${_pc_up}")
  set(ORVANE_PC_PREFIX "\${pcfiledir}/${_pc_up}")
endif()
foreach(_dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${_dir}}")
    set(ORVANE_PC_${_dir} "${CMAKE_INSTALL_${_dir}}")
  else()
    set(ORVANE_PC_${_dir} "\${prefix}/${CMAKE_INSTALL_${_dir}}")
  endif()
endforeach()
configure_file(cmake/orvanesdk.pc.in ${CMAKE_CURRENT_BINARY_DIR}/orvanesdk.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/orvanesdk.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# udev reads rules from <prefix>/lib/udev/rules.d, never from a multiarch library folder.
install(FILES udev/60-orvane-camera.rules DESTINATION lib/udev/rules.d COMPONENT runtime)

install(TARGETS orvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
set(_man_pages ${CMAKE_SOURCE_DIR}/tools/cli/orvane-cli.1)
if(TARGET orvane-viewer)
  install(TARGETS orvane-viewer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  list(APPEND _man_pages ${CMAKE_SOURCE_DIR}/tools/viewer/orvane-viewer.1)
endif()

# Compressed as Debian wants them (gzip -9n: no name or time stamp, so builds are repeatable).
find_program(ORVANE_GZIP gzip REQUIRED)
set(_gz_files)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/man ${CMAKE_CURRENT_BINARY_DIR}/packaging)
macro(orvane_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${ORVANE_GZIP} -9nc ${source} > ${output}
    DEPENDS ${source} VERBATIM)
  list(APPEND _gz_files ${output})
endmacro()
foreach(_page ${_man_pages})
  get_filename_component(_name ${_page} NAME)
  orvane_gzip(${_page} ${CMAKE_CURRENT_BINARY_DIR}/man/${_name}.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/${_name}.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
endforeach()

# Copyright and change log of each package, where Debian looks for them.
configure_file(packaging/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog @ONLY)
orvane_gzip(${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog
  ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz)
foreach(_comp runtime dev tools)
  string(TOUPPER ${_comp} _upper)
  install(FILES packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${ORVANE_DEB_${_upper}} COMPONENT ${_comp})
endforeach()
add_custom_target(orvane_install_files ALL DEPENDS ${_gz_files})
