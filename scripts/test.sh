#!/usr/bin/env bash
# Runs every test: installs what is missing, builds, then runs
#   1. the native unit tests (core and tools), the same tests built with ASan and UBSan,
#      and a short pass of every fuzz target,
#   2. the Win32 tests and the core tests under Wine, 64-bit and 32-bit,
#   3. the self-test of the test tools (tools/probe/selftest.sh),
#   4. the end-to-end tests (tests/e2e/*.sh) against the real program under Wine + Xvfb.
# Each configuration is counted under its own name (the core tests run in four: native,
# sanitized, Wine 64-bit, Wine 32-bit); the last line is the total,
# "N passed, N failed, N skipped". Exit status 0 only when nothing failed.
#
# What counts as a failure, besides a failed test case:
#   - a test executable that is missing, exits with a non-zero status, leaves no report,
#     or (sanitized) prints a sanitizer report, LeakSanitizer's at exit included;
#   - a test executable with fewer results than the same executable in another
#     configuration (its report lost cases);
#   - a simulator test that skipped itself where this command registered the simulator
#     (under Wine, and everywhere when CI=true);
#   - a fuzz target that crashed or ran fewer inputs than its minimum;
#   - a failed build, a failed self-test check, a failed end-to-end script.
#
#   scripts/test.sh [--quick] [--only STAGE,...] [--e2e NAME,...] [--no-build]
#     --quick     no sanitizer build, no fuzzing, no 32-bit runs
#     --only      stages among native, san, fuzz, wine, selftest, e2e (default: all)
#     --e2e       only these end-to-end scripts (names without .sh)
#     --no-build  test what the build directories hold
# QM_TEST_NO_SETUP=1 skips the package check (scripts/setup.sh). The build directories
# are build/native, build/native-san, build/win64 and build/win32 unless QM_BUILD_NATIVE,
# QM_BUILD_SAN, QM_BUILD64 or QM_BUILD32 name others (with --no-build: to test another
# build, as scripts/plant_faults.sh does).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
quick=0
stages=(native san fuzz wine selftest e2e)
e2e_only=""
build=1
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --only) IFS=, read -r -a stages <<<"${2:-}"; shift ;;
    --e2e) e2e_only=",${2:-},"; shift ;;
    --no-build) build=0 ;;
    *) echo "usage: scripts/test.sh [--quick] [--only STAGE,...] [--e2e NAME,...]" >&2; exit 2 ;;
  esac
  shift
done
[ $quick = 1 ] && stages=($(printf '%s\n' "${stages[@]}" | grep -vxE 'san|fuzz'))
has_stage() { printf '%s\n' "${stages[@]}" | grep -qx "$1"; }

[ "${QM_TEST_NO_SETUP:-0}" = 1 ] || "$root/scripts/setup.sh"
# The builds and the one full Wine prefix take about 2 GB; say so up front rather
# than fail later with a flood of write errors.
free_kb=$(df -Pk "$root" | awk 'NR == 2 { print $4 }')
if [ "${free_kb:-0}" -lt 2500000 ]; then
  echo "warning: only $((free_kb / 1024)) MB free on the disk of $root; the tests need about 2 GB"
fi
export QM_BUILD64=${QM_BUILD64:-$root/build/win64} QM_BUILD32=${QM_BUILD32:-$root/build/win32}
build_native=${QM_BUILD_NATIVE:-$root/build/native}
build_san=${QM_BUILD_SAN:-$root/build/native-san}
results=${QM_TEST_RESULTS:-$root/build/test-results}
rm -rf "$results"; mkdir -p "$results"
start_all=$(date +%s)

# ---- counting, per configuration ----------------------------------------------------
configs=()
declare -A c_passed c_failed c_skipped
count() {  # count CONFIG PASSED FAILED SKIPPED
  [ -n "${c_passed[$1]+x}" ] || { configs+=("$1"); c_passed[$1]=0; c_failed[$1]=0; c_skipped[$1]=0; }
  c_passed[$1]=$((c_passed[$1] + $2)); c_failed[$1]=$((c_failed[$1] + $3)); c_skipped[$1]=$((c_skipped[$1] + $4))
}
failure() {  # failure CONFIG TEXT: one failure that is not a test case's own
  count "$1" 0 1 0
  echo "  FAIL [$1] $2"
}
# Results per executable and configuration, for the comparison at the end.
declare -A results_of
exe_configs=()

