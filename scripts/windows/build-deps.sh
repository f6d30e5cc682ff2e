#!/usr/bin/env bash
# Builds the libraries the Windows GUI build needs, for mingw-w64, from Debian's source packages:
# Qt 6.4.2 qtbase (Core, Gui, Widgets, Xml, PrintSupport, Test; no OpenGL, SQL, D-Bus, network),
# libvterm, QCustomPlot and GoogleTest, installed into a cache outside the tree that later runs reuse
# ($MIROTA_WINDOWS_CACHE, default /var/cache/mirota-windows). Each library is built once; delete its
# marker (prefix/.qt-done, prefix/.qcustomplot-done, vterm/.vterm-done) or the cache to build it again.
# An interrupted build keeps its build directory under the cache and goes on from there next time.
# The Qt build takes about half an hour on two cores; it runs with the jobs of WIN_JOBS (default 1):
#   nice -n 19 scripts/windows/build-deps.sh            everything
#   scripts/windows/build-deps.sh vterm gtest           only what the build without GUI needs
# The machine's apt configuration is left alone: source packages come from the archives it is set up
# with, through a private deb-src list.
set -euo pipefail
source "$(dirname "$0")/common.sh"

jobs=${WIN_JOBS:-1}
src=$WIN_CACHE/src
build=$WIN_CACHE/build
mkdir -p "$src" "$build" "$WIN_PREFIX"

win_install_tools

# Source packages through a deb-src list of our own.
source "$WIN_ROOT/scripts/debian-source.sh"
fetch_source() {
  compgen -G "$src/$2" >/dev/null || win_log "fetching the source of $1"
  fetch_debian_source "$1" "$2" "$src" "$WIN_CACHE/apt"
}

build_vterm() {
  [ -f "$WIN_VTERM/.vterm-done" ] && return
  fetch_source libvterm 'libvterm-0.*'
  local dir b=$build/vterm
  dir=$(find "$src" -maxdepth 1 -type d -name 'libvterm-*' | head -1)
  win_log "building libvterm from $dir"
  rm -rf "$b" && mkdir -p "$b"
  local c
  for c in "$dir"/src/*.c; do
    $WIN_TRIPLE-gcc-posix -std=c99 -O2 -w -I"$dir/include" -c "$c" -o "$b/$(basename "$c" .c).o"
  done
  mkdir -p "$WIN_VTERM/lib/pkgconfig" "$WIN_VTERM/include"
  rm -f "$WIN_VTERM/lib/libvterm.a"
  $WIN_TRIPLE-ar rcs "$WIN_VTERM/lib/libvterm.a" "$b"/*.o
  cp "$dir"/include/vterm.h "$dir"/include/vterm_keycodes.h "$WIN_VTERM/include/"
  local version
  version=$(basename "$dir" | sed 's/^libvterm-//')
  cat >"$WIN_VTERM/lib/pkgconfig/vterm.pc" <<PC
prefix=$WIN_VTERM
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: vterm
Description: Abstract VT220/Xterm/ECMA-48 emulation library
Version: $version
Libs: -L\${libdir} -lvterm
Cflags: -I\${includedir}
PC
  rm -rf "$b"
  touch "$WIN_VTERM/.vterm-done"
}

build_qt() {
  [ -f "$WIN_PREFIX/.qt-done" ] && return
  fetch_source qt6-base 'qt6-base-6.4.2*'
  local dir b=$build/qt
  dir=$(find "$src" -maxdepth 1 -type d -name 'qt6-base-6.4.2*' | head -1)
  # The Debian source drops the tablet headers of the Windows platform plugin; wine's headers carry
  # the same declarations, written for winelib, so a few of its macros are given plain meanings.
  local qpa=$dir/src/plugins/platforms/windows wine_headers=/usr/include/wine/wine/windows
  if ! grep -qs '^# define API WINAPI' "$qpa/wintab.h"; then
    {
      echo '#pragma once'
      echo '#include <windows.h>'
      echo '#ifndef WINELIB_NAME_AW'
      echo '# ifdef UNICODE'
      echo '#  define WINELIB_NAME_AW(func) func##W'
      echo '# else'
      echo '#  define WINELIB_NAME_AW(func) func##A'
      echo '# endif'
      echo '#endif'
      echo '#ifndef API'
      echo '# define API WINAPI'
      echo '#endif'
      echo '#ifndef DECL_WINELIB_TYPE_AW'
      echo '# define DECL_WINELIB_TYPE_AW(type) typedef WINELIB_NAME_AW(type) type;'
      echo '#endif'
      cat "$wine_headers/wintab.h"
    } >"$qpa/wintab.h"
    cp "$wine_headers/pktdef.h" "$qpa/pktdef.h"
  fi
  # Without OpenGL the window code still refers to the dynamic GL switch.
  sed -i '/^static inline bool isSoftwareGl()/,/^}/ s/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(opengl) \&\& QT_CONFIG(dynamicgl)/' \
    "$qpa/qwindowswindow.cpp"
  win_log "configuring Qt from $dir"
  cmake -S "$dir" -B "$b" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$WIN_TOOLCHAIN" -DCMAKE_EXE_LINKER_FLAGS= \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$WIN_PREFIX" \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_network=OFF \
    -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >"$build/qt-configure.log"
  win_log "building Qt (-j$jobs; about half an hour at -j1)"
  ninja -C "$b" -j"$jobs" all >"$build/qt-build.log"
  cmake --install "$b" >/dev/null
  touch "$WIN_PREFIX/.qt-done"
  rm -rf "$b"
}

build_qcustomplot() {
  [ -f "$WIN_PREFIX/.qcustomplot-done" ] && return
  fetch_source qcustomplot 'qcustomplot-2.*'
  local dir b=$build/qcustomplot
  dir=$(find "$src" -maxdepth 1 -type d -name 'qcustomplot-2.*' | head -1)
  win_log "building QCustomPlot from $dir"
  rm -rf "$b"
  cmake -S "$dir" -B "$b" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$WIN_TOOLCHAIN" -DCMAKE_EXE_LINKER_FLAGS= \
    -DMIROTA_WINDOWS_PREFIX="$WIN_PREFIX" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DUSE_QT_VERSION=6 \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$WIN_PREFIX" >"$build/qcustomplot-configure.log"
  cmake --build "$b" -j"$jobs" >"$build/qcustomplot-build.log"
  cmake --install "$b" >/dev/null
  touch "$WIN_PREFIX/.qcustomplot-done"
  rm -rf "$b"
}

# Without arguments everything; otherwise the named parts (vterm, qt, qcustomplot, gtest).
parts=("$@")
((${#parts[@]})) || parts=(vterm qt qcustomplot gtest)
for part in "${parts[@]}"; do
  case $part in
    vterm) build_vterm ;;
    qt) build_qt ;;
    qcustomplot) build_qcustomplot ;;
    gtest) win_build_gtest ;;
    *) echo "unknown part: $part (vterm, qt, qcustomplot, gtest)" >&2; exit 2 ;;
  esac
done
win_log "ready in $WIN_CACHE: ${parts[*]}"
