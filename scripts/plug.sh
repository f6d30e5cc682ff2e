#!/usr/bin/env bash
# Plugs and unplugs a simulated adapter of the running launcher demo (scripts/demo.sh), so that its row
# comes and goes in Pravik:
#
#   scripts/plug.sh unplug ttyUSB1     the adapter leaves the sysfs tree and its simulator hangs up
#   scripts/plug.sh plug ttyUSB1       the adapter comes back with a fresh simulator on its pty
#   scripts/plug.sh list               the adapters of the demo and whether they are plugged in
#
# No kernel events arrive for a fake tree, so after changing it the script asks Pravik to look for
# changes (SIGUSR1), which then reports the arrival or removal as the system would.
set -euo pipefail

DEMO_DIR=${MIROTA_DEMO_DIR:-${TMPDIR:-/tmp}/mirota-demo-$(id -u)}

die() { echo "plug.sh: $*" >&2; exit 1; }
usage() { sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }

[[ $# -ge 1 ]] || usage
action=$1
[[ -d "$DEMO_DIR" && -f "$DEMO_DIR/demo.env" ]] || die "no launcher demo runs (start scripts/demo.sh first)"
# shellcheck source=/dev/null
source "$DEMO_DIR/demo.env"   # BIN, SYSFS, SYSFS_ALL, DEVDIR

# The sysfs name of the USB device whose interface carries tty $2, in tree $1 (empty when none).
device_of_tty() {
    local tree=$1 tty=$2 link real
    link="$tree/class/tty/$tty"
    [[ -e "$link" ]] || return 0
    real=$(realpath "$link")
    while [[ "$real" != "$tree" && "$real" != / ]]; do
        if [[ -f "$real/idVendor" ]]; then
            basename "$real"
            return 0
        fi
        real=$(dirname "$real")
    done
}

notify() {
    if [[ -f "$DEMO_DIR/pravik.pid" ]] && kill -0 "$(cat "$DEMO_DIR/pravik.pid")" 2>/dev/null; then
        kill -USR1 "$(cat "$DEMO_DIR/pravik.pid")"
    else
        echo "plug.sh: Pravik is not running; the tree changed all the same" >&2
    fi
}

stop_simulator() {
    local tty=$1 pidfile="$DEMO_DIR/sim-$1.pid"
    if [[ -f "$pidfile" ]]; then
        kill "$(cat "$pidfile")" 2>/dev/null || true
        rm -f "$pidfile"
    fi
    rm -f "$DEVDIR/$tty"
}

# Starts the simulator of tty with its options (one per line in sim-<tty>.args); the device directory's
# <tty> then leads to the pty whose path the simulator prints on its first line.
start_simulator() {
    local tty=$1 pty=""
    local -a args
    mapfile -t args < "$DEMO_DIR/sim-$tty.args"
    "$BIN/mirota-devsim" "${args[@]}" > "$DEMO_DIR/sim-$tty.out" 2> "$DEMO_DIR/sim-$tty.log" &
    echo $! > "$DEMO_DIR/sim-$tty.pid"
    for _ in $(seq 100); do
        pty=$(head -n 1 "$DEMO_DIR/sim-$tty.out" 2>/dev/null || true)
        if [[ -n "$pty" && -e "$pty" ]]; then
            ln -sfn "$pty" "$DEVDIR/$tty"
            return 0
        fi
        sleep 0.1
    done
    die "the simulator for $tty did not come up (see $DEMO_DIR/sim-$tty.log)"
}

case "$action" in
unplug)
    [[ $# -eq 2 ]] || usage
    tty=$2
    name=$(device_of_tty "$SYSFS" "$tty")
    [[ -n "$name" ]] || die "no adapter with $tty is plugged in"
    real=$(realpath "$SYSFS/bus/usb/devices/$name")
    rm -rf "$real"
    # The links to the device, its interfaces and its tty now point nowhere.
    find "$SYSFS/bus/usb/devices" "$SYSFS/class/tty" -maxdepth 1 -xtype l -delete
    # Pravik learns of it first and closes that device's Ostrel; then the line goes dead. (With real
    # hardware the order is up to the system; an Ostrel that sees its line die first reports that.)
    notify
    sleep 0.5
    stop_simulator "$tty"
    echo "unplugged $name ($tty)"
    ;;
plug)
    [[ $# -eq 2 ]] || usage
    tty=$2
    [[ -z "$(device_of_tty "$SYSFS" "$tty")" ]] || die "$tty is already plugged in"
    name=$(device_of_tty "$SYSFS_ALL" "$tty")
    [[ -n "$name" ]] || die "the demo has no adapter with $tty"
    real_all=$(realpath "$SYSFS_ALL/bus/usb/devices/$name")
    relative=${real_all#"$SYSFS_ALL"/}
    start_simulator "$tty"
    mkdir -p "$(dirname "$SYSFS/$relative")"
    cp -a "$real_all" "$SYSFS/$relative"
    for link in "$SYSFS_ALL/bus/usb/devices/$name" "$SYSFS_ALL/bus/usb/devices/$name":* "$SYSFS_ALL/class/tty/$tty"; do
        [[ -L "$link" ]] && cp -P "$link" "$SYSFS/${link#"$SYSFS_ALL"/}"
    done
    notify
    echo "plugged $name ($tty)"
    ;;
start-simulator)
    # Used by scripts/demo.sh.
    [[ $# -eq 2 ]] || usage
    start_simulator "$2"
    ;;
list)
    for link in "$SYSFS_ALL"/class/tty/*; do
        tty=$(basename "$link")
        name=$(device_of_tty "$SYSFS_ALL" "$tty")
        state=unplugged
        [[ -n "$(device_of_tty "$SYSFS" "$tty")" ]] && state=plugged
        printf '%-8s %-10s %-10s %s\n' "$tty" "$name" "$(cat "$SYSFS_ALL/bus/usb/devices/$name/serial")" "$state"
    done
    ;;
*)
    usage
    ;;
esac
