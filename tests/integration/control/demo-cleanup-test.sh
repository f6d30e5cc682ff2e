#!/usr/bin/env bash
# scripts/demo.sh --ostrel-only as on a bare machine (no display, no session bus, no runtime folder)
# in a private TMPDIR: once Ostrel runs, either Ostrel is ended (SIGTERM, as when its window is closed
# from outside) or the demo itself (SIGTERM, as by kill or a closing terminal); then no process the
# demo started may remain (Ostrel, Xvfb, the session bus and what it activated, the simulator) and
# TMPDIR must be as empty as it was.
#   demo-cleanup-test.sh <source dir> <build dir>
set -uo pipefail
src=$1
build=$2
for program in ostrel mirota-devsim; do
  [[ -x "$build/bin/$program" ]] || { echo "FAIL: $build/bin/$program is not built"; exit 1; }
done
[[ -d "$build/bin/_cfg" ]] || { echo "FAIL: $build/bin/_cfg is missing"; exit 1; }
command -v Xvfb >/dev/null || { echo "Xvfb not installed: skipped"; exit 77; }

# Every process that carries the private TMPDIR in its environment, that is, everything the demo started
# and everything those started in turn.
demo_processes() {
  local environ pid
  for environ in $(grep -lzxF "$marker" /proc/[0-9]*/environ 2>/dev/null); do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    [[ $pid == "$$" || $pid == "$BASHPID" ]] && continue
    [[ -e /proc/$pid ]] && echo "$pid $(cat "/proc/$pid/comm" 2>/dev/null)"
  done
}
fail() {
  echo "FAIL: $*"
  # Leave nothing behind, whatever failed.
  demo_processes | while read -r pid _; do kill -KILL "$pid" 2>/dev/null; done
  rm -rf "$tmp"
  exit 1
}

run_case() {
  local how=$1 platform=$2 demo ostrel left leftovers start=$SECONDS
  echo "== ending $how, platform ${platform:-of its own}"
  tmp=$(mktemp -d "${TMPDIR:-/tmp}/mirota-demo-test-XXXXXX")
  tmp=$(cd "$tmp" && pwd)
  marker="TMPDIR=$tmp"
  local env=(env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS -u XDG_RUNTIME_DIR
             -u QT_QPA_PLATFORM -u MIROTA_DEMO_DIR TMPDIR="$tmp")
  [[ -n "$platform" ]] && env+=(QT_QPA_PLATFORM="$platform")
  "${env[@]}" "$src/scripts/demo.sh" --ostrel-only "$build" >"$tmp.log" 2>&1 &
  demo=$!

  ostrel=""
  for _ in $(seq 100); do
    ostrel=$(demo_processes | awk '$2 == "ostrel" {print $1}' | head -n1)
    [[ -n "$ostrel" ]] && break
    kill -0 "$demo" 2>/dev/null || break
    sleep 0.1
  done
  [[ -n "$ostrel" ]] || { cat "$tmp.log"; rm -f "$tmp.log"; fail "Ostrel did not start"; }
  # Let it come up fully: its window, the accessibility bus it asks for, the device traffic.
  sleep 1
  echo "Running:"
  demo_processes

  if [[ $how == ostrel ]]; then kill -TERM "$ostrel"; else kill -TERM "$demo"; fi
  for _ in $(seq 100); do
    kill -0 "$demo" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$demo" 2>/dev/null && fail "the demo did not end"
  wait "$demo"
  echo "demo.sh exited with $?"
  cat "$tmp.log"
  rm -f "$tmp.log"

  # What ends with a signal may take a moment to go.
  left=""
  for _ in $(seq 20); do
    left=$(demo_processes)
    [[ -z "$left" ]] && break
    sleep 0.1
  done
  [[ -z "$left" ]] || fail "processes left by the demo:"$'\n'"$left"
  leftovers=$(find "$tmp" -mindepth 1)
  [[ -z "$leftovers" ]] || fail "files left by the demo in TMPDIR:"$'\n'"$leftovers"
  rmdir "$tmp"
  echo "took $((SECONDS - start)) s"
}

# Ostrel ends: the demo's own Xvfb, session bus and simulator go with it.
run_case ostrel ""
# The demo is ended: Ostrel goes with it too, also where no display of the demo's own ends it (a
# platform given by the caller).
run_case demo offscreen
echo "PASS: the demo left no process and no file"
