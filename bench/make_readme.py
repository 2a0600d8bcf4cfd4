#!/usr/bin/env python3
"""Writes bench/README.md from one run of bench/run_all.sh (its log, build/bench/run_all.log).

    python3 bench/make_readme.py build/bench/run_all.log bench/README.md

Every figure in the README comes from that log: the summary tables from the "summary:"
lines the benchmarks print (figure, measured, baseline, ratio, spread), each section's
figures from that benchmark's own output, quoted whole. The prose around them says how
each is measured, never what it measured. Refuses (exit 1, with an "error:" line) a log
with an "error:" line, without a commit, or without a section's summary, so that a
README never shows a figure the run did not produce.
"""
import re
import sys

# Section key (from the reproduce command), title, and how it is measured.
OPTIONS_SIZE = """\
### What the three run options cost in size

The stripped `Quillomar.exe` before the options file, the fit, the curve check and the run
record (commit fa082f4) and with all three, measured with the MinGW-w64 `strip` on the
shipped build. The build's flags changed twice meanwhile (`-fno-ipa-sra` since b1386d9,
`-fno-move-loop-invariants` since 1066665, both beside `-Os`), so fa082f4 was built and
measured again with exactly the flags of the tree it is compared with:

| stripped bytes | 64-bit | 32-bit |
|---|---:|---:|
| before the options (fa082f4), `-Os` | 270,336 | 346,638 |
| with the options (be3b35c), `-Os` | 300,544 | 376,846 |
| growth, `-Os` | +30,208 (29.5 KB) | +30,208 (29.5 KB) |
| before the options (fa082f4), `-Os -fno-ipa-sra` | 247,808 | 343,054 |
| with the options (0ce521f), `-Os -fno-ipa-sra` | 274,944 | 368,654 |
| growth, `-Os -fno-ipa-sra` | +27,136 (26.5 KB) | +25,600 (25 KB) |
| before the options (fa082f4), `-Os -fno-ipa-sra -fno-move-loop-invariants` | 247,808 | 343,054 |
| with the options (1066665), the same flags | 267,776 | 363,534 |
| **growth, the same flags** | **+19,968 (19.5 KB)** | **+20,480 (20 KB)** |
| growth then allowed | 20,480 (20 KB) | 20,480 (20 KB) |

The growth then allowed was met on both: by 512 bytes on 64-bit, exactly on it on 32-bit (the
link maps' loaded sections grew by 19,868 and 20,268 bytes; the stripped files move in
512-byte steps). Where it goes, on 64-bit: the fit 4.1 KB, the curve check and the
analysis 2.5 KB, the C library's `exp` and `log` they call 1.1 KB; the run record's page
5.1 KB, of which its fixed text is 1.6 KB; the record's JSON line, file trimming, UTC date
and the writing of both files 2.9 KB; the decimal text, pattern writer and JSON escaping
1.4 KB; the Windows side 0.9 KB; the controller's side 1 KB; the options file reader
0.7 KB and its reading in the main window 0.4 KB. First the record was written with
`std::to_chars` and read back with `std::from_chars` for doubles, which linked their tables
(+257 KB); our own decimal text replaced them, and the page keeps its own runs so that no
JSON reader is linked. Two sections of fa082f4's 64-bit program sat a few bytes short of
their next 512-byte step (the import table and the loader's relocations), so the options
import nothing new and put no new address in data. What each change saved, and what was
tried and left: `bench/size/RESULTS.md`. Several of those savings made the code harder
to read; the record's writer, its page and the recorder were since written plainly again
for about 10 KB (RESULTS.md, last section). The sizes are now a guard, not a goal: each
stripped executable stays under 512 KB on 64-bit and 640 KB on 32-bit (`bench/size/run.sh`),
a guard against a runaway dependency.
"""

