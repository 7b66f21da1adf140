#!/usr/bin/env bash
# Idle cost of the whole application on a desktop of its own: an Xvfb server with openbox and a tray
# host (trayer), a temporary HOME, no camera. Prints the process's CPU share and wake-ups (context
# switches of all its threads) per second over the measuring window, after a settling time.
#
#     bench/idle-cost.sh build/release/Vigilor/App/vigilor [seconds]
set -euo pipefail
program="$(realpath "$1")"
seconds="${2:-60}"
settle=10

work="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 4 -nolisten tcp -screen 0 1280x800x24 4> "$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
openbox >/dev/null 2>&1 &
pids+=($!)
trayer --edge top --align right --widthtype request --height 24 --transparent false >/dev/null 2>&1 &
pids+=($!)
sleep 1

mkdir -p "$work/home"
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_STATE_HOME="$work/home/.local/state" \
    XDG_DATA_HOME="$work/home/.local/share" "$program" >"$work/log" 2>&1 &
app=$!
pids+=("$app")
sleep "$settle"

ticks() { awk '{print $14 + $15}' "/proc/$app/stat"; }
switches() {
    cat /proc/"$app"/task/*/status | awk '/ctxt_switches/ {sum += $2} END {print sum}'
}
cpu0=$(ticks) sw0=$(switches)
sleep "$seconds"
cpu1=$(ticks) sw1=$(switches)
hz=$(getconf CLK_TCK)
awk -v c="$((cpu1 - cpu0))" -v s="$((sw1 - sw0))" -v t="$seconds" -v hz="$hz" 'BEGIN {
    printf "cpu %.3f %% of one core, %.2f wake-ups/s over %d s\n", 100 * c / hz / t, s / t, t }'
