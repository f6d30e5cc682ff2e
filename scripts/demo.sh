#!/usr/bin/env bash
# Shows Ostrel's control screen for a simulated device: starts mirota-devsim on a pseudo-terminal and
# Ostrel on it, as Pravik would start it, with a demo description and serial number. The list on the
# left fills with the simulated device's name and firmware version.
#
#   scripts/demo.sh [build dir]        default build/default; builds what is missing
#
# Without a desktop, run it under Xvfb:  Xvfb :99 & DISPLAY=:99 scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build/default}

if [[ ! -x "$BUILD/bin/ostrel" || ! -x "$BUILD/bin/mirota-devsim" ]]; then
  scripts/setup.sh
  cmake --preset default -B "$BUILD" >/dev/null
  cmake --build "$BUILD" --target ostrel mirota-devsim mirota_cfg
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "demo.sh: no display; start Xvfb :99 & and run DISPLAY=:99 $0" >&2
  exit 1
fi

# The simulator prints its pty's path on its first line and serves the device until it is ended.
coproc DEVSIM { exec "$BUILD/bin/mirota-devsim" --name "DMS 2000" --firmware "2.31"; }
DEVSIM_PID_SAVED=$DEVSIM_PID
trap 'kill "$DEVSIM_PID_SAVED" 2>/dev/null || true' EXIT
read -r -t 10 -u "${DEVSIM[0]}" PTY || { echo "demo.sh: mirota-devsim did not start" >&2; exit 1; }
echo "Simulated device on $PTY"

# Port, description, serial number, Pravik's window handle (0: started without the launcher).
"$BUILD/bin/ostrel" "$PTY" "Mirota DMS 2000" "DEMO4711" 0
