#!/usr/bin/env bash
# Plants, one at a time, the faults the test command must catch, and shows that the
# command (the part of it concerned) then fails with a clear line. Nothing is planted in
# the worktree: each fault goes into a scratch copy of the sources (build/plant/src), the
# planted executable is built there, and the test command of this worktree runs against
# a copy of the build directory holding it (scripts/test.sh --no-build with QM_BUILD_*),
# or the planted script runs from the scratch copy.
#
#   scripts/plant_faults.sh [FAULT...]     (default: every fault; --list names them)
#
# Needs the worktree's builds: scripts/build.sh native native-san win64. Not part of
# scripts/test.sh: it builds planted variants (the first scratch builds take most of the
# time) and runs end-to-end scripts: about 40 minutes in all on a 2-core machine shared
# with other builds, much of it the first time only.
# Prints for each fault "planted FAULT: caught: <the line that caught it>" or
# "planted FAULT: NOT CAUGHT"; exit status 0 when every fault was caught.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$root/build/plant
scratch=$work/src
faults=(san-out-of-bounds san-leak san-fewer-results tool-test-crash tool-test-missing
  selftest-broken sim-test-fails-unregistered sim-test-skips fuzz-too-few soak-figure-missing
  soak-leak noise-no-interpolation start-ignored-once)
if [ "${1:-}" = --list ]; then printf '%s\n' "${faults[@]}"; exit 0; fi
[ $# -gt 0 ] && faults=("$@")
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-/work} CCACHE_DIR=${CCACHE_DIR:-/work/.ccache}
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache} CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
export QM_TEST_NO_SETUP=1
# End-to-end runs of their own, beside any of the worktree's.
export QM_E2E_DIR_BASE=$work/e2e
mkdir -p "$work"

# The scratch copy: the worktree's sources as they are now, without build/ and .git.
fresh_scratch() {
  mkdir -p "$scratch"
  tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$scratch" -xf -
}
# Puts FILE... of the scratch copy back as in the worktree (or removes what the worktree
# does not have).
restore() {
  local f
  for f in "$@"; do
    if [ -e "$root/$f" ]; then cp "$root/$f" "$scratch/$f"; else rm -f "$scratch/$f"; fi
  done
}
# Replaces text in a scratch file; fails loudly when the text is not there.
patch_text() {  # patch_text FILE OLD NEW
  python3 - "$scratch/$1" "$2" "$3" <<'EOF' || { echo "plant: cannot patch $1"; return 1; }
import sys
path, old, new = sys.argv[1:]
text = open(path).read()
if old not in text:
    sys.exit(1)
open(path, "w").write(text.replace(old, new, 1))
EOF
}
# Builds TARGET... of the scratch copy in its own build directory of KIND.
scratch_build() {  # scratch_build KIND TARGET...
  local kind=$1 dir=$scratch/build/$1 args=(); shift
  case "$kind" in
    win64) args=(-DCMAKE_TOOLCHAIN_FILE="$scratch/cmake/toolchain-mingw-x86_64.cmake") ;;
    native-san) args=(-DQM_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang) ;;
  esac
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$scratch" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${args[@]}" >"$work/configure-$kind.log" 2>&1 ||
      { echo "plant: configure $kind failed"; tail -5 "$work/configure-$kind.log"; return 1; }
  fi
  local t targets=()
  for t in "$@"; do targets+=(--target "$t"); done
  cmake --build "$dir" -j "$(nproc)" "${targets[@]}" >"$work/build-$kind.log" 2>&1 ||
    { echo "plant: build of $* ($kind) failed"; grep -E 'error' "$work/build-$kind.log" | head -5; return 1; }
}
# A copy of the worktree's build directory KIND (hard links, so cheap) in which FILE...
# (paths inside it) are replaced by the scratch build's; prints its path.
hybrid() {  # hybrid KIND FILE...
  local kind=$1 dir=$work/hybrid-$1 f; shift
  rm -rf "$dir"
  cp -al "$root/build/$kind" "$dir"
  for f in "$@"; do
    rm -f "$dir/$f"  # never write through a hard link into the worktree's build
    cp "$scratch/build/$kind/$f" "$dir/$f"
  done
  echo "$dir"
}

# Judges one fault from its output: caught when a line matches PATTERN and the command
# failed.
caught=0; missed=0
judge() {  # judge FAULT STATUS LOG PATTERN
  local line
  line=$(grep -aE -- "$4" "$3" | head -1)
  if [ "$2" != 0 ] && [ -n "$line" ]; then
    caught=$((caught + 1)); echo "planted $1: caught: $(sed 's/^ *//' <<<"$line")"
  else
    missed=$((missed + 1)); echo "planted $1: NOT CAUGHT (status $2; no line matching /$4/ in $3)"
  fi
  grep -aE '^[0-9]+ passed, [0-9]+ failed' "$3" | tail -1 | sed 's/^/    final line: /'
}
run_test_command() {  # run_test_command LOG ARGS... (with the environment given before)
  local log=$1; shift
  QM_TEST_RESULTS="$work/results" "$root/scripts/test.sh" --no-build "$@" >"$log" 2>&1
}

