# Cross build for 64-bit Windows with Debian's mingw-w64 (GCC, posix threads).
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ...
# MIROTA_WINDOWS_PREFIX (cache variable, or environment with ":" between entries) lists prefixes of
# libraries built for Windows (Qt, libvterm, QCustomPlot, GoogleTest); they are searched besides the
# compiler's own sysroot.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${triple}-gcc-posix ${triple}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${triple}-g++-posix ${triple}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${triple}-windres windres REQUIRED)
find_program(CMAKE_AR NAMES ${triple}-gcc-ar-posix ${triple}-ar)
find_program(CMAKE_RANLIB NAMES ${triple}-gcc-ranlib-posix ${triple}-ranlib)

if(NOT MIROTA_WINDOWS_PREFIX AND DEFINED ENV{MIROTA_WINDOWS_PREFIX})
  string(REPLACE ":" ";" MIROTA_WINDOWS_PREFIX "$ENV{MIROTA_WINDOWS_PREFIX}")
endif()
# try_compile projects re-read this file: hand the prefix on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MIROTA_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
if(MIROTA_WINDOWS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${MIROTA_WINDOWS_PREFIX})
  # pkg-config (libvterm) looks only at the Windows prefixes, never at the build machine's libraries.
  list(TRANSFORM MIROTA_WINDOWS_PREFIX APPEND /lib/pkgconfig OUTPUT_VARIABLE pc_dirs)
  list(JOIN pc_dirs ":" pc_dirs)
  set(ENV{PKG_CONFIG_LIBDIR} "${pc_dirs}")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime (libstdc++, libgcc, winpthread) is linked statically, so test programs run under wine
# without a search path to the compiler's DLLs. A build against Qt's DLLs passes
# -DCMAKE_EXE_LINKER_FLAGS= so that the programs share the runtime DLLs with Qt.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Programs built for Windows run through wine (gtest discovery, try_run).
find_program(MIROTA_WINE NAMES wine)
if(MIROTA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MIROTA_WINE})
endif()
