#!/usr/bin/env bash
# e2e: both-architectures
# The driver check's --conform against the simulated focuser with the faults users
# meet in the field (a blocking Move, IsMoving never True, IsMoving False before the
# focuser arrives, a focuser that stops short, one too slow for a run's first move, a
# driver that knows Connected but not Link), then the real program's run under the
# same fault: what the check predicts is what the run does.
#
# The check runs first with the program closed (both move the same simulated focuser);
# its moves use faster speeds than the runs where only the kind of fault matters, so
# that the check stays short while a run still has time to show the fault.
source "$(dirname "$0")/lib.sh"
e2e_begin driver_conform

cp "$E2E_BUILD/QmDriverCheck.exe" "$E2E_DIR/prog/"
# Steps 5, Increment 50, Expo/Step 1, connected at start: the row is 900 ... 1100 around 1000.
printf '%s\r\n' '1003->5' '1004->50' '1005->1' '1001->1' '1002->0' '9990->0' '9991->QmSim.Focuser' \
  >"$E2E_DIR/prog/autofocus.ini"
SIM_BASE=(Absolute=1 MaxStep=30000 StartPosition=1000 ChooseResult=QmSim.Focuser)
LOCAL_BUILT=0
[ -f "$QM_BUILD64/tools/sim_ascom/QmSimFocuserServer.exe" ] && LOCAL_BUILT=1

RUNS=0
# conform PROGID ARGS...: OUT (the report, blanks squeezed, one line), RC.
conform() {
  RUNS=$((RUNS + 1))
  (cd "$E2E_DIR/prog" && exec timeout -k 5 120 wine QmDriverCheck.exe "$1" --conform --no-times "${@:2}") \
    >"$E2E_DIR/conform-$RUNS.txt" 2>&1
  RC=$?
  OUT=$(tr -d '\r' <"$E2E_DIR/conform-$RUNS.txt" | sed 's/^ *//' | tr '\n' ' ' | tr -s ' ')
}
# check_fault LABEL PROGID EXIT SIM... -- REGEX...: the check's exit status and findings.
check_fault() {
  local label=$1 drv=$2 exit=$3 re
  shift 3
  local sim=()
  while [ "$1" != -- ]; do sim+=("$1"); shift; done
  shift
  e2e_sim "${SIM_BASE[@]}" "${sim[@]}"
  : >"$E2E_DIR/sim/calls.log"
  conform "$drv"
  expect_eq "$label: exit status" "$RC" "$exit"
  for re in "$@"; do expect_match "$label: [$re]" "$OUT" "$re"; done
  if [ "$exit" = 1 ] && [ "${CALL_FAILS:-0}" = 0 ]; then
    expect_match "$label: summed up" "$OUT" 'Runs with this driver go wrong: see the lines marked FAULT\. '
  fi
  if [ "${NOT_CONNECTED:-0}" = 1 ]; then
    expect_eq "$label: no move without a connection" "$(sim_calls | grep -c ' Move ')" 0
  else
    expect_match "$label: back at the start" "$(sim_calls | grep ' Move ' | tail -1)" 'VT_BYREF=1000\)'
  fi
}
RUN_LINE='A run with Steps 5, Increment 50, Expo/Step 1 takes about [0-9]+ s of focuser moves and waits, plus the host.s exposures'

