#!/usr/bin/env bash
# Runs every test: installs what is missing, builds, then runs
#   1. the native unit tests (core and tools), the same tests built with ASan and UBSan,
#      and a short pass of every fuzz target,
#   2. the Win32 tests and the core tests under Wine, 64-bit and 32-bit,
#   3. the self-test of the test tools (tools/probe/selftest.sh),
#   4. the end-to-end tests (tests/e2e/*.sh) against the real program under Wine + Xvfb,
#      in QM_E2E_LANES lanes at once (default 3), started as soon as the 64-bit programs
#      are built and running beside the other builds and stages 1 to 3 (see "end-to-end
#      scripts, in lanes"; stages 1 to 3 run in three streams, see in_background).
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
#   - a failed build, a failed self-test check, a failed end-to-end script (one that
#     could not run a check fails; no script ends as skipped).
#
#   scripts/test.sh [--quick] [--only STAGE,...] [--e2e NAME,...] [--no-build]
#     --quick     no sanitizer build, no fuzzing, no 32-bit runs
#     --only      stages among native, san, fuzz, wine, selftest, e2e (default: all)
#     --e2e       only these end-to-end scripts (names without .sh)
#     --no-build  test what the build directories hold
# QM_TEST_NO_SETUP=1 skips the package check (scripts/setup.sh). The build directories
# are build/native, build/native-san, build/win64 and build/win32 unless QM_BUILD_NATIVE,
# QM_BUILD_SAN, QM_BUILD64 or QM_BUILD32 name others (with --no-build: to test another
# build, as scripts/plant_faults.sh does). The summary ends with the time of every stage
# and every end-to-end script, slowest first, before the counts.
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
# in_list WORD ITEM...: whether WORD is one of the items. A loop, not "printf | grep -q":
# under pipefail that pipeline fails whenever grep, having found its line, exits before
# printf has written the next one, and a stage would then be skipped at random.
in_list() {
  local word=$1 item; shift
  for item in "$@"; do [ "$item" = "$word" ] && return 0; done
  return 1
}
all_stages=(native san fuzz wine selftest e2e)
for stage in "${stages[@]}"; do
  in_list "$stage" "${all_stages[@]}" || { echo "unknown stage \"$stage\" (stages: ${all_stages[*]})" >&2; exit 2; }
done
if [ $quick = 1 ]; then
  kept=()
  for stage in "${stages[@]}"; do in_list "$stage" san fuzz || kept+=("$stage"); done
  stages=("${kept[@]}")
fi
has_stage() { in_list "$1" "${stages[@]}"; }

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

# ---- times of the stages and the end-to-end scripts --------------------------------
stage_times=()  # "SECONDS NAME", printed slowest first in the summary
stage_begin() { stage_t0=$(date +%s); }
stage_end() { stage_times+=("$(( $(date +%s) - stage_t0 )) $1"); }

# ---- end-to-end scripts, in lanes ---------------------------------------------------
# The scripts spend most of their time waiting (Wine's start, the program's timers, the
# simulated exposures and moves), so QM_E2E_LANES of them (default 3) run at once, each
# lane taking the next script of one queue, longest first. Nothing of one run is seen by
# another: each script (and architecture) has its own run directory build/e2e/NAME-ARCH
# with its own Wine prefix (a clone of the prepared one) and simulator files, its own
# Xvfb display (scripts/xvfb_run) and, per lane, its own TMPDIR. A script whose two
# architectures share files outside its run directory (package: dist/ and the release
# builds) says "# e2e: architectures-in-turn" and runs them one after the other in one
# lane. QM_E2E_LANES=1 runs them one at a time.
# The lanes start once the 64-bit build and the 32-bit simulator are there (the prefixes
# register the simulator of both architectures); a job that runs the 32-bit programs
# waits for the rest of the 32-bit build, which goes on beside the lanes, and meanwhile
# the lanes take the next job that can run. A script that runs the other architecture's
# programs too says "# e2e: needs-both-builds". The stages beside the lanes (builds,
# native, sanitized, fuzz, Wine unit tests) run at a lower priority: the lanes' scripts
# wait on timers and on each other's windows, the builds only on the processor.
e2e_lanes=${QM_E2E_LANES:-3}
[[ $e2e_lanes =~ ^[1-9][0-9]*$ ]] || { echo "QM_E2E_LANES must be a positive number" >&2; exit 2; }
# Seconds each took in lanes beside the other stages on a 2-core machine (a fresh clone's
# full run at 7b5e22d), for the order before this checkout has times of its own
# (build/e2e-times, written after each run); a script not named here counts as 40 s.
e2e_default_times="host_timing-64 271 curve_options-64 140 fault_matrix-64 132 curve_options-32 112
soak_short-64 90 driver_conform-32 85 driver_conform-64 84 run_record_shared-32 70
driver_dies-64 65 analysis_both_builds-64 64 driver_dies-32 62 local_server-64 62
autofocus_run-64 61 run_record_shared-64 60 local_server-32 59 keyboard-64 58 run_record-64 55
driver_check-64 54 keyboard-32 54 settings_durability-64 54 help-64 53 autofocus_run-32 52
run_record-32 52 settings_durability-32 52 driver_check-32 51 package-64 51 package-32 50
failure_reports-64 29 failure_reports-32 28 dpi_scaling-32 26 dpi_scaling-64 24
run_record_locks-32 24 focus_noise-64 23 host_guide-64 21 run_record_locks-64 20
focuser_moves-64 13 settings_restart-64 10 sim_cscript-64 10 focuser_connect-64 8
focuser_connect-32 7 host_start_focus-32 5 startup-32 5 startup-64 4 host_start_focus-64 3"
e2e_times_file=$root/build/e2e-times
e2e_jobs=()  # "NAME:ARCH[,ARCH]", in the order the lanes take them
e2e_lane_pids=()
declare -A bg_pids  # the streams beside the main one (see in_background)

