#!/usr/bin/env python3
"""Checks of the ideal-run model and the output parser of overhead.py.

    python3 bench/run_overhead/overhead_test.py
"""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import overhead  # noqa: E402

WAIT = 150  # first poll after 100 ms, then 50 ms: an instant move


class IdealDuration(unittest.TestCase):
    def test_table(self):
        every100 = [100 * k for k in range(1, 40)]
        cases = [
            # name, exposures, steps, expo, backlash, expected
            # on at 150: 200, 300 counted; +80+150 -> 530, ignore to 730: 800, 900; finish +730
            ("two steps", every100, 2, 2, False, 900 + 80 + 500 + WAIT),
            ("backlash approach adds 500 ms and a wait", every100, 2, 2, True, 900 + 650 + 730),
            # one value a step: 200; 430, ignore to 630: 700; 930, ignore to 1130: 1200; finish
            ("one value a step", every100, 3, 1, False, 1200 + 730),
            # a value exactly at the end of the ignore window counts
            ("value at the window's end counts", [150, 730, 2000], 2, 1, False, 730 + 730),
            # values inside the window (380 to 580) are skipped, not kept for later
            ("values in the window are lost", [150, 400, 579, 1000], 2, 1, False, 1000 + 730),
        ]
        for name, exposures, steps, expo, backlash, expected in cases:
            with self.subTest(name):
                self.assertEqual(overhead.ideal_duration(exposures, steps, expo, WAIT, backlash), expected)

    def test_too_few_exposures(self):
        self.assertIsNone(overhead.ideal_duration([200, 300], 2, 2, WAIT, False))

    def test_values_before_the_run_is_on_do_not_count(self):
        self.assertEqual(overhead.ideal_duration([100, 149, 151], 1, 1, WAIT, False), 151 + 730)


class Parse(unittest.TestCase):
    def test_host_output(self):
        text = (
            "window: 0x1\r\nsent: code=2 value=22\r\n"
            "timing: exposure n=1 ms=101.5\r\ntiming: exposure n=2 ms=201.25\r\n"
            "log:  9700 = 1234\r\nlog:  9800 = 2345\r\nlog:  9760 -> Focus\r\n"
            "result: BestFocus=9760 TrueFocus=9750 Error=10\r\ntiming: report ms=5300.5\r\n"
        )
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False, newline="") as f:
            f.write(text)
        try:
            self.assertEqual(overhead.parse(f.name), ([101.5, 201.25], 5300.5, 9700, 9760))
        finally:
            os.unlink(f.name)


class Main(unittest.TestCase):
    """Whole runs of overhead.py on made-up host outputs: modes apart, failures counted."""

    def run_main(self, texts, extra=()):
        import contextlib
        import io
        paths = []
        for text in texts:
            with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False, newline="") as f:
                f.write(text)
            paths.append(f.name)
        out = io.StringIO()
        argv = sys.argv
        sys.argv = ["overhead.py", "--steps", "1", "--expo", "1", "--backlash", "0"] + list(extra) + paths
        try:
            with contextlib.redirect_stdout(out):
                status = overhead.main()
        finally:
            sys.argv = argv
            for p in paths:
                os.unlink(p)
        return status, out.getvalue()

    # one step, one value: counted at 200, then the final 80 + 500 + 150 ms: ideal 930
    COMPLETE = "timing: exposure n=1 ms=200\nlog:  9700 = 5\nresult: BestFocus=9700\ntiming: report ms=1000\n"

    def test_cases(self):
        quiet, logged = COMPLETE + "mode: quiet\n", COMPLETE.replace("ms=1000", "ms=1010") + "mode: logged\ncalls: 9\n"
        cases = [
            # name, outputs, extra arguments, status, texts that must appear
            ("complete run", [COMPLETE], [], 0, ["overhead    70.0 ms", "complete 1", "summary:\trun overhead"]),
            ("modes apart, quiet is the figure", [quiet, logged], [], 0,
             ["quiet: median of 1", "logged: median of 1", "file work on the run's path: 10.0 ms", "\t70.0 ms (70.0 ms a run of 1 steps)", "with the simulator's file work 80.0"]),
            ("run without a report counts and fails", [quiet, "timing: exposure n=1 ms=200\n"], [], 1,
             ["NO REPORT", "failed or missing 1", "error: run 2: no report"]),
            ("no complete run fails", ["nothing\n"], [], 1, ["error: no complete runs"]),
            ("too few exposures fails", ["timing: report ms=900\n"], [], 1, ["error: run 1: too few exposures"]),
            ("wrong first position fails", [quiet], ["--first-position", "19700"], 1, ["error: run 1: first position 9700"]),
            ("right first position passes", [quiet], ["--first-position", "9700"], 0, ["complete 1"]),
            ("a run's own expectation wins", [quiet + "expect-first: 9600\n"], [], 1, ["first position 9700, not 9600"]),
            ("missing runs fail", [quiet], ["--expected", "4"], 1, ["error: 3 of 4 runs never ran"]),
            ("logged runs alone give no figure", [logged], [], 1, ["error: no runs of the simulator without file work"]),
        ]
        for name, texts, extra, status, expected in cases:
            with self.subTest(name):
                got_status, out = self.run_main(texts, extra)
                self.assertEqual(got_status, status, out)
                for text in expected:
                    self.assertIn(text, out)
                if status:
                    self.assertNotIn("summary:", out)


COMPLETE = Main.COMPLETE

if __name__ == "__main__":
    unittest.main()