# judge_gtest CONFIG EXE_NAME XML LOG RC [SIM_SKIPS_FAIL]: counts one executable's run.
judge_gtest() {
  local config=$1 name=$2 xml=$3 log=$4 rc=$5 sim_skips=${6:-0} totals p f s n args=()
  if [ "$rc" = missing ]; then
    failure "$config" "$name: the executable is missing (build failed or not built)"
    results_of[$name/$config]=0; exe_configs+=("$name/$config"); return
  fi
  [ "$sim_skips" = 1 ] && args=(--fail-skips-matching 'QmSimAscom|simulat')
  totals=$(python3 "$root/scripts/gtest_totals.py" "${args[@]}" "$xml" 2> "$xml.skips")
  sed "s/^/  FAIL [$config] $name: /" "$xml.skips"
  if [ "$totals" = missing ]; then
    failure "$config" "$name: left no report (exit status $rc); last lines of its output:"
    tail -15 "$log" | sed 's/^/      /'
    results_of[$name/$config]=0; exe_configs+=("$name/$config"); return
  fi
  read -r p f s n <<<"$totals"
  count "$config" "$p" "$f" "$s"
  results_of[$name/$config]=$n; exe_configs+=("$name/$config")
  if [ "$f" -gt 0 ]; then
    echo "  $name ($config): $f failed:"
    grep -aE '^\[  FAILED|Failure' -A3 "$log" | head -40 | sed 's/^/      /'
  fi
  if [ "$rc" != 0 ] && [ "$f" = 0 ]; then
    failure "$config" "$name: exited with status $rc although its report shows no failed case"
    tail -15 "$log" | sed 's/^/      /'
  fi
}
# Sanitizer reports go to the log, some (LeakSanitizer) after the report is written.
sanitizer_report() { grep -aE 'ERROR: [A-Za-z]+Sanitizer|runtime error:|SUMMARY: [A-Za-z]+Sanitizer' "$1" | head -5; }

# ---- builds -------------------------------------------------------------------------
archs=(64); [ $quick = 0 ] && archs+=(32)
targets=()
{ has_stage native || has_stage e2e; } && targets+=(native)
{ has_stage wine || has_stage selftest || has_stage e2e; } && targets+=(win64)
{ has_stage wine || has_stage e2e; } && [ $quick = 0 ] && targets+=(win32)
has_stage san && targets+=(native-san)
[ $build = 0 ] && targets=()
for t in "${targets[@]}"; do
  echo "== build $t"
  if "$root/scripts/build.sh" "$t" > "$results/build-$t.log" 2>&1; then
    count build 1 0 0
  else
    failure build "build $t failed:"; tail -30 "$results/build-$t.log"
  fi
done

