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
file writes on each call).

    overhead.py --steps 7 --expo 2 --backlash 1 [--poll-ms 100 --polls 1 --after-wait-ms 50] host-output...
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
    ap.add_argument("outputs", nargs="+")
    a = ap.parse_args()
    wait_ms = a.poll_ms * a.polls + a.after_wait_ms

    rows = []
    for path in a.outputs:
        exposures, report, first, best = parse(path)
        if report is None:
            print(f"{path}: no report, skipped")
            continue
        # The backlash approach is made only when the result differs from the first position.
        backlash = a.backlash and best is not None and best != first
        ideal = ideal_duration(exposures, a.steps, a.expo, wait_ms, backlash)
        if ideal is None:
            print(f"{path}: too few exposures for the ideal run, skipped")
            continue
        over = report - ideal
        rows.append((report, ideal, over))
        print(f"run {len(rows):2d}: measured {report:8.1f} ms  imposed {ideal:8.1f} ms  overhead {over:7.1f} ms"
              f"  ({over / a.steps:6.1f} ms per step, {100 * over / report:5.2f} % of the run)")
    if not rows:
        print("no complete runs")
        return 1
    med = statistics.median
    measured = med(r[0] for r in rows)
    imposed = med(r[1] for r in rows)
    over = med(r[2] for r in rows)
    ratio = med(r[2] / r[0] for r in rows)
    print(f"median of {len(rows)} runs: measured {measured:.1f} ms, imposed {imposed:.1f} ms, "
          f"overhead {over:.1f} ms = {over / a.steps:.1f} ms per step; overhead / run {ratio:.4f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