SECTIONS = [
    ("bench/startup/run.sh", "Start-up, memory and executable size (bench/startup)", """\
`StartTimer.exe` starts three programs in turn, round after round, after one untimed start
of each, under one Xvfb display and one Wine prefix, and polls every millisecond for a
visible top-level window of the new process: the program; `MinimalWindow.exe` (registers
a class, creates a top-most window, shows it, runs a message loop: the least a Win32
window program does); and `RuntimeWindow.exe`, the same plus exactly the runtime the
program must load before its window shows (COM initialised as a single-threaded
apartment, the program's manifest with common controls version 6, `InitCommonControlsEx`
with the same classes, the same three fonts created). 64-bit first, then 32-bit, each
architecture's programs started by its own `StartTimer.exe`. 1: each started with a
parameter, so it stays open; "shown" is process creation to the visible window, "exit"
adds `WM_CLOSE` and the end of the process. 2: each started without a parameter closes
itself once shown (the program by its own rules, saving its settings on the way); only
"exit" is reliable there. The summary's start-up ratios are the medians of the per-round
ratios ("pair" lines), with their spread; the targets are 1.30 against the bare window
and 1.10 against the same runtime.

Memory is noted when the window is shown. Under Wine, `GetProcessMemoryInfo` leaves
`PrivateUsage` at 0 and fills `PagefileUsage` with the Linux process's `RssAnon` (its
anonymous resident memory: heaps, stacks, written pages of the program and of Wine's own
DLLs) and `WorkingSetSize` with `VmRSS`; the idle benchmark below reads both sides at one
moment and shows them equal. So the "pagefile usage" here is not Windows' private
commit: it is what this process alone holds in RAM, Wine's share included. Sizes are of
the RelWithDebInfo, statically linked executables, stripped."""),
    ("bench/startup/phases.sh", "Start-up phases (bench/startup/phases.sh)", """\
Builds configured with `-DQM_STARTUP_TRACE=ON` (`build/win64-trace`, `build/win32-trace`)
stamp each phase of the start-up against the process's creation time; the shipped build
compiles the stamps to nothing. Each is started the number of times given, without a
parameter (it closes itself once shown), after one untimed start, and every phase's
median is printed with the median step from the phase before. "loading" (Wine's process
start, the DLLs, the C runtime) and "COM initialised" are paid by the same-runtime
baseline too; the rest is the program's own: its window and classes, its controls, its
settings, its first paint."""),
    ("bench/size/run.sh", "Executable size and where it comes from (bench/size)", """\
Each architecture's program is linked again in a build configured with
`-DQM_LINK_MAP=ON` (`build/win64-map`, `build/win32-map`: the same compiler, flags and
libraries, plus a link map); the script fails unless that build strips to exactly the
size of the executable described. `bench/size/map_groups.py` sums the map's loaded input
sections (`.text`, `.rdata`, `.data`, `.pdata`, `.xdata`, `.eh_frame`, imports,
relocations) by library group, by object file and by section; the rest of the file is PE
headers and section alignment. Both executables, Quillomar.exe and QmDriverCheck.exe, are
held to a guard of 512 KB (64-bit) and 640 KB (32-bit) stripped: a guard against a
runaway dependency (a library that drags in tables or a second runtime), not a target; the script fails when an
executable is over it."""),
    ("bench/idle", "Idle cost (bench/idle)", """\
`MinimalWindow.exe`, then the program disconnected, then the program connected to the
simulated focuser (whose position it reads twice a second), each alone in one Wine prefix,
shown, left 5 s to settle, then sampled from /proc at the start and end of a quiet minute:
CPU time (`/proc/PID/task/*/schedstat`, with the 10 ms ticks of utime + stime beside it),
voluntary/involuntary context switches (summed over the threads), for the process, for
the prefix's wineserver (which serves every Wine call that crosses processes or waits on
an object, so part of a Windows program's cost is spent there: it is included, as the
second figure) and for the session's other processes (explorer, services). The wineserver's
figure also holds the session's own background work, which the minimal program's window
measures too. The simulator runs without a steering directory, so the timer's calls do
no file work of its own. Ratios are to the minimal program; where its figure is 0 the
difference is given instead. At each window's end Probe.exe's `GetProcessMemoryInfo`
figures are put beside /proc's for the same process."""),
    ("bench/run_overhead", "Run overhead (bench/run_overhead)", """\
The real program makes complete autofocus runs against the simulated focuser (instant
moves) and the simulated host (`SimHost.exe --timing`, exposure cadence 100 ms); 7 steps of
100, 2 values a step, backlash correction on. The host times each run from posting the
start command to receiving the report and notes when it posted every focus value;
`overhead.py` computes how long an ideal program with no overhead of its own would take
given those very exposures (the pauses, the waits for each move, the values ignored after
a move, the backlash approach and the final move), and the difference is the overhead.
The simulator runs two ways, in sessions of the program taken in turn: *quiet*, with its
settings from the environment and its state in shared memory for the host, doing no file
work (the summary figure: the program's own overhead), and *logged*, with the steering
directory the end-to-end tests use (it re-reads sim.ini, appends to calls.log and rewrites
focuser.state on every call). Both start the focuser at 20000, and a run whose first sweep
position is not 19700 counts as failed (the settings did not take). Every run asked for
is counted: a run without a report is a failure of the benchmark, not a dropped row.
`overhead_test.py` checks the model and the counting first."""),
    ("bench/late_bound", "Late-bound call cost (bench/late_bound)", """\
`bench_late_bound.exe` against the in-process simulated focuser: `DispatchObject::Read`
(name resolved on every call, result converted), the position refresh of an absolute
focuser, raw `GetIDsOfNames` + `Invoke`, and as the baseline raw `Invoke` with a DISPID
resolved once; every case in each of 5 rounds, the order reversed every other round.
Then the same with the simulator's steering directory, whose file work dwarfs the call."""),
    ("paint_button", "Paint: push button (bench/paint_button)", """\
The owner-drawn push button (71 x 29, through the parent's reflected `WM_DRAWITEM` into a
memory DC) against a standard push button of the same size answering `WM_PRINTCLIENT`,
and where the owner-drawn paint spends its time. Every case in each of 9 rounds, the order
reversed every other round; medians, the rounds' range, and the ratio of each round."""),
    ("paint_spin", "Paint: spin button (bench/paint_spin)", """\
The spin button (24 x 16): the portable painter on a pixel grid (arithmetic alone) and
through a memory DC, the real control answering `WM_PRINTCLIENT` and painting its window
DC, against a standard up-down control of the same size answering `WM_PRINTCLIENT` into
the same memory DC. Every setting in each of 9 rounds, the order reversed every other
round, so the baseline no longer comes once after everything else."""),
    ("paint_window", "Paint: the whole window (bench/paint_window)", """\
`paint_window.exe` builds the main window's layout twice, side by side: with the
program's controls and with standard controls in their places (`BUTTON`, `EDIT` with an
`UPDOWN` buddy); tab control, pages, memo, labels, group box, check boxes and fonts the
same. Each of 7 rounds repaints each window the number of times the first line gives on
each page (`RedrawWindow` with `RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW |
RDW_ALLCHILDREN`), alternating which goes first; `run_all.sh` asks for 40 a round, as a
repaint takes a tenth of a second or more on the busy machine."""),
    ("settings_bench", "Settings loading and saving (bench/settings)", """\
50 MB files of several shapes; reading the file alone and loading it with the settings
component are timed in turn, 5 rounds, the order swapped every round (medians, and the
range of the rounds' ratios). Then saving the real seven-line file, unchanged (read and
compare only) and changed (temporary file, flush, rename, leftover temporary files
removed), 20 of each in turn."""),
    ("focus_accuracy", "Best-focus accuracy (bench/focus_accuracy)", """\
Deterministic (seed 1, 20,000 simulated sweeps per scenario; the true focus uniform within
±150 steps of the sweep's centre). Each sweep is logged the way the program logs it
(the largest of the Expo/Step values of each position), and four estimators read the same
step lines: the program's three-point rule (the first largest line, interpolated with its
two neighbours), a least-squares parabola through all values, the linearised hyperbola
fit (a parabola through 1/value², the star width squared), and a least-squares hyperbola
`width(p) = sqrt(a² + b²(p − c)²)` through the widths 1/value (Levenberg-Marquardt): the
fit autofocus programs use on star widths. Errors are mean absolute errors in focuser
steps; "failed" counts sweeps where an estimator gave nothing (brackets). The ratio and
the verdict compare the program with the better of the two hyperbola fits in each
scenario ("wins" below 0.9, "loses" above 1.1). The simulated star's width is exactly a
hyperbola, the fit's own model, so the fit meets its best case here; a real star's curve
departs from it, which costs a fit more than the three-point rule."""),
    ("curve_fit_accuracy", "Best-focus fit and curve check (bench/focus_accuracy/curve_fit_accuracy)", """\
Deterministic (seed 1, 2,000 simulated sweeps per scenario; the true focus uniform within
one Increment of the row's centre). Curve shapes the simulated host does not make
(Lorentzian, Gaussian, Moffat, and a Lorentzian twice as broad beyond the focus as before
it), each for a narrow and a broad star, with multiplicative and additive noise, a cloud
dimming one position and one position 1.8 times too bright. Each sweep is logged as the
program logs it and read by the program's own code: the three-point rule and
`qm::AnalyseCurve` with `best-focus = fit` (the shipped settings, then each candidate
setting beside them). The check's refusal rates are pooled over every sweep, sweeps
whose focus lies beyond the row and 20 % noise added: "good" runs have the focus
inside the row, noise up to 5 % and no cloud or outlier; "bad" runs have a result more
than one Increment from the true focus (or none)."""),
]