# Tool test executables the build must produce.
tool_tests=$(sed -n 's/^ *add_executable(\([A-Za-z0-9_]*_tests\)\b.*/\1/p' "$root"/tools/*/CMakeLists.txt | sort -u)
run_native() {  # run_native CONFIG BUILD_DIR PREFIX [ENV...]
  local config=$1 dir=$2 prefix=$3 exe name rc xml log bad; shift 3
  for name in core_tests $tool_tests; do
    exe=$(find "$dir" -maxdepth 3 -name "$name" -type f -executable 2>/dev/null | head -1)
    xml="$results/$prefix-$name.xml"; log="$results/$prefix-$name.log"
    if [ -z "$exe" ]; then judge_gtest "$config" "$name" "$xml" "$log" missing; continue; fi
    env "$@" timeout -k 5 900 "$exe" --gtest_output="xml:$xml" > "$log" 2>&1
    rc=$?
    judge_gtest "$config" "$name" "$xml" "$log" "$rc" "${CI_SIM_SKIPS:-0}"
    bad=$(sanitizer_report "$log")
    if [ -n "$bad" ]; then
      failure "$config" "$name: sanitizer report:"; sed 's/^/      /' <<<"$bad"
    fi
  done
}
[ "${CI:-}" = true ] && CI_SIM_SKIPS=1

if has_stage native; then
  echo "== native tests"
  run_native native "$build_native" native
fi
if has_stage san; then
  echo "== native tests with AddressSanitizer and UndefinedBehaviorSanitizer"
  run_native sanitized "$build_san" san \
    ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi

if has_stage fuzz; then
  echo "== fuzz targets (20 s each)"
  "$root/scripts/fuzz.sh" 20 > "$results/fuzz.log" 2>&1
  fuzz_rc=$?
  grep '^fuzz ' "$results/fuzz.log" | sed 's/^/  /'
  fuzz_passed=$(grep -c '^fuzz .* ok$' "$results/fuzz.log")
  fuzz_failed=$(grep -c '^fuzz .*\(CRASH\|TOO FEW\)' "$results/fuzz.log")
  count fuzz "$fuzz_passed" "$fuzz_failed" 0
  if [ "$fuzz_passed" -eq 0 ] && [ "$fuzz_failed" -eq 0 ]; then
    failure fuzz "the fuzz run produced no results:"; tail -20 "$results/fuzz.log"
  elif [ "$fuzz_rc" != 0 ] && [ "$fuzz_failed" -eq 0 ]; then
    failure fuzz "scripts/fuzz.sh ended with status $fuzz_rc:"; tail -20 "$results/fuzz.log"
  fi
fi

if has_stage wine; then
  echo "== Win32 tests under Wine"
  QM_ARCHS="${archs[*]}" timeout -k 10 1500 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
    "$root/scripts/wine_tests.sh" "$results" > "$results/wine.log" 2>&1 \
    || echo "  (the Wine test run ended with status $?; see $results/wine.log)"
  for arch in "${archs[@]}"; do
    for exe in core_tests win_tests; do
      out="$results/wine-$arch-$exe"
      rc=$(cat "$out.rc" 2>/dev/null || echo "not run")
      # wine_tests.sh registered the simulator: a simulator test that skips is a failure.
      judge_gtest "Wine $arch-bit" "$exe" "$out.xml" "$out.log" "$rc" 1
    done
  done
fi

if has_stage selftest; then
  echo "== self-test of the test tools"
  "$root/tools/probe/selftest.sh" "$QM_BUILD64" > "$results/selftest.log" 2>&1
  rc=$?
  line=$(grep -E '^selftest: [0-9]+ passed, [0-9]+ failed$' "$results/selftest.log" | tail -1)
  if [ -z "$line" ]; then
    failure selftest "tools/probe/selftest.sh gave no result (exit status $rc):"
    tail -15 "$results/selftest.log" | sed 's/^/      /'
  else
    read -r p f < <(sed 's/^selftest: \([0-9]*\) passed, \([0-9]*\) failed$/\1 \2/' <<<"$line")
    count selftest "$p" "$f" 0
    grep '^FAIL' -A3 "$results/selftest.log" | sed 's/^/      /'
    [ "$rc" != 0 ] && [ "$f" = 0 ] && failure selftest "tools/probe/selftest.sh exited with status $rc"
  fi
  echo "  $line"
fi

if has_stage e2e; then
  echo "== end-to-end tests"
  for t in "$root"/tests/e2e/*.sh; do
    [ "$(basename "$t")" = lib.sh ] && continue
    name=$(basename "$t" .sh)
    [ -n "$e2e_only" ] && [[ $e2e_only != *",$name,"* ]] && continue
    arch_runs=(64)
    [ $quick = 0 ] && grep -q '^# e2e: both-architectures' "$t" && arch_runs+=(32)
    for arch in "${arch_runs[@]}"; do
      start=$(date +%s)
      QM_E2E_ARCH=$arch timeout -k 10 1000 bash "$t" > "$results/e2e-$name-$arch.log" 2>&1
      rc=$?
      took=$(( $(date +%s) - start ))
      if [ $rc -eq 0 ]; then
        count "end-to-end $arch-bit" 1 0 0; echo "  passed  $name ($arch-bit, ${took}s)"
      elif [ $rc -eq 77 ]; then
        count "end-to-end $arch-bit" 0 0 1; echo "  skipped $name ($arch-bit)"
      else
        count "end-to-end $arch-bit" 0 1 0; echo "  FAILED  $name ($arch-bit, ${took}s, status $rc)"
        sed 's/^/      /' "$results/e2e-$name-$arch.log" | tail -40
      fi
    done
  done
fi

# ---- the same executable in each configuration must give as many results ------------
for name in $(printf '%s\n' "${exe_configs[@]}" | cut -d/ -f1 | sort -u); do
  most=0; line=""
  for key in "${exe_configs[@]}"; do
    [ "${key%%/*}" = "$name" ] || continue
    n=${results_of[$key]}; line+=" ${key#*/} $n,"
    [ "$n" -gt "$most" ] && most=$n
  done
  echo "  $name results:${line%,}"
  for key in "${exe_configs[@]}"; do
    [ "${key%%/*}" = "$name" ] || continue
    n=${results_of[$key]}
    # A missing report is already counted as a failure.
    [ "$n" -gt 0 ] && [ "$n" -lt "$most" ] && \
      failure "${key#*/}" "$name produced $n results, fewer than the $most of another configuration"
  done
done

# ---- summary ------------------------------------------------------------------------
echo "== summary ($(( $(date +%s) - start_all )) s)"
passed=0; failed=0; skipped=0
for c in "${configs[@]}"; do
  printf '  %-18s %5d passed, %d failed, %d skipped\n' "$c:" "${c_passed[$c]}" "${c_failed[$c]}" "${c_skipped[$c]}"
  passed=$((passed + c_passed[$c])); failed=$((failed + c_failed[$c])); skipped=$((skipped + c_skipped[$c]))
done
echo "(each line counts test cases, or for fuzz one target, for end-to-end one script, for build one target)"
echo "$passed passed, $failed failed, $skipped skipped"
[ $failed -eq 0 ]
