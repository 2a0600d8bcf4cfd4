#!/usr/bin/env python3
"""Sums GoogleTest XML reports: prints 'passed failed skipped'."""
import sys
import xml.etree.ElementTree as ET

passed = failed = skipped = 0
for path in sys.argv[1:]:
    try:
        root = ET.parse(path).getroot()
    except (ET.ParseError, OSError):
        failed += 1  # a report cut short: the executable crashed while writing it
        continue
    for case in root.iter("testcase"):
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
        elif case.find("skipped") is not None or case.get("result") == "skipped" or case.get("status") == "notrun":
            skipped += 1
        else:
            passed += 1
print(passed, failed, skipped)