# ---- the check ---------------------------------------------------------------------------
drivers=(QmSim.Focuser)
[ "$LOCAL_BUILT" = 1 ] && drivers+=(QmSim.FocuserLocal)
for drv in "${drivers[@]}"; do
  where=$([ "$drv" = QmSim.Focuser ] && echo "in process" || echo "local server")
  echo "-- $where"
  check_fault "$where healthy" "$drv" 0 StepsPerSecond=2000 -- \
    'Conformance, with Steps 5, Increment 50, Expo/Step 1 \(autofocus.ini\):' \
    'ok Link and Connected: the driver accepts Link' \
    'ok IsMoving, the first move of a run \(100 steps down\): False after 1 poll\.' \
    'ok Arrival, moving down to 900: Position 900 when IsMoving said False\.' \
    'ok Arrival, moving up to 950: Position 950 when IsMoving said False\.' \
    "Verdict: .* $RUN_LINE The focuser is back at its start, 1000\. $"
  check_fault "$where blocking Move" "$drv" 0 StepsPerSecond=200 BlockingMove=1 -- \
    'note Move returns only when the move is over: [0-9.]+ s in Move for the first move of a run \(100 steps\)\. Quillomar.s window does not answer' \
    'ok Arrival, moving down to 900: Position 900'
  NOT_CONNECTED=1 check_fault "$where link" "$drv" 1 NoLink=1 -- \
    'FAULT Link and Connected: the driver refuses Link and accepts only Connected\. .*"Focuser not recognized\."'
  check_fault "$where stops short" "$drv" 1 StepsPerSecond=2000 StopShortSteps=7 -- \
    'FAULT Arrival, moving down to 900: the focuser came to rest at 907, 7 steps short\.' \
    'FAULT Arrival, moving up to 950: the focuser came to rest at 943, 7 steps short\.'
  # IsMoving fails from the first move on: the move back follows the position instead.
  CALL_FAILS=1 check_fault "$where IsMoving fails on the way out" "$drv" 1 StepsPerSecond=2000 'Fail.IsMoving=+2:lost\sthe\sfocuser' -- \
    'Verdict: this driver does not work with the .* IsMoving failed: .*lost the focuser' \
    'The focuser is back at its start, 1000\. $'
  expect_eq "$where IsMoving fails: not judged" "$(grep -c 'IsMoving, the first move' <<<"$OUT")" 0
  expect_eq "$where IsMoving fails: not asked again" "$(sim_calls | grep -c ' IsMoving ')" 2
  expect_eq "$where IsMoving fails: no run time" "$(grep -c 'takes about' <<<"$OUT")" 0
done
CALL_FAILS=1 check_fault "a position read fails on the way out" QmSim.Focuser 1 StepsPerSecond=2000 'Fail.Position=2:no\sanswer' -- \
  'Verdict: this driver does not work with the .* Position failed: .*no answer' \
  'The focuser is back at its start, 1000\. $'
expect_eq "a position read fails: no run time" "$(grep -c 'takes about' <<<"$OUT")" 0
# The slow faults cost seconds of real waiting each: in process only.
echo "-- in process, faults that take time"
check_fault "IsMoving never True" QmSim.Focuser 1 StepsPerSecond=100 NeverMoving=1 -- \
  'FAULT IsMoving, the first move of a run \(100 steps down\): never True, although the focuser was still moving\.' \
  'FAULT Arrival, moving down to 900: Position 9[0-9][0-9], [0-9]+ steps away, when IsMoving said False; it arrived'
check_fault "IsMoving False early" QmSim.Focuser 1 StepsPerSecond=60 IdleEarlySteps=30 -- \
  'ok IsMoving, the first move of a run \(100 steps down\): True, then False after [0-9]+ polls\.' \
  'FAULT Arrival, moving down to 900: Position 9[0-9][0-9], [0-9]+ steps away, when IsMoving said False; it arrived'
# 100 steps at 3 steps per second: 33 s, longer than the wait's 100 polls and the 30 reads
# after it (about 3 + 10 s, but 25 s at a load of 15 on 2 cores, where 5 steps per
# second let the focuser arrive during the reads).
check_fault "too slow" QmSim.Focuser 1 StepsPerSecond=3 -- \
  'FAULT IsMoving, the first move of a run \(100 steps down\): still True after 100 polls\. .*"Move timeout"' \
  'FAULT Arrival, moving down to 900: Position 9[0-9][0-9], [0-9]+ steps away, when the wait gave up\. The run logs' \
  'Speed: about [23] steps per second'

