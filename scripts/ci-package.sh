#!/usr/bin/env bash
# CI: the Debian package. Builds it from the default build, checks it with lintian, appstreamcli and
# desktop-file-validate, unpacks it into a temporary root and runs the unpacked programs there through
# their links in usr/bin: Ostrel against the unpacked simulator (it must open the port and read the
# device's name and version, with the _cfg beside it), Pravik on a fake sysfs (it must start, walk the
# adapters and end cleanly). A broken install layout fails here.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true

DEB=$(scripts/package.sh default | tail -n 1)
echo "ci-package: $DEB"
lintian --fail-on error,warning "$DEB" 2> >(grep -v 'running with root privileges' >&2)

WORK=$(mktemp -d "${TMPDIR:-/tmp}/mirota-ci-package-XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
ROOT=$WORK/root
dpkg-deb -x "$DEB" "$ROOT"
appstreamcli validate --no-net "$ROOT"/usr/share/metainfo/*.metainfo.xml
desktop-file-validate "$ROOT"/usr/share/applications/*.desktop
BIN=$ROOT/usr/bin
fail() { echo "ci-package: $*" >&2; exit 1; }

# Terminal answers, through the links and without any display.
version=$(dpkg-deb -f "$DEB" Version)
[[ "$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$BIN/pravik" --version)" == "pravik $version" ]] || fail "pravik --version"
[[ "$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$BIN/ostrel" --version)" == "ostrel $version" ]] || fail "ostrel --version"
env -u DISPLAY "$BIN/ostrel" --help | grep -q '^Usage: ostrel PORT' || fail "ostrel --help"

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$WORK/runtime MIROTA_MESSAGE_DIR=$WORK/messages
mkdir -m 700 "$XDG_RUNTIME_DIR" "$MIROTA_MESSAGE_DIR"

# Ostrel on the simulated device: the name and firmware the simulator answers must show up.
coproc DEVSIM { exec "$BIN/mirota-devsim" --name "CI 2000" --firmware "4.56" --cfg "$ROOT/usr/lib/mirota/_cfg"; }
pids+=("$DEVSIM_PID")
read -r -t 10 -u "${DEVSIM[0]}" PTY || fail "mirota-devsim did not start"
MIROTA_OSTREL_TRACE=1 "$BIN/ostrel" "$PTY" "Mirota DMS" CI000001 0 > "$WORK/ostrel.out" 2>&1 &
OSTREL=$!
pids+=("$OSTREL")
for _ in $(seq 100); do
  grep -q 'CI 2000' "$WORK/ostrel.out" && grep -q '4.56' "$WORK/ostrel.out" && break
  kill -0 "$OSTREL" 2>/dev/null || break
  sleep 0.1
done
grep -q 'CI 2000' "$WORK/ostrel.out" && grep -q '4.56' "$WORK/ostrel.out" || { cat "$WORK/ostrel.out" >&2; fail "ostrel did not query the device"; }
kill -TERM "$OSTREL"
wait "$OSTREL" || fail "ostrel did not end cleanly"
echo "ci-package: ostrel opened $PTY and read the device"

# Pravik on a fake sysfs with one adapter: its message endpoint appears once the window and the first
# walk are done; it must then keep running and end cleanly when asked.
"$ROOT/usr/lib/mirota/mirota-devsim" --help >/dev/null

[[ -x build/default/bin/mirota-fake-sysfs ]] || cmake --build --preset default --target mirota-fake-sysfs >/dev/null
build/default/bin/mirota-fake-sysfs "$WORK/sysfs" --adapter CI000001 "Mirota DMS" ttyUSB0 >/dev/null
mkdir "$WORK/dev"
ln -s "$PTY" "$WORK/dev/ttyUSB0"
MIROTA_SYSFS_ROOT=$WORK/sysfs MIROTA_DEVICE_DIR=$WORK/dev "$BIN/pravik" > "$WORK/pravik.out" 2>&1 &
PRAVIK=$!
pids+=("$PRAVIK")
for _ in $(seq 100); do
  [[ -n "$(ls -A "$MIROTA_MESSAGE_DIR")" ]] && break
  kill -0 "$PRAVIK" 2>/dev/null || break
  sleep 0.1
done
sleep 1
kill -0 "$PRAVIK" 2>/dev/null || { cat "$WORK/pravik.out" >&2; fail "pravik ended by itself"; }
[[ -n "$(ls -A "$MIROTA_MESSAGE_DIR")" ]] || fail "pravik made no message endpoint"
kill -TERM "$PRAVIK"
wait "$PRAVIK" || { cat "$WORK/pravik.out" >&2; fail "pravik did not end cleanly"; }
echo "ci-package: pravik started from the unpacked package and ended cleanly"

# Pravik on a virtual display as a user works with it: the adapter's row opened with the keyboard
# (Return) starts the Ostrel beside it in the package, which reads the simulated device; ending
# Pravik ends that Ostrel too.
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
  rm -rf "${MIROTA_MESSAGE_DIR:?}"/*
  MIROTA_SYSFS_ROOT=$WORK/sysfs MIROTA_DEVICE_DIR=$WORK/dev MIROTA_OSTREL_TRACE=1 ROOT=$ROOT WORK=$WORK \
    tests/gui/run-on-xvfb.sh bash -c '
      set -u
      "$ROOT/usr/bin/pravik" >"$WORK/pravik-x.out" 2>&1 &
      pravik=$!
      w=""
      for _ in $(seq 100); do
        w=$(xdotool search --onlyvisible --name Pravik 2>/dev/null | head -1) && [ -n "$w" ] && break
        sleep 0.1
      done
      [ -n "$w" ] || { echo "no Pravik window"; kill $pravik; exit 1; }
      sleep 1
      xdotool windowfocus --sync "$w" key Return
      ok=1
      for _ in $(seq 150); do
        grep -q "CI 2000" "$WORK/pravik-x.out" && grep -q "4.56" "$WORK/pravik-x.out" && { ok=0; break; }
        sleep 0.1
      done
      [ $ok = 0 ] || echo "the Ostrel Pravik started did not read the device"
      ostrel=$(pgrep -f "^$ROOT/usr/lib/mirota/ostrel " || true)
      [ -n "$ostrel" ] || { echo "no Ostrel from $ROOT/usr/lib/mirota"; ok=1; }
      kill -TERM $pravik
      wait $pravik || { echo "pravik did not end cleanly"; ok=1; }
      for _ in $(seq 50); do [ -z "$ostrel" ] || kill -0 $ostrel 2>/dev/null || break; sleep 0.1; done
      if [ -n "$ostrel" ] && kill -0 $ostrel 2>/dev/null; then echo "Ostrel outlived Pravik"; kill $ostrel; ok=1; fi
      exit $ok' || { cat "$WORK/pravik-x.out" >&2; fail "pravik did not open the device with the Ostrel beside it"; }
  echo "ci-package: pravik opened the adapter with the packaged ostrel, and closed it when it ended"
else
  echo "ci-package: SKIPPED opening a device from pravik (no Xvfb or xdotool)"
fi
