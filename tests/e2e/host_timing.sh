#!/usr/bin/env bash
# The timing rules that the host developer's guide (docs/host-protocol.md) gives, checked
# with the reference host sending its messages the ways the guide describes: which focus
# values a run counts (before the run is switched on, during and after each step move),
# what a host that sends its values instead of posting them gains, a position whose values
# are all 0, a start asked for during the automatic connection, during the final move,
# twice at once or while no focuser is connected, a command sent during the automatic
# connection, closing the program while an error box is open, the time limit that the
# guide's formula gives a run whose moves never end, and a second instance.
source "$(dirname "$0")/lib.sh"
e2e_begin host_timing

# Steps 5, Increment 100, Expo/Step 1, no backlash correction, automatic connection to the
# simulated focuser. A slow focuser: a step move of 100 steps takes about 0.8 s.
SLOW=(Absolute=1 MaxStep=60000 StartPosition=10000 StepsPerSecond=120)
write_ini() {
  printf '%s\r\n' '1003->5' '1004->100' '1005->1' '1001->1' '1002->0' '9990->0' "9991->${1:-QmSim.Focuser}" \
    > "$E2E_DIR/prog/autofocus.ini"
}
connections() { grep -c 'MaxStep.* -> VT_I4=' "$E2E_DIR/sim/calls.log" 2>/dev/null; }
connected() { [ "$(connections)" -gt 0 ]; }
# The values of the step lines of a host's output, in order.
step_values() { sed -n 's/^log: *-\?[0-9]* = \(-\?[0-9]*\)$/\1/p' <<<"$1"; }
# The exposure line with number N.
exposure_line() { grep -m1 "^exposure: n=$2 " <<<"$1"; }
# host, with each line of its output passed on at once.
host_lines() { timeout -k 5 300 wine "$E2E_HOST" "$@" 2>/dev/null | stdbuf -oL tr -d '\r'; }
# Puts the focuser at POSITION at once, through the host's command 5.
place_focuser() {
  e2e_sim "${SLOW[@]/StepsPerSecond=*/StepsPerSecond=0}"
  host --raw 5 "$1" >/dev/null
  sleep 1
  e2e_sim "${SLOW[@]}"
}

e2e_sim "${SLOW[@]}"
write_ini
e2e_start 1
wait_for "the automatic connection" 15 connected || exit 1

# 1. A host that sends each value (and command 2) and starts its next exposure when the
# send returns: no exposure overlaps a move, every value counts, the run takes exactly
# Steps x Expo/Step exposures.
out=$(host --send-values --numbered-values --cadence-ms 300 --timeout-s 120)
echo "$out" > "$E2E_DIR/sent.out"
expect_match "sent values: report" "$out" '^report: code=4 value=44$'
expect_eq "sent values: no exposure overlapped a move" "$(sed -n 's/^overlapped: //p' <<<"$out")" 0
expect_eq "sent values: every value counted, one per position" "$(step_values "$out" | tr '\n' ' ')" \
  "1001 1002 1003 1004 1005 "
expect_eq "sent values: no more exposures than counted" "$(grep -c '^exposure: ' <<<"$out")" 5

