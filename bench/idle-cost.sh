#!/usr/bin/env bash
# Idle cost of whole processes: vigilor builds beside Workrave (and Safe Eyes when installed), all idle
# under one Xvfb with a window manager (openbox), a tray host (trayer) and a session bus of their own,
# each with its own temporary HOME. Each vigilor build
# also runs headless (no DISPLAY) in the same round. Per process and round it prints the CPU share of
# one core, the wake-ups per second (voluntary + involuntary context switches of all its threads) and
# the resident memory, then the mean over the rounds.
#
#   bench/idle-cost.sh [-r ROUNDS] [-s SECONDS] NAME=PATH/TO/vigilor [NAME=PATH ...]
#   e.g. bench/idle-cost.sh before=/tmp/vigilor-main after=build/release/Vigilor/App/vigilor
#
# Needs Xvfb, openbox, trayer, dbus-daemon and workrave (safeeyes optional).
set -euo pipefail

rounds=3
seconds=90
settle=15
while getopts "r:s:" option; do
    case "$option" in
    r) rounds="$OPTARG" ;;
    s) seconds="$OPTARG" ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
(($# > 0)) || { echo "usage: $0 [-r ROUNDS] [-s SECONDS] NAME=vigilor-binary ..." >&2; exit 2; }

ticks=$(getconf CLK_TCK)
work=$(mktemp -d)
results="$work/results"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# CPU ticks (user + system) of the whole process.
cpuTicks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Context switches of every thread of the process.
switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^(voluntary|nonvoluntary)_ctxt_switches/ {sum += $2} END {print sum + 0}'
}
residentKiB() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }

# Starts a program with a HOME of its own; "display" or "headless".
launch() {
    local name=$1 mode=$2
    shift 2
    local home="$work/home-$name-$mode"
    mkdir -p "$home"
    if [ "$mode" = headless ]; then
        env -u DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_STATE_HOME="$home/.local/state" \
            XDG_DATA_HOME="$home/.local/share" "$@" >"$home/out.log" 2>&1 &
    else
        HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_STATE_HOME="$home/.local/state" \
            XDG_DATA_HOME="$home/.local/share" "$@" >"$home/out.log" 2>&1 &
    fi
    pids+=($!)
    labels+=("$name ($mode)")
}

for ((round = 1; round <= rounds; round++)); do
    display=":$((90 + round))"
    Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
    export DISPLAY="$display"
    eval "$(dbus-daemon --session --fork --print-address=1 --print-pid=1 |
        { read -r address; read -r pid; echo "export DBUS_SESSION_BUS_ADDRESS=$address; buspid=$pid"; })"
    pids+=("$buspid")
    openbox >/dev/null 2>&1 &
    pids+=($!)
    trayer --edge top --align right --widthtype request --height 24 --transparent false >/dev/null 2>&1 &
    pids+=($!)

    labels=()
    first=${#pids[@]}
    launch workrave display workrave
    command -v safeeyes >/dev/null && launch safeeyes display safeeyes
    for build in "$@"; do
        launch "${build%%=*}" display "${build#*=}"
        launch "${build%%=*}" headless "${build#*=}"
    done
    sleep "$settle"

    measured=("${pids[@]:first}")
    declare -A cpu0 sw0
    for pid in "${measured[@]}"; do cpu0[$pid]=$(cpuTicks "$pid"); sw0[$pid]=$(switches "$pid"); done
    sleep "$seconds"
    for i in "${!measured[@]}"; do
        pid=${measured[$i]}
        if [ ! -d "/proc/$pid" ]; then
            echo "round $round: ${labels[$i]} exited early" >&2
            continue
        fi
        cpu=$(($(cpuTicks "$pid") - cpu0[$pid]))
        sw=$(($(switches "$pid") - sw0[$pid]))
        printf '%s\t%s\t%s\t%s\t%s\n' "$round" "${labels[$i]}" \
            "$(awk -v t="$cpu" -v hz="$ticks" -v s="$seconds" 'BEGIN {printf "%.3f", 100 * t / hz / s}')" \
            "$(awk -v n="$sw" -v s="$seconds" 'BEGIN {printf "%.2f", n / s}')" \
            "$(awk -v k="$(residentKiB "$pid")" 'BEGIN {printf "%.1f", k / 1024}')" | tee -a "$results"
    done
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    pids=()
    unset cpu0 sw0
done

echo
printf '%-22s %10s %12s %10s\n' "process" "CPU %" "wake-ups/s" "RSS MiB"
awk -F'\t' '{n[$2]++; c[$2] += $3; w[$2] += $4; r[$2] += $5}
    END {for (p in n) printf "%-22s %10.3f %12.2f %10.1f\n", p, c[p] / n[p], w[p] / n[p], r[p] / n[p]}' \
    "$results" | sort
