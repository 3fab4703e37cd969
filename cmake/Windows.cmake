# The Windows (mingw-w64) side of the build: what differs from the Linux build is kept here.
#
# - Every program and the DLL link the C and C++ runtimes and winpthreads statically, so they
#   import only Windows system DLLs.
# - zlib is Debian's libz-mingw-w64-dev, its static archive named explicitly (the sysroot also
#   holds an import library for zlib1.dll).
# - The platform layer builds its win32/ implementations instead of the POSIX ones (see
#   platform/CMakeLists.txt). libusb, X11 and GTK are not looked for (pkg-config sees only
#   Windows libraries): the libusb backend, the X11 preview and the GTK dialogs build as their
#   "not available" forms.

add_link_options(-static -static-libgcc -static-libstdc++)
# C99 printf family (%zu, %lld), the same formats as on Linux.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)

list(GET CMAKE_FIND_ROOT_PATH 0 _orvane_sysroot)
set(ZLIB_LIBRARY ${_orvane_sysroot}/lib/libz.a CACHE FILEPATH "zlib, static")
set(ZLIB_INCLUDE_DIR ${_orvane_sysroot}/include CACHE PATH "zlib headers")
if(ORVANE_WINDOWS_DEPS)
  list(APPEND CMAKE_PREFIX_PATH ${ORVANE_WINDOWS_DEPS})
endif()

# orvane_windows_dll(target): the DLL's name (no lib prefix), its exports (exactly the .def's),
# its import library and its version resource.
function(orvane_windows_dll target)
  set(_def ${PROJECT_SOURCE_DIR}/api/OrvaneSdk_A06_USB3_Q7.def)
  configure_file(${PROJECT_SOURCE_DIR}/api/Version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/Version.rc @ONLY)
  target_sources(${target} PRIVATE ${_def} ${CMAKE_CURRENT_BINARY_DIR}/Version.rc)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    IMPORT_PREFIX ""
    IMPORT_SUFFIX ".lib"
    LINK_DEPENDS ${_def})
  # The .def alone decides what is exported: nothing from the static runtimes or codecs.
  target_link_options(${target} PRIVATE -Wl,--no-undefined -Wl,--exclude-all-symbols
                      -Wl,--dynamicbase -Wl,--nxcompat -Wl,--high-entropy-va)
endfunction()
