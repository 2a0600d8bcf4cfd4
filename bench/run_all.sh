#!/usr/bin/env bash
# Runs every benchmark once, one after the other, and prints its figures: start-up and
# executable sizes, run overhead, late-bound call cost, paint costs (push button, spin
# button, whole window), settings loading, and best-focus accuracy. Each section names
# the one command that reproduces it alone. bench/README.md reports a run of this.
#   bench/run_all.sh
# Environment: QM_BUILD64, QM_BUILD32 (Windows build directories, default build/win64
# and build/win32), QM_NATIVE (native build directory, default build/native; without a
# native focus_accuracy the Windows one runs under Wine).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export QM_BUILD64=${QM_BUILD64:-$root/build/win64}
export QM_BUILD32=${QM_BUILD32:-$root/build/win32}
native=${QM_NATIVE:-$root/build/native}
b64=$QM_BUILD64

section() {
  echo
  echo "=== $1"
  echo "    reproduce: $2"
}
# A Windows benchmark in its own Xvfb display and fresh prefix.
winbench() { "$root/scripts/winrun" --timeout 600 "$@" 2>/dev/null | tr -d '\r'; }

echo "benchmarks: $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "builds: $QM_BUILD64 $QM_BUILD32; $(wine --version 2>/dev/null)"

section "start-up time against a minimal Win32 window program; executable sizes" "bench/startup/run.sh"
"$root/bench/startup/run.sh"

section "run overhead: complete runs against the waits the run and the simulation impose" "bench/run_overhead/run.sh"
"$root/bench/run_overhead/run.sh"

section "late-bound call cost against a plain IDispatch::Invoke with a cached DISPID" "bench/late_bound/run.sh"
"$root/bench/late_bound/run.sh"

section "paint: push button against a standard push button" "scripts/winrun $b64/bench/paint_button/paint_button.exe"
winbench "$b64/bench/paint_button/paint_button.exe"

section "paint: spin button" "scripts/winrun $b64/bench/paint_spin/paint_spin.exe"
winbench "$b64/bench/paint_spin/paint_spin.exe"

section "paint: the window with own controls against the same window with standard controls" \
  "scripts/winrun $b64/bench/paint_window/paint_window.exe"
winbench "$b64/bench/paint_window/paint_window.exe"

section "settings: loading large files against reading them alone" "scripts/winrun $b64/bench/settings/settings_bench.exe"
winbench "$b64/bench/settings/settings_bench.exe"

if [ -x "$native/bench/focus_accuracy/focus_accuracy" ]; then
  section "best-focus error on simulated noisy sweeps beside least-squares fits" \
    "$native/bench/focus_accuracy/focus_accuracy"
  "$native/bench/focus_accuracy/focus_accuracy"
else
  section "best-focus error on simulated noisy sweeps beside least-squares fits" \
    "scripts/winrun $b64/bench/focus_accuracy/focus_accuracy.exe"
  winbench "$b64/bench/focus_accuracy/focus_accuracy.exe"
fi
