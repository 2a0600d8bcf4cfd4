#!/usr/bin/env python3
"""CPU time and context switches of the processes of one Wine prefix, from /proc.

    proc_sample.py snapshot PREFIX            prints one JSON object: every process whose
                                              environment names WINEPREFIX=PREFIX
    proc_sample.py diff BEFORE AFTER TARGET   what each group spent between two snapshots:
                                              TARGET (a Windows program's file name), the
                                              wineserver, and the session's other processes

A process's CPU time is the run time of /proc/PID/task/*/schedstat (nanoseconds),
summed over the threads alive at each snapshot; utime + stime of /proc/PID/stat (all
threads, also those that ended, in 10 ms ticks) is given beside it as a check. Context
switches are summed over /proc/PID/task/*/status of the threads alive at each
snapshot: those of a thread that starts and ends between the two are not seen. A group whose process is missing from either snapshot is an error (exit 1):
no figure is printed from nothing.
"""
import json
import os
import sys


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def name_of(pid):
    """The Windows program's file name for a Wine process, else the Linux name."""
    cmdline = read(f"/proc/{pid}/cmdline") or b""
    args = [a.decode("latin-1") for a in cmdline.split(b"\0") if a]
    for a in args:
        base = a.replace("\\", "/").rsplit("/", 1)[-1]
        if base.lower().endswith(".exe"):
            return base
    comm = (read(f"/proc/{pid}/comm") or b"?").decode("latin-1").strip()
    return comm


def sample(pid):
    stat = read(f"/proc/{pid}/stat")
    if stat is None:
        return None
    fields = stat.decode("latin-1").rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])  # utime, stime (fields 14 and 15)
    voluntary = involuntary = run_ns = 0
    try:
        tasks = os.listdir(f"/proc/{pid}/task")
    except OSError:
        tasks = []
    for tid in tasks:
        schedstat = (read(f"/proc/{pid}/task/{tid}/schedstat") or b"0").split()
        run_ns += int(schedstat[0])
        status = read(f"/proc/{pid}/task/{tid}/status") or b""
        for line in status.decode("latin-1").splitlines():
            if line.startswith("voluntary_ctxt_switches:"):
                voluntary += int(line.split()[1])
            elif line.startswith("nonvoluntary_ctxt_switches:"):
                involuntary += int(line.split()[1])
    memory = {}
    for line in (read(f"/proc/{pid}/status") or b"").decode("latin-1").splitlines():
        key = line.split(":", 1)[0]
        if key in ("VmRSS", "RssAnon", "RssFile", "VmSwap", "VmData"):
            memory[key] = int(line.split()[1])
    return {"name": name_of(pid), "ticks": ticks, "run_ns": run_ns, "voluntary": voluntary, "involuntary": involuntary,
            "threads": len(tasks), "memory_kb": memory}


def snapshot(prefix):
    wanted = f"WINEPREFIX={os.path.realpath(prefix)}".encode()
    wanted_raw = f"WINEPREFIX={prefix}".encode()
    found = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        environ = read(f"/proc/{entry}/environ")
        if environ is None:
            continue
        variables = environ.split(b"\0")
        if wanted not in variables and wanted_raw not in variables:
            continue
        s = sample(entry)
        # Wine's processes only: not the shell, the sampler or sleep of the script.
        if s is not None and (s["name"].lower().endswith(".exe") or s["name"].startswith("wineserver")):
            found[entry] = s
    return {"hz": os.sysconf("SC_CLK_TCK"), "processes": found}


def diff(before, after, target):
    hz = after["hz"]
    groups = {"program": [], "wineserver": [], "others": []}
    problems = []
    for pid, a in after["processes"].items():
        b = before["processes"].get(pid)
        group = ("program" if a["name"].lower() == target.lower()
                 else "wineserver" if a["name"].startswith("wineserver") else "others")
        if b is None:
            if group != "others":
                problems.append(f"{a['name']} (pid {pid}) started during the window")
            continue
        groups[group].append({"pid": pid, "name": a["name"], "cpu_ms": (a["run_ns"] - b["run_ns"]) / 1e6,
                              "tick_ms": (a["ticks"] - b["ticks"]) * 1000 / hz,
                              "voluntary": a["voluntary"] - b["voluntary"],
                              "involuntary": a["involuntary"] - b["involuntary"], "threads": a["threads"],
                              "memory_kb": a["memory_kb"]})
    for pid, b in before["processes"].items():
        if pid not in after["processes"] and (b["name"].lower() == target.lower() or b["name"].startswith("wineserver")):
            problems.append(f"{b['name']} (pid {pid}) ended during the window")
    for group in ("program", "wineserver"):
        if len(groups[group]) != 1:
            problems.append(f"{len(groups[group])} processes for {group} ({target if group == 'program' else group})")
    return groups, problems


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "snapshot":
        print(json.dumps(snapshot(sys.argv[2])))
        return 0
    if len(sys.argv) == 5 and sys.argv[1] == "diff":
        with open(sys.argv[2]) as f:
            before = json.load(f)
        with open(sys.argv[3]) as f:
            after = json.load(f)
        groups, problems = diff(before, after, sys.argv[4])
        for p in problems:
            print(f"error: {p}")
        if problems:
            return 1
        for group in ("program", "wineserver", "others"):
            cpu = sum(p["cpu_ms"] for p in groups[group])
            ticks = sum(p["tick_ms"] for p in groups[group])
            vol = sum(p["voluntary"] for p in groups[group])
            invol = sum(p["involuntary"] for p in groups[group])
            names = ",".join(sorted(p["name"] for p in groups[group])) or "-"
            print(f"{group}: cpu_ms={cpu:.1f} tick_ms={ticks:.0f} voluntary={vol} involuntary={invol} processes={names}")
        prog = groups["program"][0]
        mem = prog["memory_kb"]
        print("program-memory: " + " ".join(f"{k}={v}" for k, v in sorted(mem.items())) + f" threads={prog['threads']}")
        return 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main())
