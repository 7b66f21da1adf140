#!/usr/bin/env python3
"""What the session bus starts for each program of bench/idle-cost.sh, and what it costs.

  bus-started.py watch MARK BUS-PID BUS-LOG RECORD
      Twice a second while the bus daemon runs: each process whose environment carries MARK (every
      process the bench starts, and what the bus starts, which inherits the daemon's environment) with
      its ancestors, CPU ticks and context switches; and each service the daemon logs (--nosyslog) as
      activated, with the ancestors of the process that asked for it and the process that owns its
      name (asked of the bus, $DBUS_SESSION_BUS_ADDRESS).
  bus-started.py charge RECORD BEGIN END ROOT...
      For each program, given by the root of its own process tree (in launch order), a line
      "index ticks switches alive-pids names": the processes the bus started for it, their CPU ticks and
      context switches over [BEGIN, END] (epoch seconds), each from its last reading before BEGIN
      (nothing: it started later) to its last one before END, so that one that ended within counts up to
      its end; those still alive; their names.

A service, and whatever it starts, is the program's that asked for it, or that the service that asked
for it is (a portal that starts other portals); one that the session's own programs asked for is
nobody's.
"""
import collections
import json
import os
import re
import subprocess
import sys
import time

ACTIVATING = re.compile(r"\[session [^]]*\] Activating service name='([^']+)' requested by '[^']*' "
                        r"\(uid=\d+ pid=(\d+)")
ACTIVATED = re.compile(r"\[session [^]]*\] Successfully activated service '([^']+)'")


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def ancestors(pid):
    """The process and its ancestors below init, nearest first."""
    chain = []
    while pid not in ("0", "1") and len(chain) < 64:
        stat = read(f"/proc/{pid}/stat")
        if stat is None:
            break
        chain.append(pid)
        pid = stat[stat.rindex(b")") + 2:].split()[1].decode()
    return chain


def sample(pid):
    stat = read(f"/proc/{pid}/stat")
    if stat is None:
        return None
    fields = stat[stat.rindex(b")") + 2:].split()
    switches = 0
    for task in os.listdir(f"/proc/{pid}/task") if os.path.isdir(f"/proc/{pid}/task") else []:
        status = read(f"/proc/{pid}/task/{task}/status") or b""
        switches += sum(int(line.split()[1]) for line in status.splitlines() if b"ctxt_switches" in line)
    return {"ticks": int(fields[11]) + int(fields[12]), "switches": switches,
            "name": stat[stat.index(b"(") + 1:stat.rindex(b")")].decode(errors="replace")}


def owner(service):
    answer = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
                             "org.freedesktop.DBus.GetConnectionUnixProcessID", f"string:{service}"],
                            capture_output=True, text=True, timeout=5)
    found = re.search(r"uint32 (\d+)", answer.stdout)
    return found[1] if found else None


def watch(mark, bus, busLog, record):
    mark = mark.encode()
    seen = 0
    asked = {}  # service: the ancestors of the process that asked for it
    marked = {}  # (pid, name): whether it carries the mark, read again after an exec
    with open(record, "a") as out:
        while os.path.exists(f"/proc/{bus}"):
            now = time.time()
            log = read(busLog) or b""
            for line in log[seen:].decode(errors="replace").splitlines():
                if found := ACTIVATING.search(line):
                    asked[found[1]] = ancestors(found[2])
                elif (found := ACTIVATED.search(line)) and found[1] in asked:
                    out.write(json.dumps({"t": now, "service": found[1], "by": asked[found[1]],
                                          "pid": owner(found[1])}) + "\n")
            seen = len(log)
            processes = {(pid, read(f"/proc/{pid}/comm")) for pid in filter(str.isdigit, os.listdir("/proc"))}
            marked = {key: marked[key] if key in marked else mark in (read(f"/proc/{key[0]}/environ") or b"").split(b"\0")
                      for key in processes}
            for pid, _ in (key for key in processes if marked[key]):
                taken = sample(pid)
                if taken:
                    out.write(json.dumps({"t": now, "pid": pid, "chain": ancestors(pid), **taken}) + "\n")
            out.flush()
            time.sleep(0.5)


def charge(record, begin, end, roots):
    services, processes = {}, {}
    with open(record) as f:
        for line in f:
            entry = json.loads(line)
            if "service" in entry:
                if entry["pid"]:
                    services[entry["pid"]] = entry["by"]
            else:
                processes.setdefault(entry["pid"], []).append(entry)

    def programOf(chain, depth=0):
        """The program whose tree holds the chain, or for which the nearest service in it was started."""
        for pid in chain:
            if pid in roots:
                return ("own", roots.index(pid))
            if pid in services and depth < 16:
                asker = programOf(services[pid], depth + 1)
                return asker and ("bus", asker[1])
        return None

    for index in range(len(roots)):
        ticks = switches = 0
        alive, names = [], []
        for pid, readings in processes.items():
            if programOf(readings[0]["chain"]) != ("bus", index):
                continue
            before = [r for r in readings if r["t"] <= begin]
            until = [r for r in readings if r["t"] <= end]
            if until:
                ticks += until[-1]["ticks"] - (before[-1]["ticks"] if before else 0)
                switches += until[-1]["switches"] - (before[-1]["switches"] if before else 0)
            names.append(readings[0]["name"])
            if os.path.exists(f"/proc/{pid}"):
                alive.append(pid)
        counted = sorted(collections.Counter(names).items())
        print(index, ticks, switches, ",".join(alive) or "-",
              ",".join(name + (f"×{count}" if count > 1 else "") for name, count in counted) or "-")


if __name__ == "__main__":
    if sys.argv[1] == "watch":
        watch(*sys.argv[2:6])
    else:
        charge(sys.argv[2], float(sys.argv[3]), float(sys.argv[4]), sys.argv[5:])
