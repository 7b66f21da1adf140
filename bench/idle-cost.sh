#!/usr/bin/env bash
# Idle cost of whole programs: vigilor builds beside Workrave and Safe Eyes (when installed), all idle
# in one desktop session of their own (an Xvfb server, a session bus), each with its own temporary HOME.
#
#   bench/idle-cost.sh [-e xfce|openbox] [-r ROUNDS] [-s SECONDS] [-w SETTLE] [-d DISPLAY]
#                      [-m MODES] [-c PICTURES] NAME=PATH/TO/vigilor ...
#   e.g. bench/idle-cost.sh -e xfce before=/tmp/vigilor-main/Vigilor/App/vigilor \
#            after=build/release/Vigilor/App/vigilor
#
# The session (-e):
#   xfce      xfwm4 and Xfce's panel (default layout; its systray plugin hosts Status Notifier and
#             XEmbed items), the setting users meet. The panel, a GTK 3 program, has chosen the display's
#             GL visual before the programs start, as on any desktop.
#   openbox   openbox and trayer. The display is warmed first by a GTK 3 window that opens and closes:
#             the first GTK 3 program on a bare display loads Mesa's software GL (some 50 MiB) to choose
#             its visual and leaves the choice on the display, so without the warming Workrave alone
#             would pay it.
# Each vigilor build runs once per mode (-m, default "tray"):
#   tray      a settled user (onboarding done, camera off) with the tray item alone
#   display   a first start (nothing stored), so the onboarding window is open
#   headless  no DISPLAY
#   widget    the desktop widget (small and medium) beside a tray instance, when the build has one
#   camera    with -c FOLDER only: a settled user with camera presence on, the folder's pictures played
#             as the camera, repeated into a clip that lasts the whole run
# Safe Eyes runs in PID and network namespaces of its own, since it quits when it sees another Safe Eyes
# process anywhere or finds its fixed port taken.
#
# Programs start one after another; each is charged with every process it adds: its own process tree
# and whatever the session bus starts for it (D-Bus activation: a notification daemon, say). After the
# settle (-w, 30 s) each is measured for SECONDS: CPU share of one core and wake-ups per second (context
# switches) counted by perf over the whole tree, children that ended during the round included; RSS, PSS
# and USS (private pages) summed over its processes at the end; its processes and threads. The X
# server's own CPU and wake-ups are given too. Rows per round, then the means and each program's ratio
# to Workrave. Needs Xvfb, dbus-daemon, perf, workrave, and xfwm4 with xfce4-panel or openbox with
# trayer; safeeyes is optional. Run as root (namespaces, perf).
set -euo pipefail

session=xfce
rounds=3
seconds=90
settle=30
firstDisplay=91
modes=tray
pictures=
while getopts "e:r:s:w:d:m:c:" option; do
    case "$option" in
    e) session="$OPTARG" ;;
    r) rounds="$OPTARG" ;;
    s) seconds="$OPTARG" ;;
    w) settle="$OPTARG" ;;
    d) firstDisplay="$OPTARG" ;;
    m) modes="$OPTARG" ;;
    c) pictures=$(realpath "$OPTARG") ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
