#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each of them for a fixed time.
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]   (default 20 s, every target)
# Each target first replays every file of tests/fuzz/regressions/<target>/, then fuzzes
# for the given time over a working copy of its corpus in build/fuzz/corpus/<target>
# (the committed seeds in tests/fuzz/corpus are only read, never written). Inputs that
# crash are kept in build/fuzz/artifacts/<target>/.
# Prints one line per target, "fuzz <target>: <runs> runs (minimum <m>), ok|CRASH|TOO FEW",
# and exits non-zero when any target crashed, broke an invariant, or ran fewer inputs
# than its minimum: a target that hangs on its start or spends its time outside the
# code under test must not pass on a handful of inputs.
# QM_FUZZ_MIN_RUNS_PER_S sets the minimum (default 100 inputs per second of fuzzing). The
# slowest target, dispatch, ran 5,089 inputs in 20 s on a 2-core machine at a load of
# 20 (about 250 a second); the others ran 15,000 to 50,000.
# QM_BUILD_SUFFIX=-name builds into build/fuzz-name instead of build/fuzz; QM_FUZZ_BUILD
# names a build directory configured with -DQM_FUZZ=ON to use instead (scripts/test.sh
# gives the sanitized build, which holds the fuzz targets).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
shift $(( $# > 0 ? 1 : 0 ))
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(settings_load num_edit best_focus dispatch run_options run_record_file run_page)
case "$seconds" in ''|*[!0-9]*) echo "fuzz.sh: seconds must be a whole number" >&2; exit 2 ;; esac

dir=${QM_FUZZ_BUILD:-$root/build/fuzz${QM_BUILD_SUFFIX:-}}
mkdir -p "$dir"
if [ -n "${QM_FUZZ_BUILD:-}" ] && ! grep -q '^QM_FUZZ:BOOL=ON' "$dir/CMakeCache.txt" 2>/dev/null; then
  echo "fuzz.sh: $dir is not a build configured with -DQM_FUZZ=ON (scripts/build.sh native-san makes one)"; exit 1
fi
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_FUZZ=ON \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >"$dir/configure.log" 2>&1 \
    || { echo "fuzz.sh: configure failed:"; tail -20 "$dir/configure.log"; exit 1; }
fi
build_targets=()
for t in "${targets[@]}"; do build_targets+=(--target "fuzz_$t"); done
if ! cmake --build "$dir" -j "$(nproc)" "${build_targets[@]}" >"$dir/build.log" 2>&1; then
  echo "fuzz.sh: build failed:"; grep -E 'error|Error' "$dir/build.log" | head -30; exit 1
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
min_runs=$(( ${QM_FUZZ_MIN_RUNS_PER_S:-100} * seconds ))
crashed=0
for t in "${targets[@]}"; do
  exe="$dir/tests/fuzz/fuzz_$t"
  if [ ! -x "$exe" ]; then echo "fuzz $t: 0 runs (minimum $min_runs), CRASH (not built)"; crashed=$((crashed + 1)); continue; fi
  corpus="$dir/corpus/$t"
  artifacts="$dir/artifacts/$t"
  log="$dir/fuzz_$t.log"
  mkdir -p "$corpus" "$artifacts"
  # The seeds join the working corpus, which keeps what earlier runs found.
  [ -d "$root/tests/fuzz/corpus/$t" ] && cp -n "$root/tests/fuzz/corpus/$t"/* "$corpus"/ 2>/dev/null
  dict=(); [ -f "$root/tests/fuzz/dict/$t.dict" ] && dict=(-dict="$root/tests/fuzz/dict/$t.dict")
  status=ok

  regressions=("$root/tests/fuzz/regressions/$t"/*)
  if [ -e "${regressions[0]}" ]; then
    if ! timeout -k 5 300 "$exe" "${regressions[@]}" >"$dir/regressions_$t.log" 2>&1; then
      status=CRASH
      echo "fuzz $t: a regression case fails:"; grep -E 'invariant broken|ERROR|runtime error|Running:' "$dir/regressions_$t.log" | tail -5
    fi
  fi

  timeout -k 10 $((seconds + 120)) "$exe" "${dict[@]}" -max_total_time="$seconds" -max_len=4096 -timeout=20 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1
  rc=$?
  runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' | tail -1)
  [ -z "$runs" ] && runs=$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#')
  if [ $rc -ne 0 ]; then
    status=CRASH
    grep -E 'invariant broken|ERROR: |runtime error|Test unit written to' "$log" | head -5 | sed 's/^/  /'
  fi
  [ $status = ok ] && [ "${runs:-0}" -lt "$min_runs" ] && status="TOO FEW"
  [ "$status" != ok ] && crashed=$((crashed + 1))
  echo "fuzz $t: ${runs:-0} runs (minimum $min_runs), $status"
done
[ $crashed -eq 0 ]
