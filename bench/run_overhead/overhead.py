#!/usr/bin/env python3
"""Run overhead of complete autofocus runs, from SimHost.exe --timing outputs.

For each run, the time from the host's start command to the end-of-run report, as the
host measured it, is set against the time the run must take by its own rules and the
simulation's: an ideal program that does its work in no time, given the exposures at
the very moments the host posted them, still pauses 80 ms before each step move, waits
for every move (first poll after 100 ms, then 50 ms; moves are instant here), ignores
focus values for 200 ms after each step move, waits for Expo/Step counted values, and
at the end makes the backlash approach (500 ms + wait) and the final move (80 ms +
500 ms + wait). What is left is the program's own overhead (message handling, log and
status painting, late-bound calls into the simulated focuser, and the simulator's own
file work on each call).

Each output may name the simulator's mode ("mode: quiet" without any file work,
"mode: logged" with its steering files) and, logged, the run's late-bound calls
("calls: N"); runs are grouped by mode, and the quiet runs give the program's own
overhead, the summary figure.

A run that ended without a report, whose exposures cannot be matched to an ideal run,
or whose first sweep position is not the one expected ("expect-first: P" in the
output, or --first-position; the simulator's settings did not take), is counted and named, as are runs missing from --expected; any of them makes
the exit status 1, with an "error:" line, so a figure is never printed from fewer runs
than were asked for without saying so.

    overhead.py --steps 7 --expo 2 --backlash 1 [--first-position P] [--expected N]
                [--poll-ms 100 --polls 1 --after-wait-ms 50] host-output...
"""
import argparse
import re
import statistics
import sys

PAUSE_BEFORE_MOVE_MS = 80
IGNORE_AFTER_MOVE_MS = 200
FINAL_SETTLE_MS = 500


def ideal_duration(exposures, steps, expo, wait_ms, backlash):
    """Milliseconds from the start command to the report for a program without overhead."""
    t = wait_ms  # move to the first position and its wait
    ready = t    # the first position counts every value handled after the run is on
    pending = sorted(exposures)
    for step in range(steps):
        counted = [e for e in pending if e >= ready][:expo]
        if len(counted) < expo:
            return None  # the host stopped exposing before this ideal run would end
        t = counted[-1]
        pending = [e for e in pending if e > t]
        if step < steps - 1:
            t += PAUSE_BEFORE_MOVE_MS + wait_ms
            ready = t + IGNORE_AFTER_MOVE_MS
    if backlash:
        t += FINAL_SETTLE_MS + wait_ms
    t += PAUSE_BEFORE_MOVE_MS + FINAL_SETTLE_MS + wait_ms
    return t


def parse_mode(path):
    """(mode, late-bound calls, expected first position) noted in a run's output."""
    mode, calls, expect_first = "", None, None
    with open(path, encoding="latin-1") as f:
        for line in f:
            m = re.match(r"mode: (\w+)", line)
            if m:
                mode = m.group(1)
            m = re.match(r"calls: (\d+)", line)
            if m:
                calls = int(m.group(1))
            m = re.match(r"expect-first: (-?\d+)", line)
            if m:
                expect_first = int(m.group(1))
    return mode, calls, expect_first


