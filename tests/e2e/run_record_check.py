#!/usr/bin/env python3
"""Checks the run record's two files after RecordStress.exe runs (run_record_shared.sh).

  run_record_check.py RECORD PAGE [--torn N] [--grown] NAME=FIRST:LAST[+] ...

For each NAME, the record must hold the runs NAME-FIRST .. NAME-LAST once each, in that
order, and no other of NAME's runs, but with "+" maybe NAME-(LAST+1) once (a writer killed
while keeping it). FIRST may be "*": the file's trim may have taken the oldest runs, so
the runs start anywhere up to LAST. Every complete line must be a record with every
field, or (at most N of them) a torn fragment that holds no whole record; the page must
show the last 50 records, newest first. Prints one "ok"/"FAIL" line per check.
"""
import json, re, sys

FIELDS = ["time", "driver", "steps", "increment", "exposuresPerStep", "points", "pendingValues", "threePoint",
          "fit", "check", "result", "outcome", "durationMs", "temperatureStart", "temperatureEnd"]


def check(what, ok, detail=""):
    print(("ok   " if ok else "FAIL ") + what + ("" if ok or not detail else ": " + detail))


def main():
    args = sys.argv[1:]
    record, page = args[0], args[1]
    args = args[2:]
    torn_allowed, grown = 0, False
    while args and args[0].startswith("--"):
        if args[0] == "--torn":
            torn_allowed = int(args[1])
            args = args[2:]
        elif args[0] == "--grown":  # a folder that refuses new files: never trimmed
            grown = True
            args = args[1:]
    data = open(record, "rb").read()
    lines = data.split(b"\n")
    tail = lines.pop()  # after the last LF: empty, or a torn last append
    records, torn = [], []
    for line in lines:
        if not line.strip():
            continue
        try:
            r = json.loads(line.decode("utf-8"))
            ok = list(r.keys()) == FIELDS
        except ValueError:
            ok = False
        if ok:
            records.append(r)
        else:
            torn.append(line)
    if tail:
        torn.append(tail)
    check("every complete line is a record or a torn fragment (%d records, %d fragments)" % (len(records), len(torn)),
          len(torn) <= torn_allowed, repr(torn[:3])[:300])
    check("no fragment runs into a record", all(t.count(b'{"time"') <= 1 and not t.endswith(b"}") for t in torn),
          repr(torn[:3])[:300])
    if not grown:
        check("no more lines than the trim leaves", len(records) + len(torn) <= 1101)
    drivers = [r["driver"] for r in records]
    for spec in args:
        name, span = spec.split("=")
        first, last = span.split(":")
        maybe_more = last.endswith("+")
        last = int(last.rstrip("+"))
        mine = [int(d[len(name) + 1:]) for d in drivers if d.startswith(name + "-")]
        if maybe_more and mine and mine[-1] == last + 1:
            mine.pop()
        start = mine[0] if first == "*" and mine else (1 if first == "*" else int(first))
        check("%s: runs %d to %d once each, in order" % (name, start, last), mine == list(range(start, last + 1)),
              "got %s" % (mine[:5] + ["..."] + mine[-5:] if len(mine) > 10 else mine))
    text = open(page, encoding="utf-8").read()
    shown = re.findall(r"<tr><th>Driver<td>([^\n]*)", text)
    check("page shows the last %d records, newest first" % min(50, len(drivers)), shown == drivers[::-1][:50],
          "page %s, record %s" % (shown[:3], drivers[::-1][:3]))
    check("page is whole", text.endswith("</body>\n</html>\n") and text.count("<!--run-->") == len(shown))


main()
