#!/usr/bin/env bash
# Runs every test: installs what is missing, builds, then runs
#   1. the native unit tests (and the same core tests built with ASan and UBSan), and a
#      short pass of every fuzz target,
#   2. the Win32 tests and the core tests under Wine, 64-bit and 32-bit,
#   3. the end-to-end tests (tests/e2e/*.sh) against the real program under Wine + Xvfb.
# Ends with the line "N passed, N failed". Exit status 0 only when nothing failed.
#   scripts/test.sh [--quick]   (--quick: no sanitizer build, no 32-bit runs)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
quick=0; [ "${1:-}" = "--quick" ] && quick=1

"$root/scripts/setup.sh"
# The builds and the one full Wine prefix take about 2 GB; say so up front rather
# than fail later with a flood of write errors.
free_kb=$(df -Pk "$root" | awk 'NR == 2 { print $4 }')
if [ "${free_kb:-0}" -lt 2500000 ]; then
  echo "warning: only $((free_kb / 1024)) MB free on the disk of $root; the tests need about 2 GB"
fi
results="$root/build/test-results"
rm -rf "$results"; mkdir -p "$results"
build_failures=0
targets=(native win64); [ $quick = 0 ] && targets+=(win32 native-san)
for t in "${targets[@]}"; do
  echo "== build $t"
  if ! "$root/scripts/build.sh" "$t" > "$results/build-$t.log" 2>&1; then
    echo "build $t FAILED:"; tail -30 "$results/build-$t.log"; build_failures=$((build_failures + 1))
  fi
done

echo "== native tests"
for exe in "$root/build/native/core_tests" $(find "$root/build/native/tools" -maxdepth 2 -name '*_tests' -type f -executable 2>/dev/null); do
  name=$(basename "$exe")
  timeout -k 5 600 "$exe" --gtest_output="xml:$results/native-$name.xml" > "$results/native-$name.log" 2>&1 \
    || { echo "$name failed:"; grep -E '^\[  FAILED|Failure' -A3 "$results/native-$name.log" | head -40; }
done
if [ $quick = 0 ] && [ -x "$root/build/native-san/core_tests" ]; then
  echo "== native tests with AddressSanitizer and UndefinedBehaviorSanitizer"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    timeout -k 5 900 "$root/build/native-san/core_tests" --gtest_output="xml:$results/san-core_tests.xml" \
    > "$results/san-core_tests.log" 2>&1 || { echo "sanitized core_tests failed:"; tail -40 "$results/san-core_tests.log"; }
fi

fuzz_passed=0; fuzz_failed=0
if [ $quick = 0 ]; then
  echo "== fuzz targets (20 s each)"
  "$root/scripts/fuzz.sh" 20 > "$results/fuzz.log" 2>&1
  grep '^fuzz ' "$results/fuzz.log" | sed 's/^/  /'
  fuzz_passed=$(grep -c '^fuzz .* ok$' "$results/fuzz.log")
  fuzz_failed=$(grep -c '^fuzz .*CRASH' "$results/fuzz.log")
  if [ "$fuzz_passed" -eq 0 ] && [ "$fuzz_failed" -eq 0 ]; then
    echo "  the fuzz run produced no results:"; tail -20 "$results/fuzz.log"; fuzz_failed=1
  fi
fi

echo "== Win32 tests under Wine"
archs=(64); [ $quick = 0 ] && archs+=(32)
QM_ARCHS="${archs[*]}" timeout -k 10 1500 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
  "$root/scripts/wine_tests.sh" "$results" || echo "Wine test run ended with status $?"

echo "== end-to-end tests"
e2e_passed=0; e2e_failed=0; e2e_skipped=0
for t in "$root"/tests/e2e/*.sh; do
  [ "$(basename "$t")" = lib.sh ] && continue
  name=$(basename "$t" .sh)
  arch_runs=(64)
  [ $quick = 0 ] && grep -q '^# e2e: both-architectures' "$t" && arch_runs+=(32)
  for arch in "${arch_runs[@]}"; do
    start=$(date +%s)
    QM_E2E_ARCH=$arch timeout -k 10 900 bash "$t" > "$results/e2e-$name-$arch.log" 2>&1
    rc=$?
    took=$(( $(date +%s) - start ))
    if [ $rc -eq 0 ]; then
      e2e_passed=$((e2e_passed + 1)); echo "  passed  $name ($arch-bit, ${took}s)"
    elif [ $rc -eq 77 ]; then
      e2e_skipped=$((e2e_skipped + 1)); echo "  skipped $name ($arch-bit)"
    else
      e2e_failed=$((e2e_failed + 1)); echo "  FAILED  $name ($arch-bit, ${took}s, status $rc)"
      sed 's/^/      /' "$results/e2e-$name-$arch.log" | tail -40
    fi
  done
done

read -r g_passed g_failed g_skipped < <(python3 "$root/scripts/gtest_totals.py" "$results"/*.xml)
expected_xml=$(( 1 + ${#archs[@]} * 2 ))  # native core + core and win tests per architecture
found_xml=$(ls "$results"/native-core_tests.xml "$results"/wine-*.xml 2>/dev/null | wc -l)
missing=$(( expected_xml > found_xml ? expected_xml - found_xml : 0 ))
[ $missing -gt 0 ] && echo "$missing test executable(s) produced no results (crash or missing build)"
passed=$((g_passed + e2e_passed + fuzz_passed))
failed=$((g_failed + e2e_failed + fuzz_failed + build_failures + missing))
skipped=$((g_skipped + e2e_skipped))
echo "unit and Win32 tests: $g_passed passed, $g_failed failed, $g_skipped skipped; fuzz targets: $fuzz_passed passed, $fuzz_failed failed; end-to-end: $e2e_passed passed, $e2e_failed failed, $e2e_skipped skipped"
echo "$passed passed, $failed failed, $skipped skipped"
[ $failed -eq 0 ]
