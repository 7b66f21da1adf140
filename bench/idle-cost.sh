#!/usr/bin/env bash
# Idle cost of whole programs: vigilor builds beside Workrave and Safe Eyes (when installed), all idle
# in one desktop session of their own (an Xvfb server, a session bus), each with its own temporary HOME.
#
#   bench/idle-cost.sh [-e SESSION] [-r ROUNDS] [-s SECONDS] [-w SETTLE] [-g GAP] [-d DISPLAY]
#                      [-m MODES] [-c PICTURES] NAME=PATH/TO/vigilor ...
#   e.g. bench/idle-cost.sh -e xfce before=/tmp/vigilor-main/Vigilor/App/vigilor \
#            after=build/release/Vigilor/App/vigilor
#
# The session (-e):
#   xfce      xfwm4 and Xfce's panel (default layout; its systray plugin hosts Status Notifier and
#             XEmbed items), the setting users meet. The panel, a GTK 3 program, has chosen the display's
#             GL visual before the programs start, as on any desktop.
#   kde-idle  the same, with a stand-in of KDE's idle service on the bus (org.freedesktop.ScreenSaver's
#             /ScreenSaver GetSessionIdleTime, which asks the X server each time, as KDE's does on X11)
#   plasma    KDE Plasma on X11: kwin_x11, plasmashell, kded5, kglobalaccel5 and ksmserver
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
# Programs start one after another, GAP seconds apart (-g, 10 s); each is charged with every process it
# adds: its own process tree, and what the session bus starts for it (D-Bus activation: a portal, a
# settings service ..., told by the activations the bus logs with the process that asked), followed by
# bench/bus-started.py, which reads each such process twice a second, so that one that ends within a
# round is counted up to its end. After the settle (-w, 120 s: past vigilor's first update check, a
# minute after its start) each is measured for SECONDS: CPU share of one core and wake-ups per second
# (context switches), counted by perf over its own tree (children that ended included) and from /proc
# for what the bus started for it; RSS, PSS and USS (private pages) summed over its processes at the
# end; its processes and threads. The X server's own CPU and wake-ups are given too, and the load
# average at each round's start and end. Every process the bench starts carries a mark in its
# environment, which a bus hands on to what it starts; at the end of each round all of them are sent
# SIGTERM, and SIGKILL five seconds later (Safe Eyes, the first process of its namespace, takes no
# SIGTERM). Needs Xvfb, dbus-daemon, perf, python3, workrave, and the session's programs (python3-dbus
# and python3-xlib for kde-idle); safeeyes is optional. Run as root (namespaces, perf).
set -euo pipefail

session=xfce
rounds=3
seconds=90
settle=120
gap=10
firstDisplay=91
modes=tray
pictures=
while getopts "e:r:s:w:g:d:m:c:" option; do
    case "$option" in
    e) session="$OPTARG" ;;
    r) rounds="$OPTARG" ;;
    s) seconds="$OPTARG" ;;
    w) settle="$OPTARG" ;;
    g) gap="$OPTARG" ;;
    d) firstDisplay="$OPTARG" ;;
    m) modes="$OPTARG" ;;
    c) pictures=$(realpath "$OPTARG") ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
(($# > 0)) || {
    echo "usage: $0 [-e xfce|kde-idle|plasma|openbox] [-r ROUNDS] [-s SECONDS] [-w SETTLE] [-g GAP] [-d DISPLAY] [-m MODES] [-c PICTURES] NAME=vigilor ..." >&2
    exit 2
}
case "$session" in xfce | kde-idle | plasma | openbox) ;; *) echo "unknown session $session" >&2; exit 2 ;; esac
[ -z "$pictures" ] || modes="$modes camera"

ticks=$(getconf CLK_TCK)
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
results="$work/results"
loads="$work/loads"
mark="ZORVI_IDLE_COST=$$-$RANDOM"

# ---- ending what was started ----

# The processes that carry this run's mark (zombies have no environment left, and count as ended).
marked() { grep -lsz "^$mark\$" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3 || true; }

# Waits at most `tenths` tenths of a second for the marked processes to end; whether they did.
endedWithin() {
    for _ in $(seq "$1"); do [ -z "$(marked)" ] && return 0; sleep 0.1; done
    [ -z "$(marked)" ]
}

