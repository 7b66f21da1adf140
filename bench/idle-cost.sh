#!/usr/bin/env bash
# Idle cost of whole processes: vigilor builds beside Workrave (and Safe Eyes when installed), all idle
# under one Xvfb with a window manager (openbox), a tray host (trayer) and a session bus of their own,
# each with its own temporary HOME. Each vigilor build runs, in the same round:
#   display   a first start (nothing stored), so the onboarding window is open
#   tray      a settled user (onboarding done, camera off) with the tray item alone, and beside it the
#             desktop widget (zorvi-widget, small and medium) reading that user's store, when the build
#             has one (ZorviMacWidget/zorvi-widget two folders above Vigilor/App/vigilor)
#   headless  no DISPLAY
#   camera    with -c FOLDER only: a settled user with camera presence on, the folder's pictures played
#             as the camera (ZORVI_CAMERA_DEVICE)
# Per process and round it prints the CPU share of one core, the wake-ups per second (context switches
# of all its threads, those started and ended during the round included when perf can count them), the
# resident memory and the number of threads at the end, then the mean over the rounds.
#
#   bench/idle-cost.sh [-r ROUNDS] [-s SECONDS] [-d DISPLAY] [-c PICTURES] NAME=PATH/TO/vigilor ...
#   e.g. bench/idle-cost.sh -c build/test-images before=/tmp/vigilor-main/Vigilor/App/vigilor \
#            after=build/release/Vigilor/App/vigilor
#
# Rounds use the X displays DISPLAY, DISPLAY+1 ... (91 unless -d says otherwise).
# Needs Xvfb, openbox, trayer, dbus-daemon and workrave (safeeyes and perf optional).
set -euo pipefail

rounds=3
seconds=90
settle=15
firstDisplay=91
pictures=
while getopts "r:s:d:c:" option; do
    case "$option" in
    r) rounds="$OPTARG" ;;
    s) seconds="$OPTARG" ;;
    d) firstDisplay="$OPTARG" ;;
    c) pictures=$(realpath "$OPTARG") ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
(($# > 0)) || { echo "usage: $0 [-r ROUNDS] [-s SECONDS] [-d DISPLAY] [-c PICTURES] NAME=vigilor-binary ..." >&2; exit 2; }

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
threadCount() { ls "/proc/$1/task" | wc -l; }
# perf follows threads that start and end within the round, which the sum of the live threads' counts
# above would miss (Qt's pooled threads end 30 s after their last work).
perfCounts() { perf stat -x, -e context-switches -- true >/dev/null 2>&1; }

# A settled user's stored settings: onboarding done, camera presence as given.
settledHome() {
    mkdir -p "$1/.config/zorvi"
    printf '{"app.zorvi.settings.v1":{"launchAtLogin":false,"cameraPresenceEnabled":%s},"zorvi.onboardingShown.v1":true}' \
        "$2" >"$1/.config/zorvi/defaults.json"
}

# Starts a program with a HOME of its own, as one of the modes above (workrave and safeeyes: display).
launch() {
    local name=$1 mode=$2
    shift 2
    local home="$work/home-$name-$mode"
    mkdir -p "$home"
    local setting=(HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_STATE_HOME="$home/.local/state"
        XDG_DATA_HOME="$home/.local/share")
    case "$mode" in
    headless) setting=(-u DISPLAY "${setting[@]}") ;;
    tray) settledHome "$home" false ;;
    camera)
        settledHome "$home" true
        setting+=(ZORVI_CAMERA_DEVICE="$pictures")
        ;;
    esac
    env "${setting[@]}" "$@" >"$home/out.log" 2>&1 &
    pids+=($!)
    labels+=("$name ($mode)")
}

# The widget of a build, beside its tray instance, in that instance's HOME.
launchWidget() {
    local name=$1 widget=$2 family=$3
    local home="$work/home-$name-tray"
    HOME="$home" XDG_CONFIG_HOME="$home/.config" "$widget" --family "$family" >"$home/widget-$family.log" 2>&1 &
    pids+=($!)
    labels+=("$name (widget $family)")
}

for ((round = 1; round <= rounds; round++)); do
    display=":$((firstDisplay + round - 1))"
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
        name=${build%%=*} binary=${build#*=}
        for mode in display tray headless ${pictures:+camera}; do launch "$name" "$mode" "$binary"; done
        widget="$(dirname "$binary")/../../ZorviMacWidget/zorvi-widget"
        if [ -x "$widget" ]; then
            for family in small medium; do launchWidget "$name" "$widget" "$family"; done
        fi
    done
    sleep "$settle"

    measured=("${pids[@]:first}")
    declare -A cpu0 sw0 perfOut
    perfPids=()
    for pid in "${measured[@]}"; do
        cpu0[$pid]=$(cpuTicks "$pid")
        sw0[$pid]=$(switches "$pid")
        if perfCounts; then
            perfOut[$pid]="$work/perf-$pid"
            perf stat -x, -e context-switches -p "$pid" -o "${perfOut[$pid]}" -- sleep "$seconds" &
            perfPids+=($!)
        fi
    done
    sleep "$seconds"
    ((${#perfPids[@]} == 0)) || wait "${perfPids[@]}" || true
    for i in "${!measured[@]}"; do
        pid=${measured[$i]}
        if [ ! -d "/proc/$pid" ]; then
            echo "round $round: ${labels[$i]} exited early" >&2
            continue
        fi
        cpu=$(($(cpuTicks "$pid") - cpu0[$pid]))
        sw=$(($(switches "$pid") - sw0[$pid]))
        if [ -n "${perfOut[$pid]:-}" ] && counted=$(awk -F, '/context-switches/ {print $1}' "${perfOut[$pid]}") &&
            [[ "$counted" =~ ^[0-9]+$ ]]; then
            sw=$counted
        fi
        printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$round" "${labels[$i]}" \
            "$(awk -v t="$cpu" -v hz="$ticks" -v s="$seconds" 'BEGIN {printf "%.3f", 100 * t / hz / s}')" \
            "$(awk -v n="$sw" -v s="$seconds" 'BEGIN {printf "%.2f", n / s}')" \
            "$(awk -v k="$(residentKiB "$pid")" 'BEGIN {printf "%.1f", k / 1024}')" \
            "$(threadCount "$pid")" | tee -a "$results"
    done
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    pids=()
    unset cpu0 sw0 perfOut
done

echo
printf '%-28s %10s %12s %10s %8s\n' "process" "CPU %" "wake-ups/s" "RSS MiB" "threads"
awk -F'\t' '{n[$2]++; c[$2] += $3; w[$2] += $4; r[$2] += $5; t[$2] += $6}
    END {for (p in n) printf "%-28s %10.3f %12.2f %10.1f %8.1f\n", p, c[p] / n[p], w[p] / n[p], r[p] / n[p], t[p] / n[p]}' \
    "$results" | sort
