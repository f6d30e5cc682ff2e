#!/usr/bin/env bash
# The launcher demo: Pravik with two simulated adapters.
#
#   scripts/demo.sh [build dir]                 default build/default; builds what is missing
#   scripts/demo.sh --ostrel-only [build dir]   only Ostrel's control screen on one simulated device
#
# Two mirota-devsim instances serve a Mirota device ("Mirota DMS") and a device whose description
# lacks "Mirota" ("USB Serial Converter"); a fake sysfs tree describes them as FTDI adapters on ttyUSB0
# and ttyUSB1; a device directory leads those names to the simulators' pseudo-terminals; Pravik runs on
# all of it. Double-click a row to open an Ostrel for it. While the demo runs, in another terminal:
#
#   scripts/plug.sh unplug ttyUSB1     the row goes (and that device's Ostrel closes)
#   scripts/plug.sh plug ttyUSB1       the row comes back
#
# Without a desktop it starts a virtual X display (Xvfb) of its own and says which.
set -euo pipefail
cd "$(dirname "$0")/.."

OSTREL_ONLY=0
if [[ "${1:-}" == "--ostrel-only" ]]; then
  OSTREL_ONLY=1
  shift
fi
BUILD=${1:-build/default}

needed=(ostrel mirota-devsim)
((OSTREL_ONLY)) || needed+=(pravik mirota-fake-sysfs)
for program in "${needed[@]}"; do
  if [[ ! -x "$BUILD/bin/$program" ]]; then
    scripts/setup.sh
    cmake --preset default -B "$BUILD" >/dev/null
    cmake --build "$BUILD" --target "${needed[@]}" mirota_cfg
    break
  fi
