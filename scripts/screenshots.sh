#!/usr/bin/env bash
# The README's screenshots: Pravik's list, Ostrel's control screen and its screens, taken on a virtual
# display against the simulated devices of scripts/demo.sh, written to docs/ as small PNGs.
#
#   scripts/screenshots.sh [build dir] [display number]    default build/default and :97
#
# Needs the programs built (cmake --build --preset default), Xvfb, xdotool and ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build/default}
N=${2:-97}
for program in ostrel pravik mirota-devsim mirota-fake-sysfs; do
  [[ -x "$BUILD/bin/$program" ]] || { echo "screenshots.sh: build $program first" >&2; exit 1; }
done
OUT=docs
mkdir -p "$OUT"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/mirota-shots-XXXXXX")

PIDS=()
cleanup() {
  local i
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do kill "${PIDS[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
trap "exit 1" INT TERM

Xvfb ":$N" -screen 0 1400x900x24 -nolisten tcp >/dev/null 2>&1 &
PIDS+=($!)
for _ in $(seq 200); do [[ -e /tmp/.X11-unix/X$N ]] && break; sleep 0.1; done
[[ -e /tmp/.X11-unix/X$N ]] || { echo "screenshots.sh: Xvfb :$N did not start" >&2; exit 1; }
export DISPLAY=":$N"
# Settings of a fresh user, so every run starts on the control screen.
export XDG_CONFIG_HOME=$WORK/config HOME=$WORK/home
mkdir -p "$XDG_CONFIG_HOME" "$HOME"

# The launcher demo (simulators, fake adapters, Pravik); it ends everything it started once Pravik
# is closed.
MIROTA_DEMO_DIR=$WORK/demo scripts/demo.sh "$BUILD" >"$WORK/demo.log" 2>&1 &
DEMO_PID=$!

window() { # window() NAME: the id of the visible window whose title holds NAME, waiting for it
  local id
  for _ in $(seq 300); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | sed -n 1p) && [[ -n "$id" ]] && { echo "$id"; return; }
    sleep 0.1
  done
  echo "screenshots.sh: no window \"$1\"" >&2
  tail -5 "$WORK/demo.log" >&2
  return 1
}
shot() { # shot() WINDOW FILE: the window as a PNG of at most 256 colours
  sleep "${3:-1}"
  import -window "$1" "$WORK/shot.png"
  convert "$WORK/shot.png" -colors 256 "PNG8:$OUT/$2"
}
close_window() { # close_window() WINDOW: as the window's close button does (WM_DELETE_WINDOW); no
  # window manager runs on the virtual display
  python3 - "$1" <<'PY'
import ctypes, sys
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
class Event(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(Event)]
x.XFlush.argtypes = [ctypes.c_void_p]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
d = x.XOpenDisplay(None)
w = int(sys.argv[1])
ev = Event(type=33, window=w, format=32, display=d)  # ClientMessage
ev.message_type = x.XInternAtom(d, b"WM_PROTOCOLS", 0)
ev.l[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
x.XSendEvent(d, w, 0, 0, ctypes.byref(ev))
x.XFlush(d)
x.XCloseDisplay(d)
PY
}
click() { # click() WINDOW X Y [modifier]: a click at a point of the window
  xdotool mousemove --window "$1" "$2" "$3"
  sleep 0.3
  if [[ -n "${4:-}" ]]; then xdotool keydown "$4" click 1 keyup "$4"; else xdotool click 1; fi
}

# Pravik's list with both adapters.
PRAVIK=$(window Pravik)
shot "$PRAVIK" pravik-list.png 3

# Ostrel for the first adapter (a double-click on its row); Pravik moves out of the way.
xdotool mousemove --window "$PRAVIK" 45 150
sleep 0.5
xdotool click --repeat 2 --delay 80 1

CONTROL=$(window Control-Screen)
xdotool windowmove "$PRAVIK" 2000 0
xdotool windowmove "$CONTROL" 0 0
shot "$CONTROL" control-screen.png 2

# open_screen() X Y TITLE: clicks the control screen's button at (X, Y) and waits for the screen.
open_screen() {
  xdotool mousemove --window "$CONTROL" "$1" "$2"
  sleep 0.3
  xdotool click 1
  SCREEN=$(window "$3")
  xdotool windowmove "$SCREEN" 0 0
}
back() { close_window "$SCREEN"; CONTROL=$(window Control-Screen); xdotool windowmove "$CONTROL" 0 0; }

# VALUES with Torque 1 and Speed 1 on the plot, streaming.
open_screen 348 254 Values
click "$SCREEN" 9 105
click "$SCREEN" 9 155
sleep 6
shot "$SCREEN" values-plot.png 1
# The plot tools: markers A and B and the readout under the mouse.
click "$SCREEN" 560 330
click "$SCREEN" 690 330 shift
xdotool mousemove --window "$SCREEN" 640 300
xdotool key --window "$SCREEN" p
shot "$SCREEN" values-plot-tools.png 1
xdotool key --window "$SCREEN" p
back

open_screen 348 189 Settings
shot "$SCREEN" settings.png 15 # the first read pass takes a while
back
open_screen 348 319 Power
shot "$SCREEN" power.png 3
back
open_screen 348 124 Terminal
shot "$SCREEN" terminal.png 3
back

close_window "$CONTROL"
sleep 1
close_window "$PRAVIK"
wait "$DEMO_PID" || true
ls -l "$OUT"/*.png