# 2. The same host sending the next value at once after each step (50 ms): the value
# handled within 200 ms after a step move is not counted, but the first value after the
# run is switched on is, although the first move ended moments before.
place_focuser 10000
out=$(host --send-values --numbered-values --cadence-ms 50 --timeout-s 120)
echo "$out" > "$E2E_DIR/sent-fast.out"
mapfile -t values < <(step_values "$out")
expect_eq "fast sends: five step lines" "${#values[@]}" 5
expect_eq "fast sends: the first value counts at the first position" "${values[0]:-}" 1001
skipped=0
for ((k = 1; k < ${#values[@]}; k++)); do
  [ "${values[k]}" -gt $((values[k - 1] + 1)) ] && skipped=$((skipped + 1))
done
expect_true "fast sends: the value sent right after a step move is not counted ($skipped of 4 steps)" \
  test "$skipped" -ge 1

# 3. A host that posts and just keeps exposing (1.4 s exposures, a focuser that needs 1.7 s
# for an Increment): values of exposures that ended while the focuser moved (to the first
# position or on to the next) are never counted; an exposure that began during a move and
# ended well after it is counted for the new position.
place_focuser 10000
e2e_sim "${SLOW[@]/StepsPerSecond=*/StepsPerSecond=60}"
out=$(host --numbered-values --cadence-ms 1400 --timeout-s 120)
e2e_sim "${SLOW[@]}"
echo "$out" > "$E2E_DIR/posted.out"
expect_match "posted values: report" "$out" '^report: code=4 value=44$'
mid_move=0 counted_mid_move=0 counted_overlapped=0
for value in $(step_values "$out"); do
  line=$(exposure_line "$out" $((value - 1000)))
  pos=$(field position "$line")
  [ $(((pos - 9800) % 100)) -ne 0 ] && counted_mid_move=$((counted_mid_move + 1))
  [ "$(field moved "$line")" = 1 ] && counted_overlapped=$((counted_overlapped + 1))
done
while read -r line; do
  pos=$(field position "$line")
  [ $(((pos - 9800) % 100)) -ne 0 ] && mid_move=$((mid_move + 1))
done < <(grep '^exposure: ' <<<"$out")
expect_true "posted values: some exposures ended while the focuser moved ($mid_move)" test "$mid_move" -ge 1
expect_eq "posted values: none of those was counted" "$counted_mid_move" 0
expect_true "posted values: an exposure begun during a move was counted ($counted_overlapped)" \
  test "$counted_overlapped" -ge 1

# 4. A position whose values are all 0: the sweep goes on through every position, then no
# best focus, the focuser back at the first position of the sweep, and the report.
place_focuser 10000
out=$(host --zero-position 9900 --cadence-ms 300 --timeout-s 120)
echo "$out" > "$E2E_DIR/zero.out"
expect_match "zero position: its step line" "$out" '^log:  9900 = 0$'
expect_eq "zero position: the sweep went on to the end" "$(step_values "$out" | grep -c .)" 5
expect_match "zero position: no best focus" "$out" '^result: none '
expect_match "zero position: back at the first position" "$out" '^final: Position=9800 '
expect_eq "zero position: reported" "$(sed -n 's/^reports: //p' <<<"$out")" 1

# 4b. Command 2 posted during the final move of a run waits, is handled after the report
# and starts the next run; a second command 2 queued behind the first is lost.
moves() { grep -c ' Focuser Move ' "$E2E_DIR/sim/calls.log"; }
place_focuser 10000
e2e_sim "${SLOW[@]/StepsPerSecond=*/StepsPerSecond=60}"
before=$(moves)
host_lines --true-offset -150 --cadence-ms 300 --timeout-s 120 > "$E2E_DIR/final-move.out" &
hostpid=$!
final_move_started() { [ "$(moves)" -ge $((before + 6)) ]; }
wait_for "the final move" 90 final_move_started
host --raw 2 22 >/dev/null
expect_true "start during the final move: posted before the report" \
  test "$(moves)" -eq $((before + 6)) -a -z "$(grep '^report:' "$E2E_DIR/final-move.out")"
wait "$hostpid"
expect_eq "start during the final move: the run reported" "$?" 0
next_run_started() { [ "$(moves)" -gt $((before + 6)) ] && [ "$(button_states)" = "0 1 0 1" ]; }
expect_true "start during the final move: the next run started after the report" wait_until 20 next_run_started
probe click Quillomar Stop >/dev/null
e2e_sim "${SLOW[@]/StepsPerSecond=*/StepsPerSecond=0}"
before=$(moves)
host --raw 2 22 --raw 2 22 >/dev/null
running() { [ "$(button_states)" = "0 1 0 1" ]; }
wait_for "the run after two starts" 20 running
sleep 2
expect_eq "two starts at once: one first move, the second start lost" "$(moves)" $((before + 1))
probe click Quillomar Stop >/dev/null
e2e_sim "${SLOW[@]}"

# 5. WM_CLOSE ends the program.
host --close >/dev/null
e2e_wait_exit 20
expect_eq "WM_CLOSE ends the idle program" "$E2E_EXIT" 0

# 6. Command 2 posted while the automatic connection is under way (the driver takes 8 s to
# link) is handled once the connection is made, and the run starts and reports. The same
# with the driver in a process of its own.
for driver in QmSim.Focuser QmSim.FocuserLocal; do
  e2e_sim "${SLOW[@]/StepsPerSecond=*/StepsPerSecond=4000}" Delay.Link=8000
  write_ini "$driver"
  before=$(connections)
  # The host is up and looking for the window before the program starts (e2e_start would
  # wait for the window, which waits for the connection too).
  host_lines --find-timeout-s 30 --cadence-ms 300 --timeout-s 120 > "$E2E_DIR/during-connect-$driver.out" &
  hostpid=$!
  sleep 3
  (cd "$E2E_DIR/prog" && exec wine Quillomar.exe 1) >"$E2E_DIR/app.log" 2>&1 &
  E2E_APP_PID=$!
  sent_start() { grep -q '^sent: code=2 value=22$' "$E2E_DIR/during-connect-$driver.out"; }
  wait_for "command 2 ($driver)" 30 sent_start
  expect_eq "$driver: command 2 was sent before the connection was made" "$(connections)" "$before"
  wait "$hostpid"
  expect_eq "$driver: the run started after the connection and reported" "$?" 0
  host --close >/dev/null
  e2e_wait_exit 20
done

# 6b. A command sent while the automatic connection is under way (the driver takes 8 s to
# link): with the driver in the program's process the send returns only once the
# connection is made; a driver in a process of its own lets the send through at once.
for driver in QmSim.Focuser QmSim.FocuserLocal; do
  e2e_sim "${SLOW[@]/StepsPerSecond=*/StepsPerSecond=4000}" Delay.Link=8000
  write_ini "$driver"
  before=$(connections)
  host --find-timeout-s 30 --raw 3 0 --send > "$E2E_DIR/sent-during-connect-$driver.out" &
  hostpid=$!
  sleep 3
  (cd "$E2E_DIR/prog" && exec wine Quillomar.exe 1) >"$E2E_DIR/app.log" 2>&1 &
  E2E_APP_PID=$!
  wait "$hostpid"
  expect_eq "$driver: command 3 sent during the connection was handled" "$?" 0
  if [ "$driver" = QmSim.Focuser ]; then
    expect_eq "$driver: the send returned once the connection was made" "$(connections)" $((before + 1))
  else
    expect_eq "$driver: the send returned before the connection was made" "$(connections)" "$before"
  fi
  wait_for "the connection ($driver)" 30 bash -c "[ \$(grep -c 'MaxStep.* -> VT_I4=' '$E2E_DIR/sim/calls.log') -gt $before ]"
  host --close >/dev/null
  e2e_wait_exit 20
done

# 7. A connection that fails shows its error box: a command 2 that comes meanwhile finds no
# focuser and is lost; WM_CLOSE waits until the box is closed, then ends the program.
e2e_sim "${SLOW[@]}" 'Fail.Link=1:Link\srefused'
write_ini
e2e_start 1
box_open() { grep -q '^text: Focuser not recognized\.$' <<<"$(probe msgbox Error --timeout 1)"; }
wait_for "the connection error box" 20 box_open
host --expect-no-report 3 > "$E2E_DIR/lost-start.out"
expect_eq "no focuser: command 2 lost, no report" "$?" 0
host --close >/dev/null
sleep 3
expect_true "WM_CLOSE during the error box: the program stays" kill -0 "$E2E_APP_PID"
probe msgbox Error --ok >/dev/null
e2e_wait_exit 20
expect_eq "WM_CLOSE during the error box: the program ends once the box is closed" "$E2E_EXIT" 0

# 8. The time limit that the guide's formula gives, computed from autofocus.ini, holds a
# run whose moves never end: every wait gives up after its 100 polls.
ini_value() { tr -d '\r' < "$E2E_DIR/prog/autofocus.ini" | sed -n "s/^$1->//p"; }
# Seconds, for T seconds between values and C of the automatic connection still to come:
# the connection, the first move's wait, Steps x Expo/Step exposures, for each later
# position the pause, the wait, the 200 ms and one lost exposure, the final move (and the
# backlash approach), half as much again for the driver's answers, the timer and a busy
# computer. run_time_limit T C
run_time_limit() {
  awk -v s="$(ini_value 1003)" -v e="$(ini_value 1005)" -v b="$(ini_value 1002)" -v t="$1" -v c="$2" 'BEGIN {
    w = 100 * 0.1 + 0.05
    total = c + w + s * e * t + (s - 1) * (0.08 + w + 0.2 + t) + 0.08 + 0.5 + w + b * (0.5 + w)
    printf "%d\n", total * 1.5 + 0.999 }'
}
e2e_sim "${SLOW[@]}" Stuck=1
write_ini
polls() { grep -c ' Focuser IsMoving ' "$E2E_DIR/sim/calls.log"; }
e2e_start 1
wait_for "the automatic connection" 15 connected
before=$(polls)
limit=$(run_time_limit 0.3 0)  # connected before command 2
out=$(host --cadence-ms 300 --timeout-s "$limit")
echo "$out" > "$E2E_DIR/stuck.out"
expect_match "stuck focuser: reported within the guide's limit of $limit s" "$out" '^report: code=4 value=44$'
expect_eq "stuck focuser: six waits of 100 polls" "$(($(polls) - before))" 600

# 9. Nothing keeps a second instance from starting: it stays, and connects to the same
# remembered driver.
e2e_sim "${SLOW[@]}"
before=$(connections)
(cd "$E2E_DIR/prog" && exec wine Quillomar.exe 1) >"$E2E_DIR/app2.log" 2>&1 &
second=$!
one_more_connection() { [ "$(connections)" -gt "$before" ]; }
expect_true "second instance: connected to the remembered driver" wait_until 30 one_more_connection
sleep 2
both_run() { kill -0 "$second" && kill -0 "$E2E_APP_PID"; }
expect_true "second instance: both instances run" both_run
