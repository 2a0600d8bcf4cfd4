#!/usr/bin/env bash
# Run overhead: complete autofocus runs of the real program under Wine against the
# simulated focuser (instant moves) and the simulated host, each timed by the host from
# its start command to the end-of-run report; overhead.py sets each against the time
# the run's own pauses, waits and the host's exposure cadence impose.
# The simulator runs two ways, in alternating sessions of the program (ROUNDS rounds of
# one session each way, the order swapped every round, RUNS runs a session):
#   quiet   settings from QM_SIM_SETTINGS, the focuser's state in shared memory for the
#           host (QM_SIM_STATE_MAPPING), no file work at all: the program's own cost;
#   logged  a steering directory, as the end-to-end tests use it: the simulator re-reads
#           sim.ini, appends to calls.log and rewrites focuser.state on every call.
# Both start the focuser at 20000 (not the default 10000), so that a first sweep position
# of 19700 in a session's first run shows the settings took (later runs of a session
# start where the previous one left the focuser). A run that ends without a report counts, and fails
# the benchmark, as does a session whose program does not show or connect.
#   bench/run_overhead/run.sh [ROUNDS] [RUNS] [CADENCE_MS]      (default 4, 2, 100 ms)
# Environment: QM_BUILD64 (default build/win64).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ "${1:-}" != "--inner" ]; then
  exec timeout -k 10 1500 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" --inner "$@"
fi
shift
python3 "$root/bench/run_overhead/overhead_test.py" >/dev/null 2>&1 || { echo "error: overhead_test.py fails: the model is wrong"; exit 1; }
rounds=${1:-4}
runs=${2:-2}
cadence=${3:-100}
source "$root/scripts/wine_env.sh"
b64=${QM_BUILD64:-$root/build/win64}
dir=$root/build/bench/run_overhead
rm -rf "$dir"; mkdir -p "$dir/prog" "$dir/sim" "$dir/out"
cp "$b64/Quillomar.exe" "$dir/prog/"
# A prefix of its own with the simulator registered (64-bit only).
qm_fresh_prefix "$dir/prefix"
trap 'qm_stop_wine; rm -rf "$dir/prefix"' EXIT
"$root/scripts/sim_ascom_register.sh" "$dir/prefix" "$b64" "" >/dev/null 2>&1 || { echo "error: registration failed"; exit 1; }
steps=7 inc=100 expo=2 backlash=1 start=20000
settings="Absolute=1;MaxStep=60000;StartPosition=$start;StepsPerSecond=0"
tr ';' '\n' <<<"$settings" | sed 's/$/\r/' > "$dir/sim/sim.ini"
printf '%s\r\n' "1003->$steps" "1004->$inc" "1005->$expo" 1001-\>1 "1002->$backlash" 9990-\>0 9991-\>QmSim.Focuser \
  > "$dir/prog/autofocus.ini"
simdir=$(qm_winpath "$dir/sim")
mapping=QmSimBenchFocuserState

probe() { timeout -k 5 60 wine "$b64/tools/probe/Probe.exe" "$@" 2>/dev/null | tr -d '\r'; }
app=""
close_app() {
  [ -n "$app" ] || return 0
  probe close Quillomar >/dev/null 2>&1
  probe gone Quillomar 30 >/dev/null 2>&1 || kill "$app" 2>/dev/null
  wait "$app" 2>/dev/null; app=""
}
trap 'close_app; qm_stop_wine; rm -rf "$dir/prefix"' EXIT

# session MODE SETTLE_S: starts the program with the simulator in MODE, waits until it
# is connected, makes RUNS runs, closes it. Returns 1 when the program never got ready.
run_number=0
session() {
  local mode=$1 settle=$2 r calls_before calls state
  if [ "$mode" = logged ]; then
    (cd "$dir/prog" && export QM_SIM_DIR="$simdir" && unset QM_SIM_SETTINGS && exec wine Quillomar.exe 1) >>"$dir/app.log" 2>&1 &
  else
    (cd "$dir/prog" && unset QM_SIM_DIR && export QM_SIM_SETTINGS="$settings" QM_SIM_STATE_MAPPING=$mapping && exec wine Quillomar.exe 1) >>"$dir/app.log" 2>&1 &
  fi
  app=$!
  probe wait Quillomar 60 >/dev/null || { echo "error: $mode session: the program's window did not appear"; return 1; }
  # Connected exactly when the Connect button is disabled.
  local got="" _
  for _ in $(seq 150); do
    got=$(probe list Quillomar | sed -n 's/.*class=Button.* enabled=\([01]\) .*text="Connect".*/\1/p' | head -1)
    [ "$got" = 0 ] && break
    sleep 0.2
  done
  [ "$got" = 0 ] || { echo "error: $mode session: the program did not connect to the simulated focuser"; return 1; }
  sleep "$settle"
  for ((r = 1; r <= runs; r++)); do
    run_number=$((run_number + 1))
    calls_before=$( { wc -l < "$dir/sim/calls.log"; } 2>/dev/null || echo 0)
    if [ "$mode" = logged ]; then state=(--state-file "$simdir\\focuser.state"); else state=(--state-mapping "$mapping"); fi
    timeout -k 5 120 wine "$b64/tools/sim_host/SimHost.exe" --quiet --timing --cadence-ms "$cadence" "${state[@]}" \
      --true-offset $(( (run_number % 5 - 2) * 60 )) --seed "$run_number" 2>/dev/null | tr -d '\r' > "$dir/out/run-$run_number.txt"
    echo "mode: $mode" >> "$dir/out/run-$run_number.txt"
    [ $r = 1 ] && echo "expect-first: $((start - inc * (steps / 2)))" >> "$dir/out/run-$run_number.txt"
    if [ "$mode" = logged ]; then
      calls=$(wc -l < "$dir/sim/calls.log")
      echo "calls: $((calls - calls_before))" >> "$dir/out/run-$run_number.txt"
    fi
  done
  close_app
}

echo "run overhead: $rounds rounds of a quiet and a logged session, $runs runs each; $steps steps of $inc," \
  "$expo values a step, backlash $backlash, cadence $cadence ms, instant moves"
failed=0
# The Wine session's own services are still starting for a few seconds after the first
# program: the first session settles longer, so that they do not land in its first run.
settle=${QM_SETTLE_S:-5}
for ((round = 1; round <= rounds; round++)); do
  if [ $((round % 2)) = 1 ]; then order="quiet logged"; else order="logged quiet"; fi
  for mode in $order; do
    session "$mode" "$settle" || { failed=1; close_app; }
    settle=2
  done
done
python3 "$root/bench/run_overhead/overhead.py" --steps $steps --expo $expo --backlash $backlash --expected $((rounds * 2 * runs)) \
  $(ls -v "$dir"/out/run-*.txt)
status=$?
[ $failed = 0 ] || { echo "error: a session could not be run (see above)"; status=1; }
exit $status