# needs_win32 BOTH ARCH...: ":win32" for a job that runs the 32-bit build's programs.
needs_win32() {
  local both=$1 arch; shift
  for arch in "$@"; do [ "$arch" = 32 ] && both=1; done
  [ "$both" = 1 ] && echo ":win32"
  return 0
}
win32_done=$results/win32-build.done  # the 32-bit build is over (whatever its result)

e2e_plan() {  # fills e2e_jobs: "NAME:ARCH[,ARCH][:win32]"
  local t name arch archs weight known i
  local -A last
  read -r -a known <<<"$(tr '\n' ' ' <<<"$e2e_default_times")"
  for ((i = 0; i + 1 < ${#known[@]}; i += 2)); do last[${known[i]}]=${known[i + 1]}; done
  if [ -f "$e2e_times_file" ]; then
    while read -r name weight; do last[$name]=$weight; done < "$e2e_times_file"
  fi
  mapfile -t e2e_jobs < <(
    for t in "$root"/tests/e2e/*.sh; do
      [ "$(basename "$t")" = lib.sh ] && continue
      name=$(basename "$t" .sh)
      [ -n "$e2e_only" ] && [[ $e2e_only != *",$name,"* ]] && continue
      archs=(64)
      [ $quick = 0 ] && grep -q '^# e2e: both-architectures' "$t" && archs+=(32)
      both=0
      grep -q '^# e2e: needs-both-builds' "$t" && both=1
      if grep -q '^# e2e: architectures-in-turn' "$t"; then
        weight=0
        for arch in "${archs[@]}"; do weight=$((weight + ${last[$name-$arch]:-40})); done
        echo "$weight $name:$(IFS=,; echo "${archs[*]}")$(needs_win32 "$both" "${archs[@]}")"
      else
        for arch in "${archs[@]}"; do echo "${last[$name-$arch]:-40} $name:$arch$(needs_win32 "$both" "$arch")"; done
      fi
    done | sort -k1,1nr -k2,2 | cut -d' ' -f2)
}

# e2e_next QUEUE: prints and removes the first job of QUEUE that can run now, waiting
# while every job left needs the 32-bit build; fails when the queue is empty.
e2e_next() {
  local line n
  while :; do
    exec {lock}>"$1.lock"
    flock "$lock"
    if [ -f "$win32_done" ]; then n=1; else n=$(grep -n -v ':win32$' "$1" | head -1 | cut -d: -f1); fi
    line=""
    [ -n "$n" ] && line=$(sed -n "${n}p" "$1") && [ -n "$line" ] && sed -i "${n}d" "$1"
    local left; left=$(wc -l < "$1")
    exec {lock}>&-
    [ -n "$line" ] && { echo "$line"; return 0; }
    [ "$left" -eq 0 ] && return 1
    sleep 2
  done
}

# e2e_lane K QUEUE: runs jobs until the queue is empty. Each run leaves
# e2e-NAME-ARCH.log and e2e-NAME-ARCH.rc ("STATUS SECONDS LANE") in the results.
e2e_lane() {
  local lane=$1 queue=$2 job name arch archs start rc took
  export TMPDIR="$results/lane-$lane-tmp"
  mkdir -p "$TMPDIR"
  while job=$(e2e_next "$queue"); do
    job=${job%:win32}
    name=${job%%:*}
    IFS=, read -r -a archs <<<"${job#*:}"
    for arch in "${archs[@]}"; do
      start=$(date +%s)
      QM_E2E_ARCH=$arch timeout -k 10 1000 bash "$root/tests/e2e/$name.sh" > "$results/e2e-$name-$arch.log" 2>&1 &
      # timeout leads a process group of its own: stop_lanes ends the run through it.
      echo $! > "$results/lane-$lane.pid"
      wait $!
      rc=$?
      took=$(( $(date +%s) - start ))
      echo "$rc $took $lane" > "$results/e2e-$name-$arch.rc"
      case $rc in
        0) echo "  e2e lane $lane: passed  $name ($arch-bit, ${took}s)" ;;
        *) echo "  e2e lane $lane: FAILED  $name ($arch-bit, ${took}s, status $rc)" ;;
      esac
    done
  done
  rm -rf "$TMPDIR"
}

# Interrupted: the lanes and the runs in them end too.
stop_lanes() {
  local k pid
  for pid in "${e2e_lane_pids[@]}" "${bg_pids[@]}"; do kill "$pid" 2>/dev/null; done
  for ((k = 1; k <= ${#e2e_lane_pids[@]}; k++)); do
    pid=$(cat "$results/lane-$k.pid" 2>/dev/null) && kill -TERM -- "-$pid" 2>/dev/null
  done
  exit 130
}

e2e_start_lanes() {
  local k queue=$results/e2e-queue
  e2e_plan
  printf '%s\n' "${e2e_jobs[@]}" > "$queue"
  echo "== end-to-end tests started in $e2e_lanes lanes (${#e2e_jobs[@]} runs, longest first)"
  e2e_t0=$(date +%s)
  trap stop_lanes INT TERM
  for ((k = 1; k <= e2e_lanes; k++)); do
    e2e_lane "$k" "$queue" &
    e2e_lane_pids+=($!)
  done
}

# Waits for the lanes and counts each run, in the order they were queued.
e2e_finish() {
  local job name arch archs rc took lane times=()
  [ ${#e2e_lane_pids[@]} -gt 0 ] && wait "${e2e_lane_pids[@]}"
  echo "== end-to-end tests ($e2e_lanes lanes, $(( $(date +%s) - e2e_t0 )) s)"
  stage_times+=("$(( $(date +%s) - e2e_t0 )) end-to-end (all lanes)")
  for job in "${e2e_jobs[@]}"; do
    job=${job%:win32}
    name=${job%%:*}
    IFS=, read -r -a archs <<<"${job#*:}"
    for arch in "${archs[@]}"; do
      rc=""; took=0
      read -r rc took lane < "$results/e2e-$name-$arch.rc" 2>/dev/null
      case $rc in
        0) count "end-to-end $arch-bit" 1 0 0 ;;
        "") failure "end-to-end $arch-bit" "$name ($arch-bit) did not run to its end" ;;
        *) count "end-to-end $arch-bit" 0 1 0; echo "  FAILED  $name ($arch-bit, ${took}s, status $rc)"
           sed 's/^/      /' "$results/e2e-$name-$arch.log" | tail -40 ;;
      esac
      [ -n "$rc" ] && stage_times+=("$took e2e $name ($arch-bit)") && times+=("$name-$arch $took")
    done
  done
  # The next run's order: these times over those of scripts that did not run now.
  if [ ${#times[@]} -gt 0 ]; then
    { printf '%s\n' "${times[@]}"; cat "$e2e_times_file" 2>/dev/null || true; } | awk '!seen[$1]++' | sort \
      > "$e2e_times_file.new" && mv "$e2e_times_file.new" "$e2e_times_file"
  fi
}

# ---- builds -------------------------------------------------------------------------
archs=(64); [ $quick = 0 ] && archs+=(32)
targets=()
{ has_stage native || has_stage e2e; } && targets+=(native)
{ has_stage wine || has_stage selftest || has_stage e2e; } && targets+=(win64)
{ has_stage wine || has_stage e2e; } && [ $quick = 0 ] && targets+=(win32)
{ has_stage san || has_stage fuzz; } && targets+=(native-san)
[ $build = 0 ] && targets=()
# Stages beside the end-to-end lanes run at a lower priority (see the lanes above).
beside=()
# build_targets T...: builds each, counted under "build", timed as a stage of its own.
build_targets() {
  local t
  for t in "$@"; do
    echo "== build $t"
    stage_begin
    if "${beside[@]}" "$root/scripts/build.sh" "$t" > "$results/build-$t.log" 2>&1; then
      count build 1 0 0
    else
      failure build "build $t failed:"; tail -30 "$results/build-$t.log"
    fi
    stage_end "build $t"
  done
}
has_target() { in_list "$1" "${targets[@]}"; }
# The 64-bit programs and the 32-bit simulator first: the end-to-end lanes start on them,
# while the rest of the 32-bit build, the native builds and the stages after them go on
# beside the lanes.
has_target win64 && build_targets win64
if has_target win32 && has_stage e2e; then
  echo "== build win32: the simulator"
  QM_CMAKE_TARGETS="QmSimAscom QmSimFocuserServer" "$root/scripts/build.sh" win32 > "$results/build-win32-simulator.log" 2>&1 \
    || echo "  (the 32-bit simulator did not build; the 32-bit build below says why)"
fi
has_target win32 || touch "$win32_done"
if has_stage e2e; then
  e2e_start_lanes
  beside=(nice -n 10)
fi
if has_target win32; then build_targets win32; touch "$win32_done"; fi

# Besides the lanes, two streams keep both processors busy to the end: the Wine unit
# tests and the self-test start once the Windows builds are there, and the fuzz targets
# once the sanitized build (which holds them) is there; the main stream meanwhile runs
# the sanitized tests, then builds and runs the native tests. Each is judged below, in
# the order of the stages, when its results are needed.
# in_background NAME:CMD...: runs each CMD in turn beside the main stream; "STATUS
# SECONDS" of each goes to $results/NAME.bg. background_wait NAME waits for it and sets
# bg_rc and bg_took.
in_background() {
  local step pid
  (
    for step in "$@"; do
      t0=$(date +%s); "${step#*:}"; echo "$? $(( $(date +%s) - t0 ))" > "$results/${step%%:*}.bg"
    done
  ) &
  pid=$!
  for step in "$@"; do bg_pids[${step%%:*}]=$pid; done
}
background_wait() {
  bg_rc="not run"; bg_took=0
  [ -n "${bg_pids[$1]:-}" ] && wait "${bg_pids[$1]}"
  read -r bg_rc bg_took < "$results/$1.bg" 2>/dev/null
  return 0
}
run_wine_tests() {
  QM_ARCHS="${archs[*]}" "${beside[@]}" timeout -k 10 1500 "$root/scripts/xvfb_run" \
    "$root/scripts/wine_tests.sh" "$results" > "$results/wine.log" 2>&1
}
run_selftest() { "${beside[@]}" "$root/tools/probe/selftest.sh" "$QM_BUILD64" > "$results/selftest.log" 2>&1; }
run_fuzz() { QM_FUZZ_BUILD=$build_san "${beside[@]}" "$root/scripts/fuzz.sh" 20 > "$results/fuzz.log" 2>&1; }
windows_steps=()
has_stage wine && windows_steps+=(wine:run_wine_tests)
has_stage selftest && windows_steps+=(selftest:run_selftest)
[ ${#windows_steps[@]} -gt 0 ] && in_background "${windows_steps[@]}"
has_target native-san && build_targets native-san
has_stage fuzz && in_background fuzz:run_fuzz

# Tool test executables the build must produce.
tool_tests=$(sed -n 's/^ *add_executable(\([A-Za-z0-9_]*_tests\)\b.*/\1/p' "$root"/tools/*/CMakeLists.txt | sort -u)
run_native() {  # run_native CONFIG BUILD_DIR PREFIX [ENV...]
  local config=$1 dir=$2 prefix=$3 exe name rc xml log bad; shift 3
  for name in core_tests $tool_tests; do
    exe=$(find "$dir" -maxdepth 3 -name "$name" -type f -executable 2>/dev/null | head -1)
    xml="$results/$prefix-$name.xml"; log="$results/$prefix-$name.log"
    if [ -z "$exe" ]; then judge_gtest "$config" "$name" "$xml" "$log" missing; continue; fi
    "${beside[@]}" env "$@" timeout -k 5 900 "$exe" --gtest_output="xml:$xml" > "$log" 2>&1
    rc=$?
    judge_gtest "$config" "$name" "$xml" "$log" "$rc" "${CI_SIM_SKIPS:-0}"
    bad=$(sanitizer_report "$log")
    if [ -n "$bad" ]; then
      failure "$config" "$name: sanitizer report:"; sed 's/^/      /' <<<"$bad"
    fi
  done
}
[ "${CI:-}" = true ] && CI_SIM_SKIPS=1

if has_stage san; then
  echo "== native tests with AddressSanitizer and UndefinedBehaviorSanitizer"
  stage_begin
  run_native sanitized "$build_san" san \
    ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  stage_end "sanitized tests"
fi
has_target native && build_targets native
if has_stage native; then
  echo "== native tests"
  stage_begin
  run_native native "$build_native" native
  stage_end "native tests"
fi

if has_stage fuzz; then
  echo "== fuzz targets (20 s each)"
  background_wait fuzz
  fuzz_rc=$bg_rc
  grep '^fuzz ' "$results/fuzz.log" 2>/dev/null | sed 's/^/  /'
  # No log at all (the pass never started) reads as no results, which counts as failed.
  fuzz_passed=$(grep -c '^fuzz .* ok$' "$results/fuzz.log" 2>/dev/null)
  fuzz_failed=$(grep -c '^fuzz .*\(CRASH\|TOO FEW\)' "$results/fuzz.log" 2>/dev/null)
  fuzz_passed=${fuzz_passed:-0} fuzz_failed=${fuzz_failed:-0}
  count fuzz "$fuzz_passed" "$fuzz_failed" 0
  if [ "$fuzz_passed" -eq 0 ] && [ "$fuzz_failed" -eq 0 ]; then
    failure fuzz "the fuzz run produced no results:"; tail -20 "$results/fuzz.log" 2>/dev/null
  elif [ "$fuzz_rc" != 0 ] && [ "$fuzz_failed" -eq 0 ]; then
    failure fuzz "scripts/fuzz.sh ended with status $fuzz_rc:"; tail -20 "$results/fuzz.log"
  fi
  stage_times+=("$bg_took fuzz")
fi

if has_stage wine; then
  echo "== Win32 tests under Wine"
  background_wait wine
  [ "$bg_rc" = 0 ] || echo "  (the Wine test run ended with status $bg_rc; see $results/wine.log)"
  for arch in "${archs[@]}"; do
    for exe in core_tests win_tests win_tests-192dpi; do
      out="$results/wine-$arch-$exe"
      rc=$(cat "$out.rc" 2>/dev/null || echo "not run")
      # wine_tests.sh registered the simulator: a simulator test that skips is a failure.
      judge_gtest "Wine $arch-bit" "$exe" "$out.xml" "$out.log" "$rc" 1
    done
  done
  stage_times+=("$bg_took Win32 tests under Wine")
fi

if has_stage selftest; then
  echo "== self-test of the test tools"
  background_wait selftest
  rc=$bg_rc
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
  stage_times+=("$bg_took self-test")
fi

has_stage e2e && e2e_finish

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

# ---- every stage asked for gave results ------------------------------------------------
declare -A config_of_stage=([native]=native [san]=sanitized [fuzz]=fuzz [wine]="Wine 64-bit"
  [selftest]=selftest [e2e]="end-to-end 64-bit")
for stage in "${stages[@]}"; do
  config=${config_of_stage[$stage]}
  [ -n "${c_passed[$config]+x}" ] || failure "$config" "the stage \"$stage\" gave no results"
done

# ---- summary ------------------------------------------------------------------------
echo "== times, slowest first (the end-to-end scripts run beside the stages after the Windows builds)"
[ ${#stage_times[@]} -gt 0 ] && printf '%s\n' "${stage_times[@]}" | sort -k1,1nr | awk '{ t = $1; sub(/^[0-9]+ /, ""); printf "  %5d s  %s\n", t, $0 }'
echo "== summary ($(( $(date +%s) - start_all )) s)"
passed=0; failed=0; skipped=0
for c in "${configs[@]}"; do
  printf '  %-18s %5d passed, %d failed, %d skipped\n' "$c:" "${c_passed[$c]}" "${c_failed[$c]}" "${c_skipped[$c]}"
  passed=$((passed + c_passed[$c])); failed=$((failed + c_failed[$c])); skipped=$((skipped + c_skipped[$c]))
done
echo "(each line counts test cases, or for fuzz one target, for end-to-end one script, for build one target)"
echo "$passed passed, $failed failed, $skipped skipped"
[ $failed -eq 0 ]
