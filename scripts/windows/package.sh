#!/usr/bin/env bash
# Builds Pravik and Ostrel for Windows against the libraries of scripts/windows/build-deps.sh and
# packs build/windows-gui/Pravik-<version>-windows-x64.zip: the two programs, _cfg, and the DLLs and
# Qt plugins they load (found by following the import tables, so nothing more and nothing less).
# Then a smoke test under wine from the unpacked zip: Ostrel with its four parameters on COM5, which
# leads to mirota-devsim (it must ask the device for its name and version and show the answers), and Pravik, whose USB walk
# finds nothing under wine.
#   scripts/windows/package.sh [--no-smoke] [--gui-tests]
#     --no-smoke    pack only
#     --gui-tests   also build the test programs against Qt and run the GUI tests under wine (offscreen)
# Objects come from ccache (CCACHE_BASEDIR is this tree, so other clones share the hits).
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/windows/common.sh
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
smoke=1
gui_tests=0
for arg in "$@"; do
  case $arg in
    --no-smoke) smoke=0 ;;
    --gui-tests) gui_tests=1 ;;
    *) echo "usage: $0 [--no-smoke] [--gui-tests]" >&2; exit 2 ;;
  esac
done
tests=OFF
[ "$gui_tests" -eq 1 ] && tests=ON
jobs=${WIN_JOBS:-$(nproc)}
build=build/windows-gui

if ! win_deps_present; then
  echo "package: no Qt/QCustomPlot for mingw in $WIN_PREFIX; run scripts/windows/build-deps.sh first" >&2
  exit 1
fi
win_install_tools
scripts/windows/build-deps.sh vterm gtest
win_wine_env
trap win_wine_stop EXIT

# The test programs run under wine at build time (test discovery): they find Qt's and the compiler's
# DLLs through WINEPATH, and Qt's offscreen platform.
export WINEPATH="$(win_path "$WIN_PREFIX/bin");$(win_path "$WIN_GCC_DLLS");$(win_path "$WIN_SYSROOT/lib")"
export QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH="$(win_path "$WIN_PREFIX/plugins")"
# The programs share the runtime DLLs with Qt: no static runtime here.
win_log "building the GUI for Windows in $build"
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$WIN_TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
  -DMIROTA_BUILD_GUI=ON -DMIROTA_BUILD_BENCH=OFF -DMIROTA_BUILD_TESTS=$tests -DCMAKE_EXE_LINKER_FLAGS= \
  "-DMIROTA_WINDOWS_PREFIX=$WIN_PREFIX;$WIN_VTERM;$WIN_GTEST" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DZLIB_LIBRARY_RELEASE="$WIN_SYSROOT/lib/libz.a" >/dev/null
# Everything that can be built is built (-k 0) before the result is judged: all the libraries (and
# test programs) also when a program's final link fails.
status=0
cmake --build "$build" -j"$jobs" -- -k 0 || status=$?
bin=$build/bin
for exe in Ostrel.exe Pravik.exe; do
  if [ ! -f "$bin/$exe" ]; then
    echo "package: $bin/$exe was not built (see the errors above)" >&2
    exit 1
  fi
done
[ "$status" -eq 0 ] || { echo "package: the build had errors" >&2; exit "$status"; }
if [ "$gui_tests" -eq 1 ]; then
  win_log "GUI tests under wine (offscreen)"
  ctest --test-dir "$build" -L gui -j"$jobs" --timeout 120 --output-on-failure
fi

version=$(sed -n 's/^#define MIROTA_VERSION_STRING "\(.*\)"$/\1/p' "$build/generated/BuildVersion.h")
name=Pravik-$version-windows-x64
stage=$build/package/$name
rm -rf "$build/package" && mkdir -p "$stage/platforms" "$stage/styles"
cp "$bin/Ostrel.exe" "$bin/Pravik.exe" "$stage/"
cp -r "$bin/_cfg" "$stage/_cfg"
cp "$WIN_PREFIX/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$WIN_PREFIX/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"

