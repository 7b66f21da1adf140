#!/usr/bin/env python3
"""What the session bus starts for each program of bench/idle-cost.sh, and what it costs.

  bus-started.py watch MARK BUS-PID BUS-LOG RECORD
      Twice a second while the bus daemon runs: each process whose environment carries MARK (every
      process the bench starts, and what a bus starts, which inherits its daemon's environment) with its
      ancestors, CPU ticks and context switches; and each activation that a bus daemon logs (--nosyslog:
      the session bus, and the accessibility bus it starts), with the ancestors of the process that asked.
  bus-started.py charge RECORD BEGIN END ROOT...
      For each program, given by the root of its own process tree (in launch order), a line
      "index ticks switches alive-pids names": what a bus started for it, its CPU ticks and context
      switches over [BEGIN, END] (epoch seconds), each process from its last reading before BEGIN
      (nothing: it started later) to its last one before END, so that one that ended within counts up
      to its end; those still alive; the names of all (a bus daemon's helper that waits for a service it
      started is named dbus-daemon).

A process under a bus daemon, or one left without a parent (a service whose daemon's helper has gone),
is the program's that asked for the latest activation before it was seen; so is what such a process
starts. An activation that a process the bus started asked for (a portal that starts other portals) is
the program's that that process is; one that the session's own programs asked for is nobody's.
"""
import collections
import json
import os
import re
import sys
import time

ACTIVATING = re.compile(r"dbus-daemon\[(\d+)\].*Activating service name='([^']+)' requested by '[^']*' "
                        r"\(uid=\d+ pid=(\d+)")


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


def watch(mark, bus, busLog, record):
    mark = mark.encode()
    seen = 0
    marked = {}  # (pid, name): whether it carries the mark, read again after an exec
    with open(record, "a") as out:
        while os.path.exists(f"/proc/{bus}"):
            now = time.time()
            log = read(busLog) or b""
            for line in log[seen:].decode(errors="replace").splitlines():
                found = ACTIVATING.search(line)
                if found:
                    out.write(json.dumps({"t": now, "daemon": found[1], "by": ancestors(found[3])}) + "\n")
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


def owners(activations, processes, roots, daemons):
    """Each process's program: ("own", i) in its tree, ("bus", i) started for it, None otherwise."""
    owner = {}

    def ownerOfChain(chain):
        for pid in chain:
            if pid in roots:
                return roots.index(pid)
            if pid in daemons:
                return None
            if pid in owner:
                return owner[pid][1] if owner[pid] else None
        return None

    for pid, readings in sorted(processes.items(), key=lambda item: (item[1][0]["t"], int(item[0]))):
        first = readings[0]
        chain = first["chain"]
        if any(p in roots for p in chain):
            owner[pid] = ("own", ownerOfChain(chain))
            continue
        parents = chain[1:]
        known = next((p for p in parents if p in owner or p in daemons), None)
        if known is not None and known not in daemons:
            owner[pid] = owner[known] and ("bus", owner[known][1])
            continue
        asked = [a for a in activations if a["t"] <= first["t"]]
        program = ownerOfChain(asked[-1]["by"]) if asked and pid not in daemons else None
        owner[pid] = ("bus", program) if program is not None else None
    return owner


def charge(record, begin, end, roots):
    activations, processes = [], {}
    with open(record) as f:
        for line in f:
            entry = json.loads(line)
            if "daemon" in entry:
                activations.append(entry)
            else:
                processes.setdefault(entry["pid"], []).append(entry)
    daemons = {a["daemon"] for a in activations}
    owner = owners(activations, processes, roots, daemons)
    for index in range(len(roots)):
        ticks = switches = 0
        alive, names = [], []
        for pid, readings in processes.items():
            if owner[pid] != ("bus", index):
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
