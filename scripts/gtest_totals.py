#!/usr/bin/env python3
"""Sums GoogleTest XML reports: prints 'passed failed skipped total'.

  gtest_totals.py [--fail-skips-matching REGEX] XML...

A report that cannot be read (missing, or cut short because the executable crashed
while writing it) prints 'missing' instead. With --fail-skips-matching, a case that
skipped itself with a message matching REGEX counts as failed, and its name goes to
standard error: where the test command has set up what such a case waits for, its
skip means the setup did not reach it.
"""
import re
import sys
import xml.etree.ElementTree as ET


def main(argv):
    skip_fails = None
    if len(argv) >= 2 and argv[0] == "--fail-skips-matching":
        skip_fails = re.compile(argv[1], re.IGNORECASE)
        argv = argv[2:]
    passed = failed = skipped = 0
    for path in argv:
        try:
            root = ET.parse(path).getroot()
        except (ET.ParseError, OSError):
            print("missing")
            return 0
        for case in root.iter("testcase"):
            skip = case.find("skipped")
            if case.find("failure") is not None or case.find("error") is not None:
                failed += 1
            elif skip is not None or case.get("result") == "skipped" or case.get("status") == "notrun":
                message = "" if skip is None else (skip.get("message") or "") + (skip.text or "")
                if skip_fails is not None and skip_fails.search(message):
                    failed += 1
                    print(f"skipped although it must run: {case.get('classname')}.{case.get('name')}",
                          file=sys.stderr)
                else:
                    skipped += 1
            else:
                passed += 1
    print(passed, failed, skipped, passed + failed + skipped)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
