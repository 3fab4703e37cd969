# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix: the
# posix thread model, which std::thread and std::mutex need).
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# ORVANE_WINDOWS_DEPS may name a prefix holding cross-built static libraries (scripts/orvane
# windows-build puts the codecs and GoogleTest under build-windows/deps/prefix).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_triplet}-windres)
set(CMAKE_AR ${_triplet}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_triplet}-ranlib CACHE FILEPATH "")

# Look for libraries and headers only in the Windows sysroot (and the deps prefix), for
# programs only on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${_triplet})
if(DEFINED ENV{ORVANE_WINDOWS_DEPS})
  set(ORVANE_WINDOWS_DEPS "$ENV{ORVANE_WINDOWS_DEPS}" CACHE PATH "Cross-built static libraries")
endif()
if(ORVANE_WINDOWS_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${ORVANE_WINDOWS_DEPS})
endif()
# pkg-config sees only Windows libraries, never the build machine's .pc files (libusb, X11 and
# GTK of Linux would otherwise be "found").
set(_pc_dirs ${CMAKE_FIND_ROOT_PATH})
list(TRANSFORM _pc_dirs APPEND /lib/pkgconfig)
list(JOIN _pc_dirs ":" _pc_libdir)
set(ENV{PKG_CONFIG_LIBDIR} "${_pc_libdir}")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static archives first: the DLL and the test programs carry their codecs inside.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a .lib)

# GCC spills vector registers to the stack with aligned moves, but Win64 keeps the stack only
# 16-byte aligned: 32-byte AVX spills would fault. Let the assembler turn every aligned vector
# move into an unaligned one (as fast on current processors when the data is aligned).
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

# Programs run under Wine when CMake or CTest must run them.
find_program(ORVANE_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(ORVANE_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVANE_WINE64})
endif()