# The DLLs named in the import tables, followed from the programs and plugins; those not among the
# built libraries must be Windows' own (present in wine's system32, or API set names).
search=("$WIN_PREFIX/bin" "$WIN_PREFIX/lib" "$WIN_GCC_DLLS" "$WIN_SYSROOT/bin" "$WIN_SYSROOT/lib")
system32=$WINEPREFIX/drive_c/windows/system32
queue=("$stage/Ostrel.exe" "$stage/Pravik.exe" "$stage/platforms/qwindows.dll" "$stage/styles/qwindowsvistastyle.dll")
declare -A seen=()
while ((${#queue[@]})); do
  file=${queue[0]}
  queue=("${queue[@]:1}")
  while read -r dll; do
    key=${dll,,}
    [ -n "${seen[$key]:-}" ] && continue
    seen[$key]=1
    found=""
    for dir in "${search[@]}"; do
      hit=$(find "$dir" -maxdepth 1 -iname "$dll" -print -quit 2>/dev/null || true)
      if [ -n "$hit" ]; then found=$hit; break; fi
    done
    if [ -n "$found" ]; then
      cp "$found" "$stage/"
      queue+=("$stage/$(basename "$found")")
    elif [[ $key == api-ms-win-* || $key == ext-ms-* ]]; then
      : # an API set: Windows resolves these names itself (wine has no file for some of them)
    elif ! find "$system32" -maxdepth 1 -iname "$dll" -print -quit | grep -q .; then
      echo "package: $file needs $dll, which is neither built here nor part of Windows" >&2
      exit 1
    fi
  done < <($WIN_TRIPLE-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
done
zip=$PWD/$build/$name.zip
rm -f "$zip"
(cd "$build/package" && zip -qr "$zip" "$name")
win_log "packed $zip:"
(cd "$stage" && find . -type f ! -path './_cfg/*' | sort | sed 's/^\.\//  /')

[ "$smoke" -eq 1 ] || exit 0

# Smoke test from the unpacked zip: only what the zip brings, on Windows' own platform plugin.
win_log "smoke test under wine"
unset WINEPATH QT_QPA_PLATFORM QT_PLUGIN_PATH
cmake --preset default >/dev/null
cmake --build --preset default --target mirota-devsim | tail -1
devsim=$PWD/build/default/bin/mirota-devsim
work=$(mktemp -d)
pids=()
finish() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -f "$WINEPREFIX/dosdevices/com5"
  win_wine_stop
  rm -rf "$work"
}
trap finish EXIT
unzip -q "$zip" -d "$work"
app=$work/$name

# COM5 -> socat (which logs what Ostrel sends) -> the simulator's pseudo-terminal.
"$devsim" --link "$work/devsim-line" --name "DMS 2000" --firmware 9.87 >"$work/devsim.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -L "$work/devsim-line" ] && break; sleep 0.1; done
com=$WINEPREFIX/dosdevices/com5
rm -f "$com"
socat -v "PTY,link=$com,raw,echo=0" "FILE:$(readlink "$work/devsim-line"),raw,echo=0" 2>"$work/line.log" &
pids+=($!)
for _ in $(seq 50); do [ -L "$com" ] && break; sleep 0.1; done

# What went towards the device: socat -v writes a header "> date time  length=N from=.. to=..", then
# the N bytes; "<" headers carry the answers.
sent_to_device() {
  perl -0777 -ne 'while (/([<>]) \S+ \S+  length=(\d+) from=\d+ to=\d+\n/g) {
    my ($d, $n) = ($1, $2); my $s = substr($_, pos($_), $n); pos($_) += $n; print $s if $d eq ">"; }' "$1"
}
(cd "$app" && MIROTA_OSTREL_TRACE=1 exec wine ./Ostrel.exe COM5 "Mirota DMS 2000" FT01SMOKE 0) >"$work/ostrel.out" 2>&1 </dev/null &
ostrel=$!
pids+=($ostrel)
ok=0
for _ in $(seq 300); do
  sent=$(sent_to_device "$work/line.log")
  if [[ $sent == *'$112'* && $sent == *'$357'* ]]; then ok=1; break; fi
  kill -0 "$ostrel" 2>/dev/null || break
  sleep 0.1
done
if [ "$ok" -ne 1 ]; then
  echo "package: Ostrel did not ask the simulator for its name and version" >&2
  sed -n '1,40p' "$work/ostrel.out" >&2
  exit 1
fi
echo "smoke: Ostrel asked the simulator for its name (\$112) and version (\$357)"
# The control screen's information list shows the answers (the trace prints what the window shows).
for _ in $(seq 100); do
  grep -q 'DMS 2000' "$work/ostrel.out" && grep -q '9.87' "$work/ostrel.out" && break
  sleep 0.1
done
if ! grep -q 'DMS 2000' "$work/ostrel.out" || ! grep -q '9.87' "$work/ostrel.out"; then
  echo "package: Ostrel's control screen did not show the simulator's name and version" >&2
  sed -n '1,40p' "$work/ostrel.out" >&2
  exit 1
fi
echo "smoke: Ostrel's control screen shows the device's name \"DMS 2000\" and version 9.87"
kill -0 "$ostrel" 2>/dev/null || { echo "package: Ostrel ended on its own" >&2; exit 1; }

# Pravik: under wine the USB walk finds no controller, so the list stays empty; it must keep running.
(cd "$app" && exec wine ./Pravik.exe) >"$work/pravik.out" 2>&1 </dev/null &
pravik=$!
pids+=($pravik)
sleep 8
if ! kill -0 "$pravik" 2>/dev/null; then
  echo "package: Pravik ended on its own" >&2
  sed -n '1,40p' "$work/pravik.out" >&2
  exit 1
fi
echo "smoke: Pravik runs with an empty device list"
win_log "package and smoke test done: $zip"
