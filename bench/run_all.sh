#!/usr/bin/env bash
# Runs every benchmark once, one after the other, and prints its figures: start-up,
# memory and executable sizes, start-up phases, where the executables' bytes come
# from, idle cost, run overhead, late-bound call cost, paint costs (push button, spin button, whole window), settings loading, and best-focus
# accuracy. Each section names the one command that reproduces it alone. Every
# figure is a ratio to a baseline measured in the same run, alternating with it.
#   bench/run_all.sh [--readme]
# With --readme, bench/README.md is written from this run's output (bench/make_readme.py).
# The output is also kept in build/bench/run_all.log. The commit measured is printed
# first, and the builds are brought up to date with it first (scripts/build.sh; nothing
# to do when they are), so that the figures belong to that commit; QM_BENCH_NO_BUILD=1
# skips that for builds made elsewhere.
# Exit status 1, with an "error:" line per benchmark, when any benchmark could not
# produce its figures; no README is then written.
# QM_BENCH_QUICK=1 runs every benchmark briefly (few rounds, small counts): to try the
# scripts, never for figures.
# Environment: QM_BUILD64, QM_BUILD32 (Windows build directories, default build/win64
# and build/win32), QM_NATIVE (native build directory, default build/native; without a
# native focus_accuracy the Windows one runs under Wine).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export QM_BUILD64=${QM_BUILD64:-$root/build/win64}
export QM_BUILD32=${QM_BUILD32:-$root/build/win32}
native=${QM_NATIVE:-$root/build/native}
b64=$QM_BUILD64
readme=0
[ "${1:-}" = "--readme" ] && readme=1
log=$root/build/bench/run_all.log
mkdir -p "$(dirname "$log")"

