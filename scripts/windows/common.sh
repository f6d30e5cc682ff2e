# Shared by the Windows scripts (sourced, not run): the mingw-w64 toolchain, wine, and the cache of
# libraries built for Windows. The cache lives outside the tree and is reused by every clone.
#   MIROTA_WINDOWS_CACHE   cache directory (default /var/cache/mirota-windows)

WIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WIN_CACHE=${MIROTA_WINDOWS_CACHE:-/var/cache/mirota-windows}
WIN_PREFIX=$WIN_CACHE/prefix          # Qt, libvterm, QCustomPlot for the GUI build
WIN_GTEST=$WIN_CACHE/gtest            # GoogleTest for the test programs
WIN_VTERM=$WIN_CACHE/vterm            # libvterm (the terminal core needs it with or without GUI)
WIN_TOOLCHAIN=$WIN_ROOT/cmake/mingw-w64-x86_64.cmake
WIN_TRIPLE=x86_64-w64-mingw32
WIN_GCC_DLLS=/usr/lib/gcc/$WIN_TRIPLE/12-posix
WIN_SYSROOT=/usr/$WIN_TRIPLE
mkdir -p "$WIN_CACHE"

win_log() { printf '[windows %(%H:%M:%S)T] %s\n' -1 "$*"; }

# Installs the cross compiler, wine and what the source builds need; checks only when all is there.
win_install_tools() {
  local packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
                  libz-mingw-w64-dev wine wine64 libwine-dev dpkg-dev cmake ninja-build ccache
                  googletest zip unzip socat)
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    win_log "installing ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# A private wine prefix under the cache: no desktop (null graphics driver), no Mono/Gecko prompts.
# The server is kept running (wineserver -p) so that one process per test case does not pay for a
# server start each time.
win_wine_env() {
  export WINEPREFIX=${MIROTA_WINEPREFIX:-$WIN_CACHE/wineprefix}
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
  unset DISPLAY
  if [ ! -f "$WINEPREFIX/.mirota-ready" ]; then
    win_log "creating wine prefix $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    wine wineboot -i </dev/null >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.mirota-ready"
  fi
  # Fails (harmlessly) when a server of this prefix is running already.
  wineserver -p 900 </dev/null >/dev/null 2>&1 || true
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

win_wine_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
}

# GoogleTest built from Debian's /usr/src/googletest for mingw (static libraries).
win_build_gtest() {
  if [ -f "$WIN_GTEST/lib/cmake/GTest/GTestConfig.cmake" ]; then return; fi
  win_log "building GoogleTest for Windows into $WIN_GTEST"
  local b=$WIN_CACHE/build/gtest
  rm -rf "$b"
  cmake -S /usr/src/googletest -B "$b" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$WIN_TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$WIN_GTEST" -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$b" -j"${WIN_JOBS:-1}"
  cmake --install "$b" >/dev/null
  rm -rf "$b"
}

# True when the Qt, libvterm and QCustomPlot builds are all in the cache.
win_deps_present() {
  [ -f "$WIN_PREFIX/.qt-done" ] && [ -f "$WIN_PREFIX/.qcustomplot-done" ]
}

# Wine path (Z:\...) of a Unix path.
win_path() { printf 'Z:%s' "${1//\//\\}"; }
