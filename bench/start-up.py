#!/usr/bin/env python3
"""Start-up cost of whole vigilor processes, from exec to the line "[app] Vigilor is running".

Each run starts a build in a temporary HOME of its own, laid out as one of:
  empty     nothing stored (a first start)
  settings  settings, onboarding done, break anchors; no ledger
  full      as settings, plus a wellness ledger of 50,000 events (one a minute back from now)
  large     as settings, in a settings file of 37 MB (a million long keys beside them)
  keys      as settings, beside a million short keys (10 MB)
and reads, at the moment the line appears: the wall time since exec, the CPU time of the process (user +
system of every thread, in clock ticks, and the nanosecond on-CPU time of the threads alive then), the
on-CPU time of the main thread alone, and its resident memory and minor page faults. A long ledger is
read by a thread named "Vigilor.ledger": the script looks for it about every millisecond and gives the
wall time since exec at which it was last seen (when the ledger is handed to the main thread; 0 when no
such thread was seen), the CPU time of the process then (clock ticks, the ended thread included) and the
peak resident memory. Builds and layouts are interleaved run by run, so that the machine's load falls on
all alike; the medians are printed with the load average before and after.

  bench/start-up.py [-n RUNS] [--display] [--layouts empty,settings,full] NAME=PATH/TO/vigilor ...
  bench/start-up.py --callgrind OUT [--layouts full] NAME=PATH ...
  bench/start-up.py --busy SECONDS [--display [--tray] [--display-number N]] [-n RUNS] NAME=PATH ...

--busy watches the main thread for SECONDS after the running line instead: every 2 ms it reads the
thread's state (/proc/PID/task/PID/stat), and prints the longest span in which every reading found it
running or waiting for a CPU (a ceiling of what one turn of its event loop took: on a loaded machine
the waiting counts too), and the number of spans over 50 ms.

Headless by default (no DISPLAY, both D-Bus addresses pointing nowhere), as on a server. --display
runs each process under an Xvfb and a session bus of the script's own (no tray host unless --tray).
--callgrind runs each build once per layout under valgrind's callgrind and prints the instructions
executed up to the end of the monitor's runtime start (callgrind dumps there), all threads together;
OUT keeps the profiles for callgrind_annotate.
"""
import argparse
import json
import os
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import uuid

REFERENCE_DATE = 978307200  # 2001-01-01 00:00:00 UTC, the stored dates' origin
TICKS = os.sysconf("SC_CLK_TCK")
RUNNING_LINE = b"Vigilor is running"
LEDGER_THREAD = "Vigilor.ledger"


def ledger(count):
    now = time.time() - REFERENCE_DATE
    kinds = ["eyeRest", "eyeRest", "movementCredit", "eyeDismissed", "lockAway", "walkSkipped"]
    events = []
    for i in range(count):
        event = {"id": str(uuid.uuid4()).upper(), "kind": kinds[i % len(kinds)], "occurredAt": now - i * 60}
        if event["kind"] in ("eyeRest", "movementCredit", "lockAway"):
            event["durationSeconds"] = 20.0 + i % 300
        events.append(event)
    return events[::-1]


def lay_out(home, layout, ledger_text):
    folder = os.path.join(home, ".config", "zorvi")
    os.makedirs(folder)
    if layout == "empty":
        return
    now = time.time() - REFERENCE_DATE
    defaults = {
        "app.zorvi.settings.v1": {"launchAtLogin": False, "cameraPresenceEnabled": False},
        "zorvi.onboardingShown.v1": True,
        "app.zorvi.breakAnchors.v1": {"lastEyeBreakAt": now - 600, "lastWalkBreakAt": now - 1200},
    }
    if layout == "large":
        defaults.update((f"padding.{i:019d}", i) for i in range(1_000_000))
    elif layout == "keys":
        defaults.update((f"{i:x}", 0) for i in range(1_000_000))
    with open(os.path.join(folder, "defaults.json"), "w") as file:
        json.dump(defaults, file, separators=(",", ":"))
    if layout == "full":
        with open(os.path.join(folder, "wellness-ledger.json"), "w") as file:
            file.write(ledger_text)


def environment(home, display):
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM") and not k.startswith("DBUS_")}
    env.update(HOME=home, XDG_CONFIG_HOME=home + "/.config", XDG_STATE_HOME=home + "/.local/state",
               XDG_DATA_HOME=home + "/.local/share", XDG_RUNTIME_DIR=home + "/run",
               DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent",
               DBUS_SYSTEM_BUS_ADDRESS="unix:path=/nonexistent")
    os.makedirs(home + "/run", mode=0o700)
    if display:
        env.update(display)
    return env


