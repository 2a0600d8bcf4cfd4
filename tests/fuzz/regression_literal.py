#!/usr/bin/env python3
"""Prints the table row of tests/core/fuzz_regressions_test.cpp for regression files.

    tests/fuzz/regression_literal.py tests/fuzz/regressions/<target>/<name>...

Each row names the target's check, the file and the input bytes, so that the unit
tests replay the input natively and under Wine without reading any file.
"""
import os
import sys

CHECKS = {"settings_load": "CheckSettingsLoad", "num_edit": "CheckNumEdit", "best_focus": "CheckBestFocus",
          "dispatch": "CheckDispatch", "run_options": "CheckRunOptions",
          "run_record_file": "CheckRunRecordFile", "run_page": "CheckRunPage"}

for path in sys.argv[1:]:
    target = os.path.basename(os.path.dirname(os.path.abspath(path)))
    with open(path, "rb") as f:
        data = f.read()
    rows = []
    for start in range(0, len(data), 16):
        rows.append(", ".join("0x%02x" % b for b in data[start:start + 16]))
    body = (",\n         ").join(rows)
    print('    {"%s/%s", %s,\n        {%s}},' % (target, os.path.basename(path), CHECKS[target], body))
