#!/usr/bin/env bash
# Complete autofocus runs of the real program driven by the simulated imaging host:
# the log, the result, the moves the focuser received (backlash approach included),
# exactly one report; host moves during a run; a run ended by a page switch.
# e2e: both-architectures
source "$(dirname "$0")/lib.sh"
e2e_begin autofocus_run

moves() { sim_calls | grep ' Move DISPATCH_METHOD' | sed -n 's/.*VT_I4|VT_BYREF=\(-\?[0-9]*\)).*/\1/p' | tr '\n' ' '; }
value() { sed -n "s/^$1: //p" <<<"$2" | head -1; }
stop_enabled() { [ "$(field enabled "$(control_line Stop)")" = 1 ]; }
# The step line the star model gives at POSITION with the true focus at TRUE, noise 0:
# 100000 / sqrt(2^2 + (0.02 * (POSITION - TRUE))^2), rounded (SimHost's defaults).
model_line() { awk -v p="$1" -v t="$2" 'BEGIN { d = 0.02 * (p - t); printf "%5d = %d\n", p, int(100000 / sqrt(4 + d * d) + 0.5) }'; }

e2e_sim Absolute=1 MaxStep=60000 StartPosition=10000 StepsPerSecond=4000
printf '%s\r\n' '1003->7' '1004->100' '1005->2' '1001->1' '1002->1' '9990->0' '9991->QmSim.Focuser' > "$E2E_DIR/prog/autofocus.ini"
e2e_start
wait_for "the automatic connection" 10 bash -c "grep -q 'VT_BOOL=-1) -> OK' '$E2E_DIR/sim/calls.log' 2>/dev/null"

# 1. A complete run, started by the host.
out=$(host --true-offset 40 --quiet --cadence-ms 250 --count-reports 2)
expect_eq "host received the report" "$?" 0
mapfile -t log < <(sed -n 's/^log: //p' <<<"$out")
expect_eq "seven step lines and the result line" "${#log[@]}" 8
expect_eq "first step line" "${log[0]}" "$(model_line 9700 10040)"
expect_eq "every step line as the star model gives it" "$(printf '%s\n' "${log[@]:0:7}")" \
  "$(for p in 9700 9800 9900 10000 10100 10200 10300; do model_line $p 10040; done)"
positions=$(printf '%s\n' "${log[@]:0:7}" | sed "s/ = .*//" | tr -s " \n" "  ")
expect_eq "positions visited" "$positions" " 9700 9800 9900 10000 10100 10200 10300 "
best=$(sed -n 's/^result: BestFocus=\(-\?[0-9]*\).*/\1/p' <<<"$out")
expect_match "result line" "${log[7]}" "^ *$best -> Focus$"
expect_true "best focus near the true focus" test "${best:-0}" -ge 10000 -a "${best:-0}" -le 10080
expect_eq "focuser received the sweep, the backlash approach and the final move" "$(moves)" \
  "9700 9800 9900 10000 10100 10200 10300 $((best - 50)) $best "
expect_match "final position" "$(value final "$out")" "^Position=$best "
expect_eq "exactly one report" "$(value reports "$out")" 1

# 2. Host moves during a run: the rest of the sweep starts from where the host sent it.
: > "$E2E_DIR/sim/calls.log"
host --true-offset 0 --quiet --cadence-ms 300 > "$E2E_DIR/run2.out" &
hostpid=$!
wait_for "the second run's first sweep move" 10 bash -c "grep -q 'VT_BYREF=$((best - 300)))' '$E2E_DIR/sim/calls.log'"
wait_for "the second run to switch on" 10 stop_enabled
sleep 1.2
# Instant moves from here, so that the offset applies to the position the host just set.
e2e_sim Absolute=1 MaxStep=60000 StepsPerSecond=0
host --raw 5 20000 --raw 6 -50 >/dev/null
wait $hostpid
expect_eq "run with host moves still reports" "$?" 0
expect_match "absolute host move sent" "$(moves)" " 20000 19950 "
expect_match "sweep goes on from the moved position" "$(moves)" " 19950 20050 "

e2e_sim Absolute=1 MaxStep=60000 StepsPerSecond=4000

# 3. A page switch by the user ends the run: nothing moves, no report.
: > "$E2E_DIR/sim/calls.log"
host --quiet --cadence-ms 300 --expect-no-report 6 > "$E2E_DIR/run3.out" &
hostpid=$!
# A run under way: switched on (Stop enabled) and past its first step move.
under_way() { stop_enabled && [ "$(moves | wc -w)" -ge 2 ]; }
wait_for "the third run to be under way" 10 under_way
probe tab Quillomar 1 >/dev/null
sleep 0.5
n=$(moves | wc -w)
wait $hostpid
expect_eq "no report after a page switch" "$?" 0
expect_eq "no move after the page switch" "$(moves | wc -w)" "$n"
probe tab Quillomar 0 >/dev/null
expect_eq "Start enabled again" "$(field enabled "$(control_line Start)")" 1
expect_eq "Stop disabled" "$(field enabled "$(control_line Stop)")" 0

# 4. A flood of 10,000 focus values during a run: handled in order, the run still correct.
out=$(host --quiet --cadence-ms 250 --flood 10000 --flood-at 3)
expect_eq "flooded run reports" "$?" 0
expect_eq "flooded run logs seven steps and a result" "$(sed -n 's/^loglines: //p' <<<"$out")" 8
expect_match "flooded run finds a result" "$out" 'result: BestFocus=-?[0-9]+ '

# 5. A host window that no longer exists: the report goes nowhere and the program goes on.
e2e_sim Absolute=1 MaxStep=60000 StepsPerSecond=0
probe tab Quillomar 0 >/dev/null
# The log pane's text; fails when the probe cannot read it.
log_pane() { local t; t=$(wine "$E2E_PROBE" text Quillomar Edit 0 2>/dev/null) || return 1; tr -d '\r' <<<"$t"; }
has_result() { local t; t=$(log_pane) && grep -qF -- '-> Focus' <<<"$t"; }
# Switched on: the previous run's log is cleared (read, not merely unreadable) and Stop
# is enabled.
switched_on() { local t; t=$(log_pane) && ! grep -qF -- '-> Focus' <<<"$t" && stop_enabled; }
expect_true "before the start the log holds the previous result" has_result
host --raw 3 0x7FFF1234 --raw 2 22 >/dev/null
# Values that arrive before the run is switched on are shown but not counted, so the
# host goes on sending until the result line appears.
expect_true "run switched on" wait_until 10 switched_on
for ((k = 0; k < 24; k++)); do
  host --raw 0 $((1000 + (k / 2 == 3 ? 500 : k * 10))) >/dev/null
  sleep 0.4
  has_result && break
done
expect_true "run with a vanished host completes" wait_until 10 has_result
expect_match "program still answers" "$(probe winfo Quillomar)" '^title: Quillomar'

# 6. Command 1 minimises; command 2 with another value is ignored.
n=$(moves | wc -w)
host --raw 2 21 >/dev/null
sleep 1
expect_eq "start with value 21 ignored" "$(moves | wc -w)" "$n"
host --raw 1 0 >/dev/null
expect_true "minimised" wait_until 5 bash -c "wine '$E2E_PROBE' winfo Quillomar 2>/dev/null | tr -d '\r' | grep -q '^iconic: 1'"
