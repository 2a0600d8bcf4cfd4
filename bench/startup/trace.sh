#!/usr/bin/env bash
# Start-up phases of Quillomar.exe: a build configured with -DQM_STARTUP_TRACE=ON stamps
# each phase (milliseconds since the process was created) into the file named by
# QM_STARTUP_TRACE_FILE. This starts it ROUNDS times without a parameter (it closes
# itself once shown), after one untimed start, and prints each phase's median.
#   bench/startup/trace.sh BUILD_DIR [ROUNDS]     (default 15)
# Build: cmake -S . -B build/win64-trace -DQM_STARTUP_TRACE=ON \
#          -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake && cmake --build build/win64-trace --target Quillomar
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ "${1:-}" != "--inner" ]; then
  exec timeout -k 10 600 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" --inner "$@"
fi
shift
build=$1 rounds=${2:-15}
source "$root/scripts/wine_env.sh"
dir=$root/build/bench/startup-trace
rm -rf "$dir"; mkdir -p "$dir/prog"
cp "$build/Quillomar.exe" "$dir/prog/"
qm_fresh_prefix "$dir/prefix"
trap 'qm_stop_wine; rm -rf "$dir/prefix"' EXIT
export QM_STARTUP_TRACE_FILE=$(qm_winpath "$dir/trace.txt")
(cd "$dir/prog" && wine Quillomar.exe) >/dev/null 2>&1
rm -f "$dir/trace.txt"
for ((i = 0; i < rounds; i++)); do (cd "$dir/prog" && wine Quillomar.exe) >/dev/null 2>&1; done
[ -s "$dir/trace.txt" ] || { echo "trace.sh: no stamps written (is $build a QM_STARTUP_TRACE build?)" >&2; exit 1; }
python3 - "$dir/trace.txt" <<'PY'
import statistics, sys
order, times = [], {}
for line in open(sys.argv[1]):
    phase, ms = line.rstrip('\n').split('\t')
    if phase not in times:
        order.append(phase)
        times[phase] = []
    times[phase].append(float(ms))
previous = 0.0
print(f"{'phase':<18}{'median ms since creation':>26}{'median step':>14}  (min-max, runs)")
for phase in order:
    m = statistics.median(times[phase])
    print(f"{phase:<18}{m:>26.1f}{m - previous:>14.1f}  ({min(times[phase]):.1f}-{max(times[phase]):.1f}, {len(times[phase])})")
    previous = m
PY