def split_sections(lines):
    """Header lines, and [(title, reproduce, body lines)] in order."""
    header, sections, current = [], [], None
    for i, line in enumerate(lines):
        if line.startswith("=== "):
            current = [line[4:], "", []]
            sections.append(current)
            continue
        if current is None:
            header.append(line)
        elif line.startswith("    reproduce: ") and not current[1]:
            current[1] = line[len("    reproduce: "):]
        elif line.startswith("finished: ") or line.startswith("all benchmarks produced"):
            header.append(line)
        else:
            current[2].append(line)
    return header, sections


def summaries(body):
    rows = []
    for line in body:
        if line.startswith("summary:\t"):
            parts = line.split("\t")[1:]
            while len(parts) < 5:
                parts.append("")
            rows.append(parts[:5])
    return rows


def focus_table(body):
    """{scenario: (program, parabola, hyp-lin, hyperbola)} cells as printed."""
    rows = {}
    for line in body:
        if len(line) < 26 + 4 * 15 or line.startswith("scenario") or line.startswith("summary"):
            continue
        name = line[:26].strip()
        cells = [line[26 + 15 * k: 26 + 15 * (k + 1)].strip() for k in range(4)]
        if name and all(re.match(r"^[0-9.]+( \(\d+\))?$", c) for c in cells):
            rows[name] = cells
    return rows


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    lines = open(sys.argv[1], encoding="utf-8", errors="replace").read().splitlines()
    errors = [line for line in lines if line.startswith("error:") or " error: " in line[:40]]
    if errors:
        print("error: the run reported errors; no README from it:\n  " + "\n  ".join(errors[:10]))
        return 1
    if any(line.startswith("QUICK RUN") for line in lines):
        print("error: a quick run (QM_BENCH_QUICK=1) gives no figures to quote")
        return 1
    header, sections = split_sections(lines)
    commit = next((line[len("commit: "):] for line in header if line.startswith("commit: ")), None)
    started = next((line for line in header if line.startswith("benchmarks: ")), None)
    finished = next((line for line in header if line.startswith("finished: ")), "")
    if not commit or not started or not sections:
        print("error: the log lacks its commit, its start line or its sections")
        return 1
    commit_id = commit.split()[0]

    out = []
    out.append("# Performance report\n")
    out.append(f"Generated by `bench/make_readme.py` from one run of `bench/run_all.sh --readme` on commit "
               f"**{commit}**: {started[len('benchmarks: '):]}; {finished}. Every figure below was measured in "
               f"that run, on that commit.\n")
    out.append("""\
The machine is shared: two cores, with other builds and tests running beside the
benchmarks, so absolute times move by large factors from one moment to the next (the load
average above says how busy it was). Every figure is therefore a ratio to a baseline
measured in the same run, in alternating rounds (candidate and baseline taken in turn,
the order swapped every other round), and the spread of the rounds' ratios is given beside
it; read the ratios, not the absolute times. A benchmark that cannot produce a figure (a
run without a report, a probe that fails, a missing median) ends with an "error:" line and
a non-zero exit status, and `run_all.sh` then fails and writes no README. Speed and memory
targets live here, never in timed tests.

Run them all: `bench/run_all.sh --readme` (about 20 minutes on the busy machine; it first
brings `build/win64`, `build/win32` and `build/native` up to date with `scripts/build.sh`, and the
trace and link-map builds beside them).
Each section names the command that reproduces it alone.
""")
    by_key = {}
    for title, reproduce, body in sections:
        for key, _, _ in SECTIONS:
            # The curve-fit benchmark sits in the focus_accuracy directory.
            if key == "focus_accuracy" and "curve_fit_accuracy" in reproduce:
                continue
            if key in reproduce:
                by_key[key] = (title, reproduce, body)
    missing = [key for key, _, _ in SECTIONS if key not in by_key]
    if missing:
        print(f"error: no section for {', '.join(missing)} in the log")
        return 1

    out.append(f"## Summary (commit {commit_id})\n")
    out.append("| Figure | Measured | Baseline | Ratio | Spread, notes | Reproduce |")
    out.append("|---|---|---|---|---|---|")
    for key, _, _ in SECTIONS:
        if key in ("focus_accuracy", "curve_fit_accuracy", "bench/startup/phases.sh"):
            continue
        title, reproduce, body = by_key[key]
        rows = summaries(body)
        if not rows:
            print(f"error: no summary line from {key}")
            return 1
        for figure, measured, baseline, ratio, spread in rows:
            out.append(f"| {figure} | {measured} | {baseline} | **{ratio}** | {spread} | `{reproduce}` |")
    out.append("")

    title, reproduce, body = by_key["focus_accuracy"]
    rows = summaries(body)
    table = focus_table(body)
    if not rows or not table:
        print("error: no best-focus figures")
        return 1
    out.append(f"### Best focus against the strongest peer (commit {commit_id})\n")
    out.append("Mean absolute error in focuser steps of the program's three-point rule against the better "
               "of the two hyperbola fits over the same simulated logs (the least-squares parabola beside "
               f"them); `{reproduce}`.\n")
    out.append("| scenario | program | best hyperbola fit | ratio | verdict | parabola |")
    out.append("|---|---|---|---|---|---|")
    verdicts = {"wins": [], "par": [], "loses": []}
    beats_parabola, loses_parabola = [], []
    for figure, measured, baseline, ratio, verdict in rows:
        scenario = figure.replace("best focus MAE, ", "")
        cells = table.get(scenario)
        if cells is None:
            print(f"error: no table row for {scenario}")
            return 1
        parabola = cells[1]
        out.append(f"| {scenario} | {measured} | {baseline} | **{ratio}** | {verdict} | {parabola} |")
        verdicts.setdefault(verdict, []).append(scenario)
        program_mae = float(cells[0].split()[0])
        parabola_mae = float(parabola.split()[0])
        (beats_parabola if program_mae < parabola_mae else loses_parabola).append(scenario)
    out.append("")
    def listing(names):
        if not names:
            return "none"
        if len(names) == len(rows):
            return "all of them"
        return "; ".join(names)

    def ratio_range(star_broad):
        values = [float(r[3]) for r in rows
                  if r[3] not in ("exact",) and r[0].replace("best focus MAE, ", "").startswith("broad") == star_broad]
        return f"{min(values):.2f} to {max(values):.2f}" if values else "none"

    def steps_trend(prefix):
        first, last = table.get(f"{prefix}5%, Steps 5"), table.get(f"{prefix}5%, Steps 15")
        if not first or not last:
            return "not measured"
        best = lambda cells: min(float(cells[2].split()[0]), float(cells[3].split()[0]))
        return (f"the rule's error goes from {first[0]} to {last[0]} steps, the better fit's from "
                f"{best(first):.1f} to {best(last):.1f}")

    out.append("Read plainly (derived from the table above):")
    out.append(f"- Against the hyperbola fit the three-point rule **loses** in {len(verdicts['loses'])} of "
               f"{len(rows)} scenarios ({listing(verdicts['loses'])}), is on **par** in "
               f"{len(verdicts['par'])} ({listing(verdicts['par'])}) and **wins** in "
               f"{len(verdicts['wins'])} ({listing(verdicts['wins'])}).")
    out.append(f"- Its error over the fit's: {ratio_range(False)} on the default star, {ratio_range(True)} on the "
               f"broad star (ratios where the fit is not exact).")
    out.append(f"- From Steps 5 to Steps 15 at 5 % noise: default star, {steps_trend('')}; broad star, "
               f"{steps_trend('broad, ')}.")
    out.append(f"- Against the least-squares parabola it wins in {len(beats_parabola)} scenarios "
               f"({'; '.join(beats_parabola) or 'none'}) and loses in {len(loses_parabola)} "
               f"({'; '.join(loses_parabola) or 'none'}).")
    failures = [f"{name}: {', '.join(m + ' ' + c.split('(')[1].rstrip(')') for m, c in zip(('program', 'parabola', 'hyp-lin', 'hyperbola'), cells) if '(' in c)}"
                for name, cells in table.items() if any("(" in c for c in cells)]
    program_failed = [name for name, cells in table.items() if "(" in cells[0]]
    out.append(f"- Robustness: the rule gave an estimate in every sweep of "
               f"{'every scenario' if not program_failed else 'all but ' + ', '.join(program_failed)}, while the fits "
               f"failed in some sweeps ({'; '.join(failures) or 'none'}).")
    out.append("- Noise of a fixed size (additive) weighs most on the faint values far from focus, where the "
               "widths the fit uses are largest; the rule reads only the three brightest positions.")
    out.append("")

    title, reproduce, body = by_key["curve_fit_accuracy"]
    rows = summaries(body)
    if not rows:
        print("error: no summary line from curve_fit_accuracy")
        return 1
    out.append(f"### Best-focus fit and curve check against their targets (commit {commit_id})\n")
    out.append("The opt-in `best-focus = fit` and `curve-check = on` on curve shapes the simulated host does not "
               f"make (section below); `{reproduce}`.\n")
    out.append("| Figure | Measured | Target | Verdict |")
    out.append("|---|---|---|---|")
    for figure, measured, target, verdict, _ in rows:
        out.append(f"| {figure} | {measured} | {target} | **{verdict}** |")
    out.append("")
    # Measured by hand against the tree before the options; see bench/size/RESULTS.md.
    out.append(OPTIONS_SIZE)

    for key, heading, prose in SECTIONS:
        title, reproduce, body = by_key[key]
        out.append(f"## {heading}\n")
        out.append(f"Commit {commit_id}. Reproduce: `{reproduce}`.\n")
        out.append(prose + "\n")
        kept = [line for line in body if not line.startswith("summary:")]
        while kept and not kept[-1].strip():
            kept.pop()
        while kept and not kept[0].strip():
            kept.pop(0)
        out.append("```")
        out.extend(kept)
        out.append("```\n")

    out.append("## Not here\n")
    out.append("The settings durability figures (kills during saves) are counted by "
               "`tests/e2e/settings_durability.sh` itself, which prints them on every run; "
               "they are no longer quoted here, where they went stale when saving began to remove "
               "leftover temporary files.\n")
    out.append("What was changed to make the executables smaller, and the figures before and after each "
               "change: `bench/size/RESULTS.md`.\n")
    with open(sys.argv[2], "w", encoding="utf-8") as f:
        f.write("\n".join(out))
    print(f"wrote {sys.argv[2]} from {sys.argv[1]} (commit {commit})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