plant_san-out-of-bounds() {
  cat >"$scratch/tests/core/planted_test.cpp" <<'EOF'
#include <gtest/gtest.h>
#include <vector>
TEST(Planted, ReadsOnePastTheEnd) {
    std::vector<int> v(3, 1);
    const int* volatile p = v.data();
    EXPECT_GE(p[3], 0);
}
EOF
  scratch_build native-san core_tests || return 1
  QM_BUILD_SAN=$(hybrid native-san core_tests) run_test_command "$work/$1.log" --only san
  judge "$1" $? "$work/$1.log" 'FAIL \[sanitized\] core_tests: (left no report|sanitizer report)'
  restore tests/core/planted_test.cpp
}
plant_san-leak() {
  cat >"$scratch/tests/core/planted_test.cpp" <<'EOF'
#include <gtest/gtest.h>
int* volatile planted_keep;
TEST(Planted, LosesItsMemory) {
    planted_keep = new int[16];
    planted_keep[0] = 1;
    EXPECT_EQ(planted_keep[0], 1);
    planted_keep = nullptr;
}
EOF
  scratch_build native-san core_tests || return 1
  QM_BUILD_SAN=$(hybrid native-san core_tests) run_test_command "$work/$1.log" --only san
  judge "$1" $? "$work/$1.log" 'FAIL \[sanitized\] core_tests: (sanitizer report|exited with status)'
  grep -a 'LeakSanitizer' "$work/$1.log" | head -1 | sed 's/^ */    /'
  restore tests/core/planted_test.cpp
}
plant_san-fewer-results() {
  # A test file that the sanitized build lost: its report is complete but shorter.
  rm -f "$scratch/tests/core/whole_number_test.cpp"
  scratch_build native-san core_tests || return 1
  QM_BUILD_SAN=$(hybrid native-san core_tests) run_test_command "$work/$1.log" --only native,san
  judge "$1" $? "$work/$1.log" 'core_tests produced [0-9]+ results, fewer than'
  restore tests/core/whole_number_test.cpp
}
plant_tool-test-crash() {
  cat >>"$scratch/tools/sim_host/host_text_test.cpp" <<'EOF'
TEST(Planted, Crashes) { std::abort(); }
EOF
  scratch_build native sim_host_tests || return 1
  QM_BUILD_NATIVE=$(hybrid native tools/sim_host/sim_host_tests) run_test_command "$work/$1.log" --only native
  judge "$1" $? "$work/$1.log" 'FAIL \[native\] sim_host_tests: left no report'
  restore tools/sim_host/host_text_test.cpp
}
plant_tool-test-missing() {
  local dir
  dir=$(hybrid native)
  rm -f "$dir/tools/sim_host/sim_host_tests"
  QM_BUILD_NATIVE=$dir run_test_command "$work/$1.log" --only native
  judge "$1" $? "$work/$1.log" 'FAIL \[native\] sim_host_tests: the executable is missing'
}
plant_selftest-broken() {
  # The stand-in window the self-test drives is gone.
  local dir
  dir=$(hybrid win64)
  rm -f "$dir/tools/probe/ProbeTarget.exe"
  QM_BUILD64=$dir run_test_command "$work/$1.log" --only selftest
  judge "$1" $? "$work/$1.log" 'selftest: [0-9]+ passed, [1-9][0-9]* failed'
}
plant_sim-test-fails-unregistered() {
  # The tests find no simulator, as in a prefix where it was not registered.
  patch_text tests/win/late_bound_test.cpp 'bool SimRegistered() {' 'bool SimRegistered() {
    return false;' || return 1
  scratch_build win64 win_tests || return 1
  QM_BUILD64=$(hybrid win64 win_tests.exe) run_test_command "$work/$1.log" --only wine --quick
  judge "$1" $? "$work/$1.log" 'not registered in this prefix, although'
  restore tests/win/late_bound_test.cpp
}
plant_sim-test-skips() {
  # The simulator tests skip whatever the prefix holds: the count catches the skips.
  patch_text tests/win/late_bound_test.cpp '        if (!SimRegistered()) {' '        if (true) {' || return 1
  patch_text tests/win/late_bound_test.cpp '            if (SimRequired())' '            if (false)' || return 1
  scratch_build win64 win_tests || return 1
  QM_BUILD64=$(hybrid win64 win_tests.exe) run_test_command "$work/$1.log" --only wine --quick
  judge "$1" $? "$work/$1.log" 'FAIL \[Wine 64-bit\] win_tests: skipped although it must run'
  restore tests/win/late_bound_test.cpp
}
plant_fuzz-too-few() {
  # A target that spends its time elsewhere: 50 ms a input.
  patch_text tests/fuzz/fuzz_best_focus.cpp 'extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {' \
    'extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    usleep(50000);' || return 1
  patch_text tests/fuzz/fuzz_best_focus.cpp '#include' '#include <unistd.h>
#include' || return 1
  (cd "$scratch" && scripts/fuzz.sh 20 best_focus) >"$work/$1.log" 2>&1
  judge "$1" $? "$work/$1.log" '^fuzz best_focus: [0-9]+ runs \(minimum [0-9]+\), TOO FEW$'
  restore tests/fuzz/fuzz_best_focus.cpp
}
# The scratch copy runs end-to-end scripts with the worktree's Wine prefixes (cloned).
seed_prefixes() {
  source "$root/scripts/wine_env.sh"
  local p
  for p in base sim-base; do
    [ -f "$scratch/build/wine/$p/.ready" ] && continue
    [ -f "$root/build/wine/$p/.ready" ] || continue
    mkdir -p "$scratch/build/wine"
    qm_clone_prefix "$root/build/wine/$p" "$scratch/build/wine/$p"
  done
}
plant_soak-figure-missing() {
  # The program's Linux process is not found: no /proc figures.
  patch_text tests/soak/soak.sh 'unix_pid() {' 'unix_pid() {
  return 1' || return 1
  seed_prefixes
  QM_BUILD64=$root/build/win64 QM_BUILD32=$root/build/win32 bash "$scratch/tests/soak/soak.sh" 8 >"$work/$1.log" 2>&1
  judge "$1" $? "$work/$1.log" 'FAIL every figure read after every run'
  restore tests/soak/soak.sh
}
plant_soak-leak() {
  # 4 kB kept at the end of every run.
  patch_text app/autofocus_run.cpp 'void TFormAFoc::FinishRun() {' 'void TFormAFoc::FinishRun() {
    static std::vector<std::string> planted_hoard;
    planted_hoard.emplace_back(4096, static_cast<char>(planted_hoard.size()));' || return 1
  patch_text app/autofocus_run.cpp '#include' '#include <string>
#include <vector>
#include' || return 1
  scratch_build win64 Quillomar || return 1
  QM_BUILD64=$(hybrid win64 Quillomar.exe) run_test_command "$work/$1.log" --only e2e --e2e soak_short --quick
  judge "$1" $? "$work/$1.log" 'FAIL RssAnon grows less than'
  grep -a 'RssAnon kB' "$work/$1.log" | head -1 | sed 's/^ */    /'
  restore app/autofocus_run.cpp
}
plant_noise-no-interpolation() {
  # The best step position without interpolation.
  patch_text focus/best_focus.cpp '    if (m == 0 || m == n - 1) return positions[m];' '    return positions[m];' || return 1
  scratch_build win64 Quillomar || return 1
  QM_BUILD64=$(hybrid win64 Quillomar.exe) run_test_command "$work/$1.log" --only e2e --e2e focus_noise --quick
  judge "$1" $? "$work/$1.log" 'FAIL .*best focus within [0-9]+ steps'
  restore focus/best_focus.cpp
}
plant_start-ignored-once() {
  # The host's third start command is ignored.
  patch_text app/host_link.cpp '    if (code == 2 && value == 22 && IsConnected() && c_.ButStart.Enabled()) {' \
    '    static int planted_starts = 0;
    if (code == 2 && value == 22 && IsConnected() && c_.ButStart.Enabled() && ++planted_starts != 3) {' || return 1
  scratch_build win64 Quillomar || return 1
  QM_BUILD64=$(hybrid win64 Quillomar.exe) run_test_command "$work/$1.log" --only e2e --e2e autofocus_run --quick
  judge "$1" $? "$work/$1.log" 'FAIL timed out after [0-9]+s waiting for the third run'
  restore app/host_link.cpp
}

fresh_scratch
for f in "${faults[@]}"; do
  if ! declare -F "plant_$f" >/dev/null; then echo "plant_faults.sh: unknown fault $f (--list)"; exit 2; fi
  echo "== $f"
  "plant_$f" "$f" || { missed=$((missed + 1)); echo "planted $f: NOT CAUGHT (could not plant it)"; }
done
source "$root/scripts/wine_env.sh" 2>/dev/null && qm_stop_wine
echo "plant_faults: $caught caught, $missed not caught"
[ "$missed" -eq 0 ]
