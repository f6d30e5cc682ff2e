#!/usr/bin/env bash
# The README's screenshots: Pravik's list, Ostrel's control screen and its screens with their tools
# (plot tools and a recording, settings compared with a file and the list export, the terminal's
# selection, menu and log), taken on a virtual display against the simulated devices of
# scripts/demo.sh, written to docs/ as small PNGs. The files the tools write (a configuration, the
# file compared with, the exported list, the log, the recording) go to a work folder and are checked.
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
keep() { # keep() FILE: the shot taken as a PNG of at most 256 colours, without time stamps (a picture
  # that did not change stays the same file)
  convert "$WORK/shot.png" -colors 256 -define png:exclude-chunks=date,time "PNG8:$OUT/$1"
}
shot() { # shot() WINDOW FILE [DELAY]: the window
  sleep "${3:-1}"
  import -window "$1" "$WORK/shot.png"
  keep "$2"
}
shot_area() { # shot_area() WINDOW FILE [DELAY]: as shot, with the dialogs, menus and tooltips over it
  sleep "${3:-1}"
  local area
  area=$(xdotool getwindowgeometry --shell "$1" |
    awk -F= '{ v[$1] = $2 } END { print v["WIDTH"] "x" v["HEIGHT"] "+" v["X"] "+" v["Y"] }')
  import -window root -crop "$area" +repage "$WORK/shot.png"
  keep "$2"
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
file_dialog() { # file_dialog() TITLE: the id of Qt's file dialog TITLE, focused: its file name field
  # takes the keys
  local id
  id=$(window "^$1\$")
  xdotool windowfocus --sync "$id"
  sleep 0.5
  echo "$id"
}
choose_file() { # choose_file() TITLE PATH: PATH typed into the file dialog TITLE, then Return
  file_dialog "$1" >/dev/null
  xdotool key ctrl+a
  xdotool type --delay 20 "$2"
  sleep 0.3
  xdotool key Return
}
written() { # written() PATTERN: waits for a file that PATTERN matches to be there and not empty
  local file
  for _ in $(seq 100); do
    file=$(compgen -G "$1" | sed -n 1p) && [[ -s "$file" ]] && return
    sleep 0.2
  done
  echo "screenshots.sh: $1 was not written" >&2
  return 1
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
# A recording: "Record..." on the plot's toolbar, a CSV file of the work folder, a few seconds of points;
# the toolbar shows the file's name, the duration and the size. The second click ends it.
click "$SCREEN" 626 146
choose_file "Record Points" "$WORK/recording.csv"
shot "$SCREEN" values-recording.png 6
click "$SCREEN" 626 146
written "$WORK/recording.csv"
back

open_screen 348 189 Settings
shot "$SCREEN" settings.png 15 # the first read pass takes a while
# The device's configuration saved ("Save" on the toolbar), then a file that differs from it in two
# settings (Output scaling 10 -> 12, Unit name "Bench 1" -> "Bench 2") compared with the device; the
# mouse on a marked row shows what the file holds.
click "$SCREEN" 14 78
choose_file "Save As" "$WORK/device.xml"
written "$WORK/device.xml"
sed -e 's|<V5>10</V5>|<V5>12</V5>|' -e 's|<V9>Bench 1</V9>|<V9>Bench 2</V9>|' "$WORK/device.xml" >"$WORK/bench.xml"
cmp -s "$WORK/device.xml" "$WORK/bench.xml" && { echo "screenshots.sh: the saved configuration changed its layout" >&2; exit 1; }
click "$SCREEN" 60 513
choose_file "Open" "$WORK/bench.xml"
sleep 1
xdotool windowfocus --sync "$SCREEN" # tooltips show in the active window
xdotool mousemove --window "$SCREEN" 190 240
sleep 0.3
xdotool mousemove --window "$SCREEN" 195 227
shot_area "$SCREEN" settings-compare.png 2
# The list export: its dialog in the work folder's reports/ with the proposed name, then written there.
mkdir -p "$WORK/reports"
click "$SCREEN" 160 513
file_dialog "Export list" >/dev/null
xdotool key ctrl+a ctrl+c # the proposed name, back after the folder is changed
xdotool type --delay 20 "$WORK/reports"
sleep 0.5
xdotool key Return # takes the completion when it is offered, else changes the folder
sleep 0.5
xdotool key Return
sleep 1
xdotool key ctrl+a ctrl+v
shot_area "$SCREEN" settings-export.png 1
xdotool key Return
written "$WORK/reports/*_settings.csv"
back
open_screen 348 319 Power
shot "$SCREEN" power.png 3
back
open_screen 348 124 Terminal
shot "$SCREEN" terminal.png 3
# The session tools: a command typed (p1, detect the supply voltage), "Include typed text" ticked, the
# answer selected with the mouse, the view's context menu; then the log saved and checked.
xdotool mousemove --window "$SCREEN" 300 300
xdotool windowfocus --sync "$SCREEN"
xdotool type --delay 150 p1
xdotool key Return
sleep 3
click "$SCREEN" 418 77
xdotool mousemove --window "$SCREEN" 2 363 mousedown 1
sleep 0.2
xdotool mousemove --window "$SCREEN" 100 363
sleep 0.2
xdotool mousemove --window "$SCREEN" 192 364
sleep 0.2
xdotool mouseup 1
sleep 0.5
xdotool mousemove --window "$SCREEN" 280 270
sleep 0.3
xdotool click 3
shot_area "$SCREEN" terminal-session.png 1
xdotool key Escape
sleep 0.5
click "$SCREEN" 596 77
choose_file "Save log" "$WORK/session.log"
written "$WORK/session.log"
grep -q " TX p1" "$WORK/session.log" || { echo "screenshots.sh: the log lacks the typed command" >&2; exit 1; }
back

close_window "$CONTROL"
sleep 1
close_window "$PRAVIK"
wait "$DEMO_PID" || true
ls -l "$OUT"/*.png