(($# > 0)) || {
    echo "usage: $0 [-e xfce|openbox] [-r ROUNDS] [-s SECONDS] [-w SETTLE] [-d DISPLAY] [-m MODES] [-c PICTURES] NAME=vigilor ..." >&2
    exit 2
}
[[ "$session" == xfce || "$session" == openbox ]] || { echo "unknown session $session" >&2; exit 2; }
[ -z "$pictures" ] || modes="$modes camera"

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

# ---- processes ----

# The process and all its descendants.
tree() {
    local pid=$1 child
    [ -d "/proc/$pid" ] || return 0
    echo "$pid"
    for child in $(cat /proc/"$pid"/task/*/children 2>/dev/null); do tree "$child"; done
}
# CPU ticks of a process, its threads and the children it has waited for.
cpuTicks() { awk '{print $14 + $15 + $16 + $17}' "/proc/$1/stat" 2>/dev/null || echo 0; }
switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^(voluntary|nonvoluntary)_ctxt_switches/ {sum += $2} END {print sum + 0}'
}
# "RSS PSS USS" in KiB.
memory() {
    awk '/^Rss:/ {r = $2} /^Pss:/ {p = $2} /^Private_(Clean|Dirty):/ {u += $2} END {print r + 0, p + 0, u + 0}' \
        "/proc/$1/smaps_rollup" 2>/dev/null || echo "0 0 0"
}
threads() { ls "/proc/$1/task" 2>/dev/null | wc -l; }
busChildren() { cat /proc/"$buspid"/task/*/children 2>/dev/null | tr ' ' '\n' | grep . | sort -n || true; }

# Waits (at most 30 s) until `command` succeeds.
waitFor() {
    for _ in $(seq 150); do "$@" >/dev/null 2>&1 && return 0; sleep 0.2; done
    echo "gave up waiting for: $*" >&2
    return 1
}

# ---- the session ----

startSession() {
    local display=$1 config="$work/session-config"
    Xvfb "$display" -screen 0 1440x900x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    server=$!
    waitFor test -e "/tmp/.X11-unix/X${display#:}"
    export DISPLAY="$display"
    # A socket file rather than an abstract one, so that a network namespace reaches it too.
    eval "$(dbus-daemon --session --fork --address="unix:path=$work/bus-${display#:}" --print-address=1 --print-pid=1 |
        { read -r address; read -r pid; echo "export DBUS_SESSION_BUS_ADDRESS=$address; buspid=$pid"; })"
    pids+=("$buspid")
    if [ "$session" = xfce ]; then
        rm -rf "$config"
        mkdir -p "$config/xfce4/xfconf/xfce-perchannel-xml"
        cp /etc/xdg/xfce4/panel/default.xml "$config/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"
        XDG_CONFIG_HOME="$config" xfwm4 >/dev/null 2>&1 &
        pids+=($!)
        XDG_CONFIG_HOME="$config" xfce4-panel >/dev/null 2>&1 &
        pids+=($!)
        waitFor xdotool search --classname xfce4-panel
    else
        openbox >/dev/null 2>&1 &
        pids+=($!)
        trayer --edge top --align right --widthtype request --height 24 --transparent false >/dev/null 2>&1 &
        pids+=($!)
        waitFor xdotool search --classname trayer
        /usr/bin/python3 -c 'import gi; gi.require_version("Gtk", "3.0"); from gi.repository import Gtk, GLib
w = Gtk.Window(); w.show_all(); GLib.timeout_add(500, Gtk.main_quit); Gtk.main()'
    fi
    # Whatever the session's own programs had the bus start is the session's.
    sessionBusChildren=$(busChildren)
}

# ---- the programs ----

# A settled user's stored settings: onboarding done, camera presence as given.
settledHome() {
    mkdir -p "$1/.config/zorvi"
    printf '{"app.zorvi.settings.v1":{"launchAtLogin":false,"cameraPresenceEnabled":%s},"zorvi.onboardingShown.v1":true}' \
        "$2" >"$1/.config/zorvi/defaults.json"
}

# The pictures given, repeated in order into a clip at the capture rate (5 per second) that lasts the
# settle, the round and a minute more.
makeClip() {
    local clip="$work/clip" frames=$(((settle + seconds + 60) * 5)) files i=0
    mkdir -p "$clip"
    mapfile -t files < <(find "$pictures" -maxdepth 1 -type f \( -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.png' \) | sort)
    ((${#files[@]} > 0)) || { echo "no pictures in $pictures" >&2; exit 2; }
    for ((i = 0; i < frames; i++)); do
        local file=${files[i % ${#files[@]}]}
        ln -s "$file" "$clip/$(printf '%06d' "$i").${file##*.}"
    done
    echo "$clip"
}

# Starts a program under perf with a HOME of its own, waits a moment for what it has the bus start,
# and files both under its label.
launch() {
    local label=$1 mode=$2
    shift 2
    local home="$work/home-${label// /-}"
    mkdir -p "$home"
    local setting=(HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_STATE_HOME="$home/.local/state"
        XDG_DATA_HOME="$home/.local/share" XDG_CACHE_HOME="$home/.cache")
    case "$mode" in
    headless) setting=(-u DISPLAY "${setting[@]}") ;;
    tray | widget) [ -e "$home/.config/zorvi/defaults.json" ] || settledHome "$home" false ;;
    camera)
        settledHome "$home" true
        setting+=(ZORVI_CAMERA_DEVICE="$clip")
        ;;
    esac
    local before
    before=$(busChildren)
    perf stat -x, -I 1000 -e task-clock,context-switches -o "$work/perf-${#labels[@]}" -- \
        env "${setting[@]}" "$@" >"$home/out.log" 2>&1 &
    pids+=($!)
    roots+=($!)
    starts+=("$(date +%s.%N)")
    labels+=("$label")
    sleep 5
    added+=("$(comm -13 <(echo "$before") <(busChildren) | tr '\n' ' ')")
}

# Every process the program added, now (perf and the namespace tool are the bench's).
processesOf() {
    local pid
    for pid in $(tree "${roots[$1]}"; for pid in ${added[$1]}; do tree "$pid"; done); do
        case "$(cat "/proc/$pid/comm" 2>/dev/null)" in perf | unshare | "") ;; *) echo "$pid" ;; esac
    done | sort -u
}

# "CPU% wake-ups/s" from perf's one-second counts that end between `from` and `to` seconds after the
# start, over the time they cover.
perfBetween() {
    awk -F, -v from="$2" -v to="$3" '$1 ~ /^ *[0-9.]+$/ && $1 + 0 > from + 1 && $1 + 0 <= to {
        if (!first) first = $1; last = $1
        if ($4 == "task-clock") t += $2; else if ($4 == "context-switches") c += $2 }
        END {d = last - first + 1; if (d <= 1) d = 1; printf "%.4f %.3f\n", t / 10 / d, c / d}' "$1"
}

clip=
[ -z "$pictures" ] || clip=$(makeClip)

for ((round = 1; round <= rounds; round++)); do
    display=":$((firstDisplay + round - 1))"
    startSession "$display"
    labels=() roots=() starts=() added=()
    launch workrave display workrave
    if command -v safeeyes >/dev/null; then
        launch safeeyes display unshare --pid --net --mount-proc --fork \
            sh -c 'ip link set lo up; exec safeeyes'
    fi
    for build in "$@"; do
        name=${build%%=*} binary=${build#*=}
        widget="$(dirname "$binary")/../../ZorviMacWidget/zorvi-widget"
        for mode in $modes; do
            case "$mode" in
            widget)
                [ -x "$widget" ] || continue
                for family in small medium; do launch "$name (widget $family)" widget "$widget" --family "$family"; done
                ;;
            *) launch "$name ($mode)" "$mode" "$binary" ;;
            esac
        done
    done
    sleep "$settle"

    begin=$(date +%s.%N)
    serverTicks0=$(cpuTicks "$server") serverSwitches0=$(switches "$server")
    echo "round $round ($session, $display): load average at the start $(cut -d' ' -f1-3 /proc/loadavg)" >&2
    declare -A addedTicks0 addedSwitches0
    for i in "${!labels[@]}"; do
        for pid in ${added[$i]}; do addedTicks0[$pid]=$(cpuTicks "$pid") addedSwitches0[$pid]=$(switches "$pid"); done
    done
    sleep "$seconds"
    end=$(date +%s.%N)
    for i in "${!labels[@]}"; do
        if [ ! -d "/proc/${roots[$i]}" ]; then
            echo "round $round: ${labels[$i]} exited early; its output ended with:" >&2
            tail -5 "$work/home-${labels[$i]// /-}/out.log" >&2
            continue
        fi
        from=$(awk -v b="$begin" -v s="${starts[$i]}" 'BEGIN {print b - s}')
        to=$(awk -v e="$end" -v s="${starts[$i]}" 'BEGIN {print e - s}')
        read -r cpu wakeups < <(perfBetween "$work/perf-$i" "$from" "$to")
        # The processes the bus started for it are no children of perf: counted from /proc.
        for pid in ${added[$i]}; do
            [ -d "/proc/$pid" ] || continue
            cpu=$(awk -v c="$cpu" -v t="$(($(cpuTicks "$pid") - addedTicks0[$pid]))" -v hz="$ticks" -v s="$seconds" 'BEGIN {print c + 100 * t / hz / s}')
            wakeups=$(awk -v w="$wakeups" -v n="$(($(switches "$pid") - addedSwitches0[$pid]))" -v s="$seconds" 'BEGIN {print w + n / s}')
        done
        rss=0 pss=0 uss=0 threadCount=0 processCount=0
        for pid in $(processesOf "$i"); do
            read -r r p u < <(memory "$pid")
            rss=$((rss + r)) pss=$((pss + p)) uss=$((uss + u))
            threadCount=$((threadCount + $(threads "$pid")))
            processCount=$((processCount + 1))
        done
        printf '%s\t%s\t%.3f\t%.2f\t%.1f\t%.1f\t%.1f\t%d\t%d\n' "$round" "${labels[$i]}" "$cpu" "$wakeups" \
            "$(awk -v k="$rss" 'BEGIN {print k / 1024}')" "$(awk -v k="$pss" 'BEGIN {print k / 1024}')" \
            "$(awk -v k="$uss" 'BEGIN {print k / 1024}')" "$processCount" "$threadCount" | tee -a "$results"
    done
    printf '%s\t%s\t%.3f\t%.2f\t\t\t\t\t\n' "$round" "X server" \
        "$(awk -v t="$(($(cpuTicks "$server") - serverTicks0))" -v hz="$ticks" -v s="$seconds" 'BEGIN {print 100 * t / hz / s}')" \
        "$(awk -v n="$(($(switches "$server") - serverSwitches0))" -v s="$seconds" 'BEGIN {print n / s}')" | tee -a "$results"
    echo "round $round: load average at the end $(cut -d' ' -f1-3 /proc/loadavg)" >&2
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    pids=()
    unset addedTicks0 addedSwitches0
done

echo
echo "$session session, $rounds round(s) of $seconds s after a $settle s settle; CPU includes children"
printf '%-26s %8s %11s %8s %8s %8s %6s %8s\n' "program" "CPU %" "wake-ups/s" "RSS MiB" "PSS MiB" "USS MiB" "procs" "threads"
awk -F'\t' '{n[$2]++; for (f = 3; f <= 9; f++) v[$2, f] += $f}
    END {for (p in n) {printf "%-26s %8.3f %11.2f", p, v[p, 3] / n[p], v[p, 4] / n[p]
             if (p == "X server") printf "\n"
             else printf " %8.1f %8.1f %8.1f %6.1f %8.1f\n", v[p, 5] / n[p], v[p, 6] / n[p], v[p, 7] / n[p], v[p, 8] / n[p], v[p, 9] / n[p]}}' \
    "$results" | sort
echo
echo "against Workrave (1.00 = the same)"
printf '%-26s %8s %11s %8s %8s %8s\n' "program" "CPU" "wake-ups" "RSS" "PSS" "USS"
awk -F'\t' '$2 != "X server" {n[$2]++; for (f = 3; f <= 7; f++) v[$2, f] += $f}
    END {w = "workrave"; if (!(w in n)) exit
         for (p in n) if (p != w) {printf "%-26s", p
             for (f = 3; f <= 7; f++) printf " %8.2f", v[w, f] ? (v[p, f] / n[p]) / (v[w, f] / n[w]) : 0
             printf "\n"}}' "$results" | sort