# Ends every marked process, and reaps the bench's own children (perf, the watcher).
endAll() {
    local left
    left=$(marked)
    [ -z "$left" ] || kill -TERM $left 2>/dev/null || true
    endedWithin 50 || { kill -KILL $(marked) 2>/dev/null || true; }
    endedWithin 50 || echo "still running after SIGKILL: $(marked)" >&2
    for job in $(jobs -p); do kill -TERM "$job" 2>/dev/null || true; done
    for _ in $(seq 50); do [ -z "$(jobs -pr)" ] && break; sleep 0.1; done
    for job in $(jobs -pr); do kill -KILL "$job" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
cleanup() {
    endAll
    rm -rf "$work"
}
trap cleanup EXIT

# ---- processes ----

# The process and all its descendants.
tree() {
    local pid=$1 child
    [ -d "/proc/$pid" ] || return 0
    echo "$pid"
    for child in $(cat /proc/"$pid"/task/*/children 2>/dev/null || true); do tree "$child"; done
}
# CPU ticks of a process and its threads (0 once it has ended).
cpuTicks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
switches() {
    { cat /proc/"$1"/task/*/status 2>/dev/null || true; } |
        awk '/^(voluntary|nonvoluntary)_ctxt_switches/ {sum += $2} END {print sum + 0}'
}
# "RSS PSS USS" in KiB.
memory() {
    awk '/^Rss:/ {r = $2} /^Pss:/ {p = $2} /^Private_(Clean|Dirty):/ {u += $2} END {print r + 0, p + 0, u + 0}' \
        "/proc/$1/smaps_rollup" 2>/dev/null || echo "0 0 0"
}
threads() {
    local tasks=(/proc/"$1"/task/*)
    if [ -e "${tasks[0]}" ]; then echo "${#tasks[@]}"; else echo 0; fi
}

# Waits (at most 30 s) until `command` succeeds.
waitFor() {
    for _ in $(seq 150); do "$@" >/dev/null 2>&1 && return 0; sleep 0.2; done
    echo "gave up waiting for: $*" >&2
    return 1
}

# Starts a program of the session, marked.
sessionProgram() { env "$mark" "$@" >/dev/null 2>&1 & }

# ---- the session ----

# A stand-in of KDE's idle service: GetSessionIdleTime on /ScreenSaver asks the X server's screen saver
# extension each time, as KDE's does on X11.
kdeIdleStandIn() {
    sessionProgram /usr/bin/python3 -c '
import dbus, dbus.service, dbus.mainloop.glib
from gi.repository import GLib
from Xlib import display
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
x = display.Display()
class ScreenSaver(dbus.service.Object):
    @dbus.service.method("org.freedesktop.ScreenSaver", out_signature="u")
    def GetSessionIdleTime(self):
        return x.screen().root.screensaver_query_info().idle
name = dbus.service.BusName("org.freedesktop.ScreenSaver", dbus.SessionBus())
ScreenSaver(dbus.SessionBus(), "/ScreenSaver")
GLib.MainLoop().run()'
    waitFor dbus-send --session --print-reply --dest=org.freedesktop.ScreenSaver /ScreenSaver \
        org.freedesktop.ScreenSaver.GetSessionIdleTime
}

startSession() {
    local display=$1 config="$work/session-config"
    [ ! -e "/tmp/.X${display#:}-lock" ] || { echo "display $display is in use" >&2; exit 1; }
    sessionProgram Xvfb "$display" -screen 0 1440x900x24 -nolisten tcp
    server=$!
    waitFor test -e "/tmp/.X11-unix/X${display#:}"
    export DISPLAY="$display"
    # A socket file rather than an abstract one, so that a network namespace reaches it too. The daemon
    # logs each activation, with the process that asked for it, for the watcher.
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus-${display#:}"
    env "$mark" dbus-daemon --session --nofork --nosyslog --address="$DBUS_SESSION_BUS_ADDRESS" \
        2>"$work/bus-log-$round" &
    buspid=$!
    waitFor test -S "$work/bus-${display#:}"
    python3 "$here/bus-started.py" watch "$mark" "$buspid" "$work/bus-log-$round" "$work/bus-$round" &
    case "$session" in
    xfce | kde-idle)
        rm -rf "$config"
        mkdir -p "$config/xfce4/xfconf/xfce-perchannel-xml"
        cp /etc/xdg/xfce4/panel/default.xml "$config/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"
        sessionProgram XDG_CONFIG_HOME="$config" xfwm4
        sessionProgram XDG_CONFIG_HOME="$config" xfce4-panel
        waitFor xdotool search --classname xfce4-panel
        [ "$session" = xfce ] || kdeIdleStandIn
        ;;
    plasma)
        local kde=(XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5)
        sessionProgram "${kde[@]}" kwin_x11
        sessionProgram "${kde[@]}" kded5
        sessionProgram "${kde[@]}" kglobalaccel5
        sessionProgram "${kde[@]}" ksmserver
        sessionProgram "${kde[@]}" plasmashell
        waitFor xdotool search --classname plasmashell
        waitFor dbus-send --session --print-reply --dest=org.freedesktop.ScreenSaver /ScreenSaver \
            org.freedesktop.ScreenSaver.GetSessionIdleTime
        ;;
    openbox)
        sessionProgram openbox
        sessionProgram trayer --edge top --align right --widthtype request --height 24 --transparent false
        waitFor xdotool search --classname trayer
        /usr/bin/python3 -c 'import gi; gi.require_version("Gtk", "3.0"); from gi.repository import Gtk, GLib
w = Gtk.Window(); w.show_all(); GLib.timeout_add(500, Gtk.main_quit); Gtk.main()'
        ;;
    esac
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

# Starts a program under perf with a HOME of its own, and gives the bus the gap to start what it asks for.
launch() {
    local label=$1 mode=$2
    shift 2
    local home="$work/home-${label// /-}"
    mkdir -p "$home"
    local setting=("$mark" HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_STATE_HOME="$home/.local/state"
        XDG_DATA_HOME="$home/.local/share" XDG_CACHE_HOME="$home/.cache")
    case "$mode" in
    headless) setting=(-u DISPLAY "${setting[@]}") ;;
    tray | widget) [ -e "$home/.config/zorvi/defaults.json" ] || settledHome "$home" false ;;
    camera)
        settledHome "$home" true
        setting+=(ZORVI_CAMERA_DEVICE="$clip")
        ;;
    esac
    perf stat -x, -I 1000 -e task-clock,context-switches -o "$work/perf-${#labels[@]}" -- \
        env "${setting[@]}" "$@" >"$home/out.log" 2>&1 &
    roots+=($!)
    starts+=("$(date +%s.%N)")
    labels+=("$label")
    sleep "$gap"
}

# Every process of the program now: its own tree (perf and the namespace tool are the bench's).
ownProcesses() {
    local pid
    for pid in $(tree "${roots[$1]}"); do
        case "$(cat "/proc/$pid/comm" 2>/dev/null)" in perf | unshare | "") ;; *) echo "$pid" ;; esac
    done
}

# "CPU% wake-ups/s" from perf's one-second counts that end between `from` and `to` seconds after the
# start, over the time they cover.
perfBetween() {
    awk -F, -v from="$2" -v to="$3" '$1 ~ /^ *[0-9.]+$/ && $1 + 0 > from + 1 && $1 + 0 <= to {
        if (!first) first = $1; last = $1
        if ($4 == "task-clock") t += $2; else if ($4 == "context-switches") c += $2 }
        END {d = last - first + 1; if (d <= 1) d = 1; printf "%.4f %.3f\n", t / 10 / d, c / d}' "$1"
}

loadAverage() { cut -d' ' -f1-3 /proc/loadavg; }

# One row per program: round, label, CPU %, wake-ups/s, RSS, PSS, USS (MiB), processes, threads.
measure() {
    local i pid cpu wakeups from to r p u rss pss uss threadCount processCount index t n alive names
    local busTicks=() busSwitches=() busAlive=() busNames=()
    while read -r index t n alive names; do
        busTicks[index]=$t busSwitches[index]=$n busAlive[index]=$alive busNames[index]=$names
    done < <(python3 "$here/bus-started.py" charge "$work/bus-$round" "$begin" "$end" "${roots[@]}")
    for i in "${!labels[@]}"; do
        if [ ! -d "/proc/${roots[$i]}" ]; then
            echo "round $round: ${labels[$i]} exited early; its output ended with:" >&2
            tail -5 "$work/home-${labels[$i]// /-}/out.log" >&2
            continue
        fi
        from=$(awk -v b="$begin" -v s="${starts[$i]}" 'BEGIN {print b - s}')
        to=$(awk -v e="$end" -v s="${starts[$i]}" 'BEGIN {print e - s}')
        read -r cpu wakeups < <(perfBetween "$work/perf-$i" "$from" "$to")
        cpu=$(awk -v c="$cpu" -v t="${busTicks[i]}" -v hz="$ticks" -v s="$seconds" 'BEGIN {print c + 100 * t / hz / s}')
        wakeups=$(awk -v w="$wakeups" -v n="${busSwitches[i]}" -v s="$seconds" 'BEGIN {print w + n / s}')
        rss=0 pss=0 uss=0 threadCount=0 processCount=0
        for pid in $(ownProcesses "$i") ${busAlive[i]//[,-]/ }; do
            [ -d "/proc/$pid" ] || continue
            read -r r p u < <(memory "$pid")
            rss=$((rss + r)) pss=$((pss + p)) uss=$((uss + u))
            threadCount=$((threadCount + $(threads "$pid")))
            processCount=$((processCount + 1))
        done
        printf '%s\t%s\t%.3f\t%.2f\t%.1f\t%.1f\t%.1f\t%d\t%d\n' "$round" "${labels[$i]}" "$cpu" "$wakeups" \
            "$(awk -v k="$rss" 'BEGIN {print k / 1024}')" "$(awk -v k="$pss" 'BEGIN {print k / 1024}')" \
            "$(awk -v k="$uss" 'BEGIN {print k / 1024}')" "$processCount" "$threadCount" | tee -a "$results"
        echo "round $round: ${labels[$i]}: the bus started ${busNames[i]//,/, }" >&2
    done
    printf '%s\t%s\t%.3f\t%.2f\t\t\t\t\t\n' "$round" "X server" \
        "$(awk -v t="$(($(cpuTicks "$server") - serverTicks0))" -v hz="$ticks" -v s="$seconds" 'BEGIN {print 100 * t / hz / s}')" \
        "$(awk -v n="$(($(switches "$server") - serverSwitches0))" -v s="$seconds" 'BEGIN {print n / s}')" | tee -a "$results"
}

clip=
[ -z "$pictures" ] || clip=$(makeClip)

# Each build runs from a copy of its own, with its vision modules and its widget: another process running
# the same file (a trial of that build) would share its pages, which PSS and USS then leave out.
builds=()
for build in "$@"; do
    name=${build%%=*} binary=${build#*=} copy="$work/builds/${build%%=*}"
    mkdir -p "$copy"
    cp "$binary" "$(dirname "$binary")"/vigilor-vision*.so "$copy/" 2>/dev/null || cp "$binary" "$copy/"
    widget="$(dirname "$binary")/../../ZorviWidget/zorvi-widget"
    [ ! -x "$widget" ] || cp "$widget" "$copy/"
    builds+=("$name=$copy/$(basename "$binary")")
done

for ((round = 1; round <= rounds; round++)); do
    display=":$((firstDisplay + round - 1))"
    startSession "$display"
    labels=() roots=() starts=()
    launch workrave display workrave
    if command -v safeeyes >/dev/null; then
        launch safeeyes display unshare --pid --net --mount-proc --fork \
            sh -c 'ip link set lo up; exec safeeyes'
    fi
    for build in "${builds[@]}"; do
        name=${build%%=*} binary=${build#*=}
        widget="$(dirname "$binary")/zorvi-widget"
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
    loadAtStart=$(loadAverage)
    sleep "$seconds"
    end=$(date +%s.%N)
    measure
    echo "round $round ($session, $display): load average $loadAtStart at the start, $(loadAverage) at the end" |
        tee -a "$loads" >&2
    endAll
done

echo
echo "$session session, $rounds round(s) of $seconds s after a $settle s settle; CPU includes children and what"
echo "the session bus started for the program; load average (1, 5, 15 min):"
sed 's/^/  /' "$loads"
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