# ---- the program's runs under the same faults --------------------------------------------
LIST=""
refresh() { LIST=$(probe list Quillomar); }
enabled() { grep -F "text=\"$1\"" <<<"$LIST" | head -1 | sed -n 's/.* enabled=\([01]\) .*/\1/p'; }
status_text() { awk '/text="Status:"$/ { getline; sub(/.* text="/, ""); sub(/"$/, ""); print; exit }' <<<"$LIST"; }
switched_on() { refresh; [ "$(enabled Stop)" = 1 ]; }
connected() { refresh; [ "$(enabled Disconnect)" = 1 ]; }
disconnected() { refresh; [ "$(enabled Connect)" = 1 ]; }
log_positions() { probe text Quillomar Edit 0 | sed -n 's/^ *\(-\?[0-9]*\) = .*/\1/p' | tr '\n' ' '; }
has_lines() { [ "$(log_positions | wc -w)" -ge "$1" ]; }
FAST=(StepsPerSecond=2000)
# run_with LINES SIM...: the focuser put at 1000, a run started as the host starts it under
# the fault; once it is switched on, later moves are fast again (a move under way keeps its
# speed) unless KEEP_FAULT=1, values are fed until LINES step lines are logged, and the run
# is stopped.
# RUN_STATUS: the status line as the run switched on; RUN_POSITIONS: the log's positions.
run_with() {
  local want=$1 k
  shift
  e2e_sim "${SIM_BASE[@]}" "${FAST[@]}"
  : >"$E2E_DIR/sim/calls.log"
  host --raw 5 1000 >/dev/null
  # The program handles the host's move when it gets to it: the fault is planted only after.
  wait_for "the move to 1000" 10 last_move_is 1000
  e2e_sim "${SIM_BASE[@]}" "$@"
  host --raw 2 22 >/dev/null
  wait_for "the run to switch on" 40 switched_on
  RUN_STATUS=$(status_text)
  [ "${KEEP_FAULT:-0}" = 1 ] || e2e_sim "${SIM_BASE[@]}" "${FAST[@]}"
  for ((k = 0; k < 10; k++)); do
    host --raw 0 $((500 + k)) >/dev/null
    wait_until 2 has_lines "$want" && break
  done
  probe click Quillomar Stop >/dev/null
  RUN_POSITIONS=$(log_positions)
}
last_move_is() { [ "$(sim_calls | grep ' Focuser Move ' | tail -1 | sed -n 's/.*VT_BYREF=\(-\?[0-9]*\)).*/\1/p')" = "$1" ]; }
first_position() { echo "${RUN_POSITIONS%% *}"; }

e2e_sim "${SIM_BASE[@]}" "${FAST[@]}"
e2e_start
wait_for "the automatic connection" 10 connected
probe tab Quillomar 0 >/dev/null

echo "-- runs"
run_with 2 StepsPerSecond=100 BlockingMove=1
expect_eq "blocking Move: the row all the same" "$RUN_POSITIONS" "900 950 "
KEEP_FAULT=1 run_with 2 StepsPerSecond=2000 StopShortSteps=7
expect_eq "stops short: the log's positions off the row" "$RUN_POSITIONS" "907 950 "
run_with 1 StepsPerSecond=20 NeverMoving=1
expect_match "IsMoving never True: logged on the way, short of 900" "$(first_position)" '^9[0-9][0-9]$'
expect_true "IsMoving never True: not at 900" test "$(first_position)" != 900
run_with 1 StepsPerSecond=20 IdleEarlySteps=60
expect_match "IsMoving False early: logged short of 900" "$(first_position)" '^9[0-9][0-9]$'
expect_true "IsMoving False early: not at 900" test "$(first_position)" != 900
run_with 1 StepsPerSecond=5
expect_eq "too slow: the status after the first move" "$RUN_STATUS" "Move timeout"
expect_match "too slow: the run goes on and logs a position short of 900" "$(first_position)" '^9[0-9][0-9]$'
expect_true "too slow: not at 900" test "$(first_position)" != 900

echo "-- a driver without Link"
probe tab Quillomar 1 >/dev/null
probe click Quillomar Disconnect >/dev/null
wait_for "the disconnection" 10 disconnected
e2e_sim "${SIM_BASE[@]}" NoLink=1
probe click Quillomar Connect >/dev/null
expect_eq "no Link: the box" "$(probe msgbox Error --timeout 20 | sed -n 's/^text: //p')" "Focuser not recognized."
probe msgbox Error --ok --timeout 5 >/dev/null