done
BIN=$(cd "$BUILD/bin" && pwd)
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  # No desktop (a server or a container): the demo runs on a virtual X display of its own.
  # Xvfb takes a free display number itself and tells it through a pipe: no race with another one
  # starting at the same time.
  XVFB_DIR=$(mktemp -d "${TMPDIR:-/tmp}/mirota-xvfb-XXXXXX")
  mkfifo "$XVFB_DIR/display"
  Xvfb -displayfd 3 -screen 0 1400x900x24 -nolisten tcp 3>"$XVFB_DIR/display" >/dev/null 2>&1 &
  XVFB_PID=$!
  trap 'kill "$XVFB_PID" 2>/dev/null || true; rm -rf "$XVFB_DIR"' EXIT   # until the cleanup list below takes over
  read -r -t 10 n <"$XVFB_DIR/display" || n=""
  rm -rf "$XVFB_DIR"
  [[ -n "$n" ]] || { echo "demo.sh: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$n"
  echo "No display found: the demo runs on the virtual display $DISPLAY."
  echo "Look at it with:  DISPLAY=$DISPLAY import -window root shot.png   (click with DISPLAY=$DISPLAY xdotool)"
fi
# Everything the demo starts is ended, and every folder it makes removed, when it ends.
CLEANUP=()
at_exit() {
  local i
  for ((i = ${#CLEANUP[@]} - 1; i >= 0; i--)); do eval "${CLEANUP[i]}" || true; done
}
trap at_exit EXIT
# Ended by a signal (the terminal closed, Ctrl+C, kill), the demo cleans up as well.
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
[[ -n "${XVFB_PID:-}" ]] && CLEANUP+=('kill "$XVFB_PID" 2>/dev/null')
if [[ -z "${XDG_RUNTIME_DIR:-}" ]]; then
  XDG_RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/mirota-runtime-XXXXXX")
  export XDG_RUNTIME_DIR
  CLEANUP+=('rm -rf "$XDG_RUNTIME_DIR"')
fi
# Without a session bus, Qt's accessibility would autolaunch one that outlives the demo: start a
# private one instead and end it (with what it activated) at the end.
if [[ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]] && command -v dbus-daemon >/dev/null; then
  DBUS_INFO=$(dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1) || DBUS_INFO=""
  if [[ -n "$DBUS_INFO" ]]; then
    DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$DBUS_INFO")
    DBUS_PID=$(sed -n 2p <<<"$DBUS_INFO")
    export DBUS_SESSION_BUS_ADDRESS
    CLEANUP+=('pkill -P "$DBUS_PID" 2>/dev/null; kill "$DBUS_PID" 2>/dev/null')
  fi
fi

if ((OSTREL_ONLY)); then
  # The simulator prints its pty's path on its first line and serves the device until it is ended.
  coproc DEVSIM { exec "$BIN/mirota-devsim" --name "DMS 2000" --firmware "2.31" --type " DMS" --cfg "$BIN/_cfg"; }
  DEVSIM_PID_SAVED=$DEVSIM_PID
  CLEANUP+=('kill "$DEVSIM_PID_SAVED" 2>/dev/null')
  read -r -t 10 -u "${DEVSIM[0]}" PTY || { echo "demo.sh: mirota-devsim did not start" >&2; exit 1; }
  echo "Simulated device on $PTY"
  # Port, description, serial number, Pravik's window handle (0: started without the launcher).
  "$BIN/ostrel" "$PTY" "Mirota DMS" "DEMO4711" 0 &
  OSTREL_PID=$!
  CLEANUP+=('kill "$OSTREL_PID" 2>/dev/null')
  wait "$OSTREL_PID" || true
  exit 0
fi

# The demo's own directory, private to this user; scripts/plug.sh finds the demo there.
DEMO_DIR=${MIROTA_DEMO_DIR:-${TMPDIR:-/tmp}/mirota-demo-$(id -u)}
if [[ -e "$DEMO_DIR" ]]; then
  [[ -d "$DEMO_DIR" && ! -L "$DEMO_DIR" && -O "$DEMO_DIR" ]] || { echo "demo.sh: $DEMO_DIR is not ours" >&2; exit 1; }
  if [[ -f "$DEMO_DIR/pravik.pid" ]] && kill -0 "$(cat "$DEMO_DIR/pravik.pid")" 2>/dev/null; then
    echo "demo.sh: a launcher demo is running already (pid $(cat "$DEMO_DIR/pravik.pid"))" >&2
    exit 1
  fi
  rm -rf "$DEMO_DIR"
fi
mkdir -m 700 -p "$DEMO_DIR"
DEMO_DIR=$(cd "$DEMO_DIR" && pwd)
DEVDIR=$DEMO_DIR/dev
mkdir -p "$DEVDIR" "$DEMO_DIR/messages"
chmod 700 "$DEMO_DIR/messages"

# The adapters: serial number, description, tty; and the simulator's options for each.
"$BIN/mirota-fake-sysfs" "$DEMO_DIR/sysfs.all" \
  --adapter FT4M7Q01 "Mirota DMS" ttyUSB0 \
  --adapter FTX9T2LB "USB Serial Converter" ttyUSB1
cp -a "$DEMO_DIR/sysfs.all" "$DEMO_DIR/sysfs"
printf '%s\n' --name "DMS 2000" --firmware 2.31 --type " DMS" --cfg "$BIN/_cfg" > "$DEMO_DIR/sim-ttyUSB0.args"
printf '%s\n' --name "Converter" --firmware 1.05 > "$DEMO_DIR/sim-ttyUSB1.args"
cat > "$DEMO_DIR/demo.env" <<ENV
BIN='$BIN'
SYSFS='$DEMO_DIR/sysfs'
SYSFS_ALL='$DEMO_DIR/sysfs.all'
DEVDIR='$DEVDIR'
ENV

stop_simulators() {
  for pidfile in "$DEMO_DIR"/sim-*.pid; do
    [[ -f "$pidfile" ]] && kill "$(cat "$pidfile")" 2>/dev/null || true
  done
  rm -f "$DEMO_DIR/pravik.pid"
}
CLEANUP+=('rm -rf "$DEMO_DIR"' stop_simulators)

MIROTA_DEMO_DIR=$DEMO_DIR scripts/plug.sh start-simulator ttyUSB0
MIROTA_DEMO_DIR=$DEMO_DIR scripts/plug.sh start-simulator ttyUSB1

export MIROTA_SYSFS_ROOT=$DEMO_DIR/sysfs
export MIROTA_DEVICE_DIR=$DEVDIR
export MIROTA_MESSAGE_DIR=$DEMO_DIR/messages
"$BIN/pravik" &
PRAVIK_PID=$!
CLEANUP+=('kill "$PRAVIK_PID" 2>/dev/null')
echo "$PRAVIK_PID" > "$DEMO_DIR/pravik.pid"
cat <<TEXT
Pravik runs with two simulated adapters (ttyUSB0: Mirota DMS, ttyUSB1: USB Serial Converter).
Double-click a row to open its Ostrel. To unplug and re-plug an adapter, in another terminal:
    scripts/plug.sh unplug ttyUSB1
    scripts/plug.sh plug ttyUSB1
Close Pravik to end the demo.
TEXT
wait "$PRAVIK_PID" || true