def reading_thread_alive(pid):
    try:
        tasks = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return False
    for task in tasks:
        try:
            if open(f"/proc/{pid}/task/{task}/comm").read().strip() == LEDGER_THREAD:
                return True
        except OSError:
            pass
    return False


def wait_for_line(process, timeout=30, watch=None):
    """Reads the output until the running line; `watch` is called between reads, every millisecond."""
    seen = b""
    deadline = time.monotonic() + timeout
    while RUNNING_LINE not in seen:
        left = deadline - time.monotonic()
        if left <= 0:
            raise RuntimeError("no running line within %d s: %r" % (timeout, seen[-400:]))
        ready, _, _ = select.select([process.stdout], [], [], min(left, 0.001) if watch else left)
        if watch:
            watch()
        if not ready:
            continue
        chunk = os.read(process.stdout.fileno(), 65536)
        if not chunk:
            raise RuntimeError("exited before the running line: %r" % seen[-400:])
        seen += chunk
    return seen


def cpu_of(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    ticks_ms = (int(fields[11]) + int(fields[12])) * 1000 / TICKS
    minor_faults = int(fields[7])
    on_cpu_ns = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            on_cpu_ns += int(open(f"/proc/{pid}/task/{task}/schedstat").read().split()[0])
        except OSError:
            pass
    try:
        main_ns = int(open(f"/proc/{pid}/task/{pid}/schedstat").read().split()[0])
    except OSError:
        main_ns = 0
    return ticks_ms, on_cpu_ns / 1e6, main_ns / 1e6, minor_faults


def resident_mib(pid, field="VmRSS"):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith(field):
            return int(line.split()[1]) / 1024
    return 0.0


def stop(process):
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(20)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def run_once(binary, layout, ledger_text, display):
    home = tempfile.mkdtemp(prefix="vigilor-start-")
    try:
        lay_out(home, layout, ledger_text)
        env = environment(home, display)
        started = time.perf_counter()
        process = subprocess.Popen([binary], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
        reading = {"last": None}

        def watch():
            if reading_thread_alive(process.pid):
                reading["last"] = time.perf_counter()

        try:
            wait_for_line(process, watch=watch)
            wall = (time.perf_counter() - started) * 1000
            ticks_ms, on_cpu_ms, main_ms, faults = cpu_of(process.pid)
            rss = resident_mib(process.pid)
            deadline = time.monotonic() + 30
            while reading["last"] is not None and reading_thread_alive(process.pid) and time.monotonic() < deadline:
                reading["last"] = time.perf_counter()
                time.sleep(0.001)
            landed = (reading["last"] - started) * 1000 if reading["last"] else 0.0
            landed_cpu = cpu_of(process.pid)[0] if reading["last"] else ticks_ms  # the ended thread included
            peak = resident_mib(process.pid, "VmHWM")
        finally:
            stop(process)
        return wall, ticks_ms, on_cpu_ms, main_ms, rss, faults, landed, landed_cpu, peak
    finally:
        shutil.rmtree(home, ignore_errors=True)


def callgrind_once(binary, layout, ledger_text, display, out):
    home = tempfile.mkdtemp(prefix="vigilor-callgrind-")
    try:
        lay_out(home, layout, ledger_text)
        env = environment(home, display)
        profile = os.path.join(out, f"callgrind.{os.path.basename(os.path.dirname(binary)) or 'x'}.{layout}.%p")
        command = ["valgrind", "--tool=callgrind", "--separate-threads=no",
                   "--dump-after=VigilorMonitor::startRuntimeServicesAfterLaunch*",
                   f"--callgrind-out-file={profile}", binary]
        process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
        try:
            wait_for_line(process, timeout=600)
        finally:
            stop(process)
        dumps = sorted(f for f in os.listdir(out) if f.startswith(os.path.basename(profile).split("%p")[0]) and
                       f.endswith(".1") and str(process.pid) in f)
        if not dumps:
            return None, None
        path = os.path.join(out, dumps[-1])
        for line in open(path):
            if line.startswith("summary:") or line.startswith("totals:"):
                return int(line.split()[1]), path
        return None, path
    finally:
        shutil.rmtree(home, ignore_errors=True)


def busy_spans(pid, seconds, every=0.002):
    """The main thread's busy spans (ms) within `seconds`: runs of readings that found it running or
    waiting for a CPU (state R), from the first such reading to the one after the last."""
    path = f"/proc/{pid}/task/{pid}/stat"
    spans, began = [], None
    deadline = time.perf_counter() + seconds
    while True:
        now = time.perf_counter()
        state = open(path).read().rsplit(")", 1)[1].split()[0]
        if state == "R" and began is None:
            began = now
        elif state != "R" and began is not None:
            spans.append((now - began) * 1000)
            began = None
        if now >= deadline:
            break
        time.sleep(every)
    if began is not None:
        spans.append((time.perf_counter() - began) * 1000)
    return spans


def busy_once(binary, seconds, display):
    home = tempfile.mkdtemp(prefix="vigilor-busy-")
    try:
        lay_out(home, "settings", "")
        process = subprocess.Popen([binary], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                   env=environment(home, display))
        try:
            wait_for_line(process)
            return busy_spans(process.pid, seconds)
        finally:
            stop(process)
    finally:
        shutil.rmtree(home, ignore_errors=True)


def start_display(number=None, tray=False):
    """An Xvfb (on `number`, else the first free display) and a session bus; with `tray`, openbox and
    trayer on it too, so that the tray item is made as on a desktop."""
    if number is None:
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        number = xvfb.stdout.readline().decode().strip()
    else:
        xvfb = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        while not os.path.exists(f"/tmp/.X11-unix/X{number}"):
            time.sleep(0.05)
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    address = bus.stdout.readline().decode().strip()
    display = {"DISPLAY": f":{number}", "DBUS_SESSION_BUS_ADDRESS": address}
    helpers = [xvfb, bus]
    if tray:
        env = dict(os.environ, **display)
        for command in (["openbox"], ["trayer", "--edge", "top", "--align", "right", "--height", "24"]):
            helpers.append(subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        time.sleep(1)
    return helpers[::-1], display


def load():
    return open("/proc/loadavg").read().split()[0]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("-n", "--runs", type=int, default=11)
    parser.add_argument("--layouts", default="empty,settings,full")
    parser.add_argument("--display", action="store_true")
    parser.add_argument("--tray", action="store_true", help="with --display: openbox and trayer on it")
    parser.add_argument("--display-number", type=int, metavar="N", help="with --display: use :N")
    parser.add_argument("--callgrind", metavar="OUT")
    parser.add_argument("--busy", type=float, metavar="SECONDS")
    parser.add_argument("builds", nargs="+", metavar="NAME=PATH")
    arguments = parser.parse_args()
    builds = [tuple(b.split("=", 1)) for b in arguments.builds]
    layouts = arguments.layouts.split(",")
    ledger_text = json.dumps({"app.zorvi.wellnessLedger.v1": ledger(50_000)}, separators=(",", ":"))

    helpers, display = (start_display(arguments.display_number, arguments.tray) if arguments.display
                        else ([], None))
    try:
        print(f"load average before: {load()}", flush=True)
        if arguments.busy:
            for _ in range(arguments.runs):
                for name, binary in builds:
                    spans = busy_once(binary, arguments.busy, display)
                    print(f"{name:10} main thread after start: longest busy {max(spans, default=0):6.1f} ms, "
                          f"{sum(1 for s in spans if s > 50)} spans over 50 ms in {arguments.busy:.0f} s",
                          flush=True)
        elif arguments.callgrind:
            os.makedirs(arguments.callgrind, exist_ok=True)
            for layout in layouts:
                for name, binary in builds:
                    instructions, path = callgrind_once(binary, layout, ledger_text, display, arguments.callgrind)
                    print(f"{name:10} {layout:9} {instructions or 0:>14,} instructions  {path}", flush=True)
        else:
            rows = {}
            for _ in range(arguments.runs):
                for layout in layouts:
                    for name, binary in builds:
                        rows.setdefault((name, layout), []).append(run_once(binary, layout, ledger_text, display))
            for (name, layout), values in rows.items():
                wall, ticks, on_cpu, main_cpu, rss, faults, landed, landed_cpu, peak = (
                    statistics.median(column) for column in zip(*values))
                print(f"{name:10} {layout:9} wall {wall:6.0f} ms  cpu {ticks:5.0f} ms (ticks) {on_cpu:6.1f} ms "
                      f"(on-cpu)  main {main_cpu:6.1f} ms  rss {rss:5.1f} MiB  faults {faults:6.0f}  "
                      f"ledger in {landed:5.0f} ms (cpu then {landed_cpu:6.1f} ms)  peak {peak:5.1f} MiB  "
                      f"[{len(values)} runs; wall min {min(v[0] for v in values):.0f}]")
        print(f"load average after: {load()}")
    finally:
        for helper in helpers:
            helper.terminate()
            helper.wait()


if __name__ == "__main__":
    sys.exit(main())
