#!/usr/bin/env bash
# Runs a program in a desktop session's accessibility setting of its own, as a screen reader meets it:
# a private D-Bus session bus, the accessibility bus launcher on it (org.a11y.Bus), the accessibility
# bus it starts and the AT-SPI registry on that bus. Everything started here ends with the program; the
# buses' sockets live in a temporary directory that goes with them. Meant to run inside
# run-on-xvfb.sh (the launcher also records the bus on the X display).
#   tests/gui/run-with-a11y-bus.sh <program> [arguments]
# Exits 77 (skipped) when D-Bus or the AT-SPI services are missing.
set -uo pipefail
launcher=/usr/libexec/at-spi-bus-launcher
registryd=/usr/libexec/at-spi2-registryd
for tool in dbus-daemon gdbus; do
  command -v "$tool" >/dev/null || { echo "$tool not installed: skipped"; exit 77; }
done
[[ -x "$launcher" && -x "$registryd" ]] || { echo "at-spi2-core not installed: skipped"; exit 77; }

dir=$(mktemp -d "${TMPDIR:-/tmp}/mirota-a11y-XXXXXX") || exit 1
chmod 700 "$dir"
pids=() # started here, ended in reverse order
cleanup() {
  local i pid tries
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    pid=${pids[i]}
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    # Not a child of this script (the accessibility bus): gone once its parent has collected it.
    tries=20
    while ((tries-- > 0)) && [[ -e /proc/$pid ]]; do sleep 0.1; done
  done
  rm -rf "$dir"
}
trap cleanup EXIT

# Calls a bus method until it answers (the services need a moment); prints the answer.
ask() {
  local tries=100 answer
  while ((tries-- > 0)); do
    if answer=$(gdbus call --timeout 2 "$@" 2>/dev/null); then
      echo "$answer"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# The session bus.
mkfifo "$dir/address"
dbus-daemon --session --nofork --address="unix:path=$dir/session" --print-address=3 3>"$dir/address" \
  >"$dir/session.log" 2>&1 &
pids+=($!)
session=""
read -r -t 10 session <"$dir/address"
if [[ -z "$session" ]]; then
  echo "the session bus did not start:" >&2
  cat "$dir/session.log" >&2
  exit 1
fi
export DBUS_SESSION_BUS_ADDRESS="$session"
# The session's runtime directory (the program's too), where the accessibility bus's socket goes.
export XDG_RUNTIME_DIR="$dir"

# The accessibility bus: the launcher owns org.a11y.Bus and starts the bus, accessibility switched on.
"$launcher" --launch-immediately --a11y=1 >"$dir/launcher.log" 2>&1 &
pids+=($!)
if ! reply=$(ask --session -d org.a11y.Bus -o /org/a11y/bus -m org.a11y.Bus.GetAddress); then
  echo "the accessibility bus did not start:" >&2
  cat "$dir/launcher.log" >&2
  exit 1
fi
a11y=$(sed -E "s/^\('(.*)',\)$/\1/" <<<"$reply")
bus() { ask -a "$a11y" -d org.freedesktop.DBus -o /org/freedesktop/DBus -m "org.freedesktop.DBus.$1" "${@:2}"; }
# The accessibility bus's daemon is the launcher's child: ended before the launcher.
bus_pid=$(bus GetConnectionUnixProcessID org.freedesktop.DBus | grep -oE '[0-9]+' | tail -1)
[[ -n "$bus_pid" ]] && pids+=("$bus_pid")

# The registry, started here rather than by bus activation, so that it ends with the rest. Its name is
# awaited without calling it: a call would have the bus activate a second one meanwhile.
"$registryd" >"$dir/registryd.log" 2>&1 &
pids+=($!)
tries=100
until [[ $(bus NameHasOwner org.a11y.atspi.Registry) == "(true,)" ]]; do
  if ((tries-- <= 0)); then
    echo "the AT-SPI registry did not start:" >&2
    cat "$dir/registryd.log" >&2
    exit 1
  fi
  sleep 0.1
done

"$@"
