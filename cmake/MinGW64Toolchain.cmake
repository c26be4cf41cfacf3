# Cross build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix), with the
# test programs run under Wine (Debian: wine64):
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/MinGW64Toolchain.cmake
#
# The posix thread model gives std::thread and std::mutex; the binaries link the compiler's
# runtime statically, so they need nothing beyond the system's own DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORRIN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KORRIN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORRIN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KORRIN_MINGW_PREFIX}-windres)
# Also used by the export check to list what the DLL exports.
find_program(KORRIN_MINGW_OBJDUMP ${KORRIN_MINGW_PREFIX}-objdump)
find_program(KORRIN_MINGW_CXXFILT ${KORRIN_MINGW_PREFIX}-c++filt)

# Libraries and headers come from the cross compiler's own tree, programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${KORRIN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Boost is used for its headers only; the host's copy serves, but its include directory
# must not be searched whole (it holds the host's C library headers).
set(KORRIN_HOST_BOOST_INCLUDE /usr/include CACHE PATH "Directory holding the host's boost/ headers")

# ctest runs the Windows programs through Wine.
find_program(KORRIN_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(KORRIN_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KORRIN_WINE64})
endif()
