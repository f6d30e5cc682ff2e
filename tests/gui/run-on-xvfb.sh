#!/usr/bin/env bash
# Runs a GUI test on a real X server of its own: a virtual display (Xvfb) on a free display number,
# ended with the test. For faults the offscreen platform cannot show (what the X server displays).
#   tests/gui/run-on-xvfb.sh <test program> [arguments]
# Exits 77 (skipped) when Xvfb is missing.
set -uo pipefail
command -v Xvfb >/dev/null || { echo "Xvfb not installed: skipped"; exit 77; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/mirota-xvfb-XXXXXX") || exit 1
mkfifo "$dir/displayfd"
Xvfb -displayfd 3 -screen 0 1400x900x24 -nolisten tcp 3>"$dir/displayfd" >"$dir/xvfb.log" 2>&1 &
xvfb=$!
display=""
read -r -t 10 display <"$dir/displayfd"
cleanup() {
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
if [[ -z "$display" ]]; then
  echo "Xvfb did not start:" >&2
  cat "$dir/xvfb.log" >&2
  exit 1
fi
# The test's own session: a bus address that leads nowhere, so that nothing autolaunches a session
# bus that would outlive the test.
env -u WAYLAND_DISPLAY DISPLAY=":$display" QT_QPA_PLATFORM=xcb \
  DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/no-bus" "$@"
