#!/usr/bin/env python3
"""Checks the run record's two files after RecordStress.exe runs (run_record_shared.sh).

  run_record_check.py RECORD PAGE [--torn N] [--grown] [--cut N] NAME=FIRST:LAST[+] ...

For each NAME, the record must hold the runs NAME-FIRST .. NAME-LAST once each, in that
order, and no other of NAME's runs, but with "+" maybe NAME-(LAST+1) once (a writer killed
while keeping it). FIRST may be "*" for writers whose oldest runs a trim took: their runs
then start anywhere up to LAST+1, and the runs missing from the beginnings of all the "*"
writers together must number exactly N of --cut N, the records the trims took (0 without
--cut), so that a beginning lost any other way shows. Every complete line must be a record
with every field, or (at most N of --torn) a torn fragment that holds no whole record.
The page must show the last 50 records, newest first; one state only may leave it one run
behind: the newest record is the "+" run of a killed writer, which was killed after its
append and before its page, and the page shows the 50 records before it.
Prints one "ok"/"FAIL" line per check.
"""
import json, re, sys

FIELDS = ["time", "driver", "steps", "increment", "exposuresPerStep", "points", "pendingValues", "threePoint",
          "fit", "check", "result", "outcome", "durationMs", "temperatureStart", "temperatureEnd"]


def check(what, ok, detail=""):
    print(("ok   " if ok else "FAIL ") + what + ("" if ok or not detail else ": " + detail))


def shorten(runs):
    return runs[:5] + ["..."] + runs[-5:] if len(runs) > 10 else runs


def main():
    args = sys.argv[1:]
    record, page = args[0], args[1]
    args = args[2:]
    torn_allowed, grown, cut = 0, False, 0
    while args and args[0].startswith("--"):
        if args[0] == "--torn":
            torn_allowed = int(args[1])
            args = args[2:]
        elif args[0] == "--cut":
            cut = int(args[1])
            args = args[2:]
        elif args[0] == "--grown":  # a folder that refuses new files: never trimmed
            grown = True
            args = args[1:]
        else:
            sys.exit("unknown option " + args[0])
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
    killed_newest = set()  # the "+" run of a killed writer, as its driver name
    trimmed = 0
    for spec in args:
        name, span = spec.split("=")
        first, last = span.split(":")
        maybe_more = last.endswith("+")
        last = int(last.rstrip("+"))
        mine = [int(d[len(name) + 1:]) for d in drivers if d.startswith(name + "-")]
        if maybe_more:
            killed_newest.add("%s-%d" % (name, last + 1))
            if mine and mine[-1] == last + 1:
                mine.pop()
        if first == "*":
            start = mine[0] if mine else last + 1
            trimmed += start - 1
        else:
            start = int(first)
        check("%s: runs %d to %d once each, in order" % (name, start, last), mine == list(range(start, last + 1)),
              "got %s" % shorten(mine))
    if any(spec.split("=")[1].startswith("*") for spec in args) or cut:
        check("the runs missing from the writers' beginnings are the %d the trims took" % cut, trimmed == cut,
              "%d missing" % trimmed)
    text = open(page, encoding="utf-8").read()
    shown = re.findall(r"<tr><th>Driver<td>([^\n]*)", text)
    newest = drivers[::-1][:50]
    behind = bool(drivers) and drivers[-1] in killed_newest and shown == drivers[-2::-1][:50]
    check("page shows the last %d records, newest first%s" % (len(newest), ", but for the killed writer's last"
                                                                  if behind else ""),
          shown == newest or behind, "page %s, record %s" % (shown[:3], newest[:3]))
    check("page is whole", text.endswith("</body>\n</html>\n") and text.count("<!--run-->") == len(shown))


if __name__ == "__main__":
    main()