main() {
  local failed=() commit dirty
  commit=$(git -C "$root" rev-parse --short=12 HEAD 2>/dev/null || echo unknown)
  dirty=$(git -C "$root" status --porcelain --untracked-files=no 2>/dev/null | grep -v '^.. bench/README.md$' | wc -l)
  echo "benchmarks: $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "commit: $commit$([ "$dirty" -gt 0 ] && echo " with $dirty uncommitted changes")"
  echo "builds: $QM_BUILD64 $QM_BUILD32 $native; $(wine --version 2>/dev/null)"
  if [ "${QM_BENCH_NO_BUILD:-0}" != 1 ]; then
    "$root/scripts/build.sh" native win64 win32 >/dev/null 2>&1 || { echo "error: the builds failed (scripts/build.sh)"; return 1; }
  fi

  # Arguments of each benchmark: none (its defaults) or, quick, small ones.
  local q_startup=() q_idle=() q_overhead=() q_late=() q_button=() q_spin=() q_window=() q_settings=() q_focus=() q_curve=()
  if [ "${QM_BENCH_QUICK:-0}" = 1 ]; then
    echo "QUICK RUN: small counts, for trying the scripts; these are not figures to quote"
    q_startup=(3) q_idle=(10) q_overhead=(1 1) q_late=(300) q_button=(200 3) q_spin=(100 3) q_window=(20 3)
    q_settings=(5 3) q_focus=(2000) q_curve=(400)
  else
    # The whole window takes 0.1 to 0.3 s a repaint on the busy machine: 40 a round.
    q_window=(40 7)
  fi

  section() {
    echo
    echo "=== $1"
    echo "    reproduce: ${2//$root\//}"
  }
  # run NAME COMMAND...: one benchmark; its exit status decides, not its output.
  run() {
    local name=$1; shift
    "$@"
    local status=$?
    if [ $status != 0 ]; then
      echo "error: benchmark $name failed (exit status $status)"
      failed+=("$name")
    fi
  }
  # A Windows benchmark in its own Xvfb display and fresh prefix; its exit status kept.
  winbench() { "$root/scripts/winrun" --timeout 900 "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }

  section "start-up time against a minimal window program and one loading the same runtime; memory; sizes" \
    "bench/startup/run.sh"
  run startup "$root/bench/startup/run.sh" "${q_startup[@]}"

  local nobuild=()
  [ "${QM_BENCH_NO_BUILD:-0}" = 1 ] && nobuild=(--no-build)
  section "start-up phases: where the program's own start-up time goes" "bench/startup/phases.sh"
  run phases "$root/bench/startup/phases.sh" "${nobuild[@]}" "${q_startup[@]}"

  section "executable size: the stripped executables against their targets, and where their bytes come from" \
    "bench/size/run.sh"
  run size "$root/bench/size/run.sh" "${nobuild[@]}"

  section "idle cost: CPU time and context switches over a quiet minute against the minimal program" "bench/idle/run.sh"
  run idle "$root/bench/idle/run.sh" "${q_idle[@]}"

  section "run overhead: complete runs against the waits the run and the simulation impose" "bench/run_overhead/run.sh"
  run run_overhead "$root/bench/run_overhead/run.sh" "${q_overhead[@]}"

  section "late-bound call cost against a plain IDispatch::Invoke with a cached DISPID" "bench/late_bound/run.sh"
  run late_bound "$root/bench/late_bound/run.sh" "${q_late[@]}"

  section "paint: push button against a standard push button" "scripts/winrun $b64/bench/paint_button/paint_button.exe"
  run paint_button winbench "$b64/bench/paint_button/paint_button.exe" "${q_button[@]}"

  section "paint: spin button against a standard up-down control" "scripts/winrun $b64/bench/paint_spin/paint_spin.exe"
  run paint_spin winbench "$b64/bench/paint_spin/paint_spin.exe" "${q_spin[@]}"

  section "paint: the window with own controls against the same window with standard controls" \
    "scripts/winrun $b64/bench/paint_window/paint_window.exe"
  run paint_window winbench "$b64/bench/paint_window/paint_window.exe" "${q_window[@]}"

  section "settings: loading large files against reading them alone" "scripts/winrun $b64/bench/settings/settings_bench.exe"
  run settings winbench "$b64/bench/settings/settings_bench.exe" "${q_settings[@]}"

  if [ -x "$native/bench/focus_accuracy/focus_accuracy" ]; then
    section "best-focus error on simulated noisy sweeps beside least-squares fits" \
      "$native/bench/focus_accuracy/focus_accuracy"
    run focus_accuracy "$native/bench/focus_accuracy/focus_accuracy" "${q_focus[@]}"
  else
    section "best-focus error on simulated noisy sweeps beside least-squares fits" \
      "scripts/winrun $b64/bench/focus_accuracy/focus_accuracy.exe"
    run focus_accuracy winbench "$b64/bench/focus_accuracy/focus_accuracy.exe" "${q_focus[@]}"
  fi

  if [ -x "$native/bench/focus_accuracy/curve_fit_accuracy" ]; then
    section "best-focus fit and curve check on other curve shapes, against their targets" \
      "$native/bench/focus_accuracy/curve_fit_accuracy"
    run curve_fit_accuracy "$native/bench/focus_accuracy/curve_fit_accuracy" "${q_curve[@]}"
  else
    section "best-focus fit and curve check on other curve shapes, against their targets" \
      "scripts/winrun $b64/bench/focus_accuracy/curve_fit_accuracy.exe"
    run curve_fit_accuracy winbench "$b64/bench/focus_accuracy/curve_fit_accuracy.exe" "${q_curve[@]}"
  fi

  echo
  echo "finished: $(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
  if [ ${#failed[@]} -gt 0 ]; then
    echo "error: ${#failed[@]} benchmarks failed: ${failed[*]}"
    return 1
  fi
  echo "all benchmarks produced their figures"
}

main 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
if [ "$status" = 0 ] && [ $readme = 1 ]; then
  python3 "$root/bench/make_readme.py" "$log" "$root/bench/README.md" || status=1
fi
exit "$status"
