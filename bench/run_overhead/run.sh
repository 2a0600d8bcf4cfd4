#!/usr/bin/env bash
# Run overhead: complete autofocus runs of the real program under Wine against the
# simulated focuser (instant moves) and the simulated host, each timed by the host from
# its start command to the end-of-run report; overhead.py sets each against the time
# the run's own pauses, waits and the host's exposure cadence impose.
#   bench/run_overhead/run.sh [RUNS] [CADENCE_MS]      (default 10 runs, 100 ms)
# Environment: QM_BUILD64 (default build/win64).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ "${1:-}" != "--inner" ]; then
  exec timeout -k 10 1200 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" --inner "$@"
fi
shift
python3 "$root/bench/run_overhead/overhead_test.py" >/dev/null 2>&1 || { echo "overhead_test.py fails: the model is wrong"; exit 1; }
runs=${1:-10}
cadence=${2:-100}
source "$root/scripts/wine_env.sh"
b64=${QM_BUILD64:-$root/build/win64}
dir=$root/build/bench/run_overhead
rm -rf "$dir"; mkdir -p "$dir/prog" "$dir/sim" "$dir/out"
cp "$b64/Quillomar.exe" "$dir/prog/"
# A prefix of its own with the simulator registered (64-bit only).
qm_fresh_prefix "$dir/prefix"
trap 'qm_stop_wine; rm -rf "$dir/prefix"' EXIT
"$root/scripts/sim_ascom_register.sh" "$dir/prefix" "$b64" "" >/dev/null 2>&1 || { echo "registration failed"; exit 1; }
export QM_SIM_DIR; QM_SIM_DIR=$(qm_winpath "$dir/sim")
steps=7 inc=100 expo=2 backlash=1
printf '%s\r\n' Absolute=1 MaxStep=60000 StartPosition=10000 StepsPerSecond=0 > "$dir/sim/sim.ini"
printf '%s\r\n' "1003->$steps" "1004->$inc" "1005->$expo" 1001-\>1 "1002->$backlash" 9990-\>0 9991-\>QmSim.Focuser \
  > "$dir/prog/autofocus.ini"

probe() { timeout -k 5 60 wine "$b64/tools/probe/Probe.exe" "$@" 2>/dev/null | tr -d '\r'; }
(cd "$dir/prog" && exec wine Quillomar.exe 1) >"$dir/app.log" 2>&1 &
app=$!
cleanup() { probe close Quillomar >/dev/null 2>&1; sleep 1; kill "$app" 2>/dev/null; qm_stop_wine; rm -rf "$dir/prefix"; }
trap cleanup EXIT
probe wait Quillomar 30 >/dev/null || { echo "the program's window did not appear"; exit 1; }
for _ in $(seq 100); do grep -q 'VT_BOOL=-1) -> OK' "$dir/sim/calls.log" 2>/dev/null && break; sleep 0.1; done
# The Wine session's own services are still starting for a few seconds after the first
# program: let them settle, so that they do not land in the first run.
sleep "${QM_SETTLE_S:-5}"

echo "run overhead: $runs runs, $steps steps of $inc, $expo values a step, backlash $backlash, cadence $cadence ms, instant moves"
calls_before=0
for ((r = 1; r <= runs; r++)); do
  timeout -k 5 120 wine "$b64/tools/sim_host/SimHost.exe" --quiet --timing --cadence-ms "$cadence" \
    --true-offset $(( (r % 5 - 2) * 60 )) --seed "$r" 2>/dev/null | tr -d '\r' > "$dir/out/run-$r.txt"
  calls=$(wc -l < "$dir/sim/calls.log")
  echo "run $r: $((calls - calls_before)) late-bound calls into the simulated focuser" >> "$dir/calls.txt"
  calls_before=$calls
done
python3 "$root/bench/run_overhead/overhead.py" --steps $steps --expo $expo --backlash $backlash $(ls -v "$dir"/out/run-*.txt)
echo "late-bound calls per run (median): $(sed 's/.*: \([0-9]*\) late.*/\1/' "$dir/calls.txt" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')"