def parse(path):
    exposures, report, first, best = [], None, None, None
    with open(path, encoding="latin-1") as f:
        for line in f:
            line = line.rstrip("\r\n")
            m = re.match(r"timing: exposure n=\d+ ms=([0-9.]+)", line)
            if m:
                exposures.append(float(m.group(1)))
                continue
            m = re.match(r"timing: report ms=([0-9.]+)", line)
            if m:
                report = float(m.group(1))
                continue
            m = re.match(r"log:\s*(-?\d+) = ", line)
            if m and first is None:
                first = int(m.group(1))
            m = re.match(r"result: BestFocus=(-?\d+)", line)
            if m:
                best = int(m.group(1))
    return exposures, report, first, best


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--steps", type=int, required=True)
    ap.add_argument("--expo", type=int, required=True)
    ap.add_argument("--backlash", type=int, default=1)
    ap.add_argument("--poll-ms", type=float, default=100)
    ap.add_argument("--polls", type=int, default=1)
    ap.add_argument("--after-wait-ms", type=float, default=50)
    ap.add_argument("--first-position", type=int)
    ap.add_argument("--expected", type=int)
    ap.add_argument("outputs", nargs="+")
    a = ap.parse_args()
    wait_ms = a.poll_ms * a.polls + a.after_wait_ms

    rows, failed = {}, []
    for number, path in enumerate(a.outputs, 1):
        exposures, report, first, best = parse(path)
        mode, calls, expect_first = parse_mode(path)
        if expect_first is None:
            expect_first = a.first_position
        if report is None:
            failed.append(f"run {number}: no report ({path})")
            print(f"run {number:2d} {mode:6s}: NO REPORT")
            continue
        if expect_first is not None and first != expect_first:
            failed.append(f"run {number}: first position {first}, not {expect_first} ({path})")
            print(f"run {number:2d} {mode:6s}: FIRST POSITION {first}")
            continue
        # The backlash approach is made only when the result differs from the first position.
        backlash = a.backlash and best is not None and best != first
        ideal = ideal_duration(exposures, a.steps, a.expo, wait_ms, backlash)
        if ideal is None:
            failed.append(f"run {number}: too few exposures for the ideal run ({path})")
            print(f"run {number:2d} {mode:6s}: TOO FEW EXPOSURES")
            continue
        over = report - ideal
        rows.setdefault(mode, []).append((report, ideal, over, calls))
        print(f"run {number:2d} {mode:6s}: measured {report:8.1f} ms  imposed {ideal:8.1f} ms  overhead {over:7.1f} ms"
              f" ({over / a.steps:5.1f} ms per step)" + (f"  {calls} late-bound calls" if calls is not None else ""))
    if a.expected is not None and len(a.outputs) < a.expected:
        failed.append(f"{a.expected - len(a.outputs)} of {a.expected} runs never ran")
    complete = sum(len(r) for r in rows.values())
    print(f"runs asked for {a.expected if a.expected is not None else len(a.outputs)}, complete {complete},"
          f" failed or missing {len(failed)}")
    med = statistics.median
    figures = {}
    for mode, group in sorted(rows.items()):
        measured = med(r[0] for r in group)
        imposed = med(r[1] for r in group)
        over = med(r[2] for r in group)
        ratio = med(r[2] / r[0] for r in group)
        low, high = min(r[2] for r in group), max(r[2] for r in group)
        calls = [r[3] for r in group if r[3] is not None]
        figures[mode] = (over, imposed, ratio, low, high, len(group))
        print(f"{mode or 'runs'}: median of {len(group)}: measured {measured:.1f} ms, imposed {imposed:.1f} ms,"
              f" overhead {over:.1f} ms = {over / a.steps:.1f} ms per step (runs {low:.1f} to {high:.1f} ms);"
              f" overhead / run {ratio:.4f}" + (f"; {med(calls):.0f} late-bound calls a run" if calls else ""))
    if "quiet" in figures and "logged" in figures:
        print(f"the simulator's file work on the run's path: {figures['logged'][0] - figures['quiet'][0]:.1f} ms a run"
              f" (logged minus quiet medians)")
    own = figures.get("quiet") or (figures.get("") if len(figures) == 1 else None)
    if own and not failed:
        over, imposed, ratio, low, high, count = own
        extra = (f"; with the simulator's file work {figures['logged'][0]:.1f} ms a run" if "logged" in figures else "")
        print(f"summary:\trun overhead, per sweep position (simulator without file work)\t{over / a.steps:.1f} ms"
              f" ({over:.1f} ms a run of {a.steps} steps)\tthe waits the run imposes, {imposed:.0f} ms a run"
              f"\t{ratio:.4f}\truns {low:.1f}-{high:.1f} ms a run{extra}; {complete} runs, none failed")
    for line in failed:
        print(f"error: {line}")
    if not rows:
        print("error: no complete runs")
    elif not own:
        print("error: no runs of the simulator without file work")
    return 1 if failed or not own else 0


if __name__ == "__main__":
    sys.exit(main())
