#!/usr/bin/env bash
# Fault matrix: each member of the focuser's automation contract fails in turn, at
# connection, in a manual or host-commanded move, in a timer tick, at each stage of an
# autofocus run (start, a step, the backlash approach, the final move), plus wrong-typed
# answers and a focuser stuck moving. For each case: the box the user sees (caption and
# text), the controls afterwards (Connect, Disconnect, Start, Stop enabled; status line;
# the main window enabled again) and a following command that must still work.
#
# Failures are one-shot rules of the simulated driver aimed at the Nth call of a member:
# "@Move+2" in a rule stands for the second Move call from now, counted from the
# simulator's call log (the simulator counts the calls of each member per process).
# Runs are driven value by value from here (SimHost --raw), with a listening SimHost that
# only waits for the end-of-run report, so nothing reaches the program while a box is
# read and every status line is the one the fault left behind.
#
# Each case first sets up the state it needs (connected or not, the page, no run, the
# focuser at the middle of the sweep) from whatever the case before it left, and checks
# it has that state before it plants its fault: a case that goes wrong, on a slow
# machine say, fails that case alone. Waits wait for the state they need.

# A loaded machine runs this several times slower than a quiet one.
E2E_TIMEOUT_S=${E2E_TIMEOUT_S:-900}
source "$(dirname "$0")/lib.sh"
e2e_begin fault_matrix

# ---- reading the program ---------------------------------------------------------------
LIST=""
WINDOW_ENABLED=""
refresh() {
  LIST=$(probe list Quillomar)
  WINDOW_ENABLED=$(probe winfo Quillomar | sed -n 's/^enabled: //p')
}
button_enabled() { grep -F "text=\"$1\"" <<<"$LIST" | head -1 | sed -n 's/.* enabled=\([01]\) .*/\1/p'; }
status_text() { awk '/text="Status:"$/ { getline; sub(/.* text="/, ""); sub(/"$/, ""); print; exit }' <<<"$LIST"; }
position_text() { grep ' class=Static cindex=0 ' <<<"$LIST" | head -1 | sed 's/.* text="//; s/"$//'; }
log_text() { grep ' class=Edit cindex=0 ' <<<"$LIST" | head -1 | sed 's/.* text="//; s/"$//'; }
# "Connect Disconnect Start Stop | status | window=enabled", as the user sees them.
snap() {
  refresh
  echo "$(button_enabled Connect) $(button_enabled Disconnect) $(button_enabled Start) $(button_enabled Stop)" \
    "| $(status_text) | window=$WINDOW_ENABLED"
}
is_enabled() { refresh; [ "$(button_enabled "$1")" = 1 ]; }
shows_position() { refresh; [ "$(position_text)" = "$1" ]; }

# ---- the simulator's call log ----------------------------------------------------------
calls() { awk -v m="$1" '$3 == m' "$E2E_DIR/sim/calls.log" 2>/dev/null | wc -l; }
last_call() { tr -d '\r' < "$E2E_DIR/sim/calls.log" | awk -v m="$1" '$3 == m' | tail -1; }
move_targets() { tr -d '\r' < "$E2E_DIR/sim/calls.log" | awk '$3 == "Move"' | sed -n 's/.*VT_BYREF=\(-\?[0-9]*\)).*/\1/p'; }
last_move_is() { [ "$(move_targets | tail -1)" = "$1" ]; }
calls_above() { [ "$(calls "$1")" -gt "$2" ]; }
# A rule with each "@Member+K" replaced by the number of the Kth call of Member from now.
resolve() { rule_with_counts calls "$1"; }

# ---- actions ---------------------------------------------------------------------------
click() { probe click Quillomar "$1" >/dev/null; }
tab() { probe tab Quillomar "$1" >/dev/null; }
raw() { host --raw "$1" "$2" >/dev/null; }
timer_tick() { :; }  # the timer acts by itself every 500 ms

# A host that only announces its window (command 3) and waits for the report.
LISTENS=0
listen() {
  LISTENS=$((LISTENS + 1))
  LISTEN_OUT=$E2E_DIR/listen-$LISTENS.out
  timeout -k 5 120 wine "$E2E_HOST" --no-start --cadence-ms 100000000 --timeout-s 90 --quiet --count-reports 0.5 \
    >"$LISTEN_OUT" 2>/dev/null &
  LISTEN_PID=$!
  wait_for "the listening host to announce itself" 20 grep -qs '^sent: code=3' "$LISTEN_OUT"
}
listen_text() { tr -d '\r' < "$LISTEN_OUT"; }
stop_listening() { [ -n "${LISTEN_PID:-}" ] || return 0; kill "$LISTEN_PID" 2>/dev/null; wait "$LISTEN_PID" 2>/dev/null; LISTEN_PID=""; }
# The run reported: the listener exits 0 having received exactly one report.
expect_report() {
  wait "$LISTEN_PID"
  expect_eq "$1: the host received the report" "$?" 0
  LISTEN_PID=""
  expect_eq "$1: exactly one report" "$(listen_text | sed -n 's/^reports: //p')" 1
}
# The run did not report: the listener has seen nothing a second after the fault.
expect_no_report() {
  sleep 1
  stop_listening
  expect_eq "$1: no report" "$(listen_text | grep -c '^report:')" 0
}
log_positions() { listen_text | sed -n 's/^log: *\(-\?[0-9]*\) = .*/\1/p' | tr '\n' ' '; }

# Starts a run as the host does and waits until it is switched on.
start_run() {
  raw 2 22
  wait_for "the run to switch on (Stop enabled)" 15 is_enabled Stop
}
# Sends each focus value until the run counts it: a counted value makes the program read
# the focuser's position (no timer polls while the Autofocus page shows); a value within
# 200 ms of the end of a step move is ignored and sent again.
feed() {
  local v tries before
  for v in "$@"; do
    before=$(calls Position)
    for ((tries = 0; tries < 6; tries++)); do
      raw 0 "$v"
      wait_until 2 calls_above Position "$before" && break
    done
    sleep 0.5  # the step move, its wait and the 200 ms after it
  done
}
# Values that peak at the middle of five positions: the best focus is the middle one.
PEAK=(100 200 500 200 100)

# ---- one case of the matrix ------------------------------------------------------------
# fault_case NAME NEED PREP RULE TRIGGER CAPTION TEXT STATE FOLLOW
#   NEED: the state the case starts from, set up and checked first (need_NEED); a case
#   that cannot have it fails once and is not run.
#   PREP, TRIGGER, FOLLOW: commands (word-split; "-" for none), run in this order around
#   the rule; TEXT starting with "~" is a regular expression; STATE as printed by snap.
#   The rule is taken back before the box is closed, so only the aimed call fails.
fault_case() {
  local name=$1 need=$2 prep=$3 rule=$4 trigger=$5 caption=$6 text=$7 state=$8 follow=$9 got
  echo "-- $name"
  if ! "need_$need"; then
    fail "$name: could not set up the state it starts from ($need); got [$(snap)]"
    return
  fi
  [ "$prep" = - ] || $prep
  e2e_sim "${SIM_BASE[@]}" "$(resolve "$rule")"
  $trigger
  got=$(probe msgbox "$caption" --timeout 25 | sed -n 's/^text: //p')
  e2e_sim "${SIM_BASE[@]}"
  probe msgbox "$caption" --ok --timeout 5 >/dev/null
  if [[ $text == "~"* ]]; then
    expect_match "$name: box \"$caption\"" "$got" "${text#\~}"
  else
    expect_eq "$name: box \"$caption\"" "$got" "$text"
  fi
  expect_eq "$name: state afterwards" "$(snap)" "$state"
  [ "$follow" = - ] || $follow "$name"
}

# ==== Group 1: connection, manual and host moves, timer ticks, disconnection ============
SIM_BASE=(Absolute=1 MaxStep=30000 StartPosition=1000 StepsPerSecond=0 ChooseResult=QmSim.Focuser)
e2e_sim "${SIM_BASE[@]}"
e2e_start
touch "$E2E_DIR/sim/calls.log"
DISCONNECTED="1 0 0 0 | Disconnected | window=1"
IDLE="0 1 1 0 | Waiting for exposure | window=1"

# Setting up a case's state. A box a missed case left open is closed first, so that the
# next case reads its own.
close_stray_boxes() {
  local c
  for c in Error Quillomar; do
    probe msgbox "$c" --timeout 0 >/dev/null || continue
    probe msgbox "$c" --ok --timeout 5 >/dev/null && echo "  (closed a box \"$c\" left open)"
  done
  return 0
}
need_disconnected() {
  close_stray_boxes
  e2e_sim "${SIM_BASE[@]}"
  is_enabled Connect || { click Disconnect; wait_until 10 is_enabled Connect; }
  [ "$(snap)" = "$DISCONNECTED" ]
}
need_connected() {  # need_connected PAGE
  close_stray_boxes
  e2e_sim "${SIM_BASE[@]}"
  if ! is_enabled Disconnect; then
    click Connect
    wait_until 10 is_enabled Disconnect
  fi
  tab "$1"
  [ "$(snap)" = "$IDLE" ]
}
need_autofocus_page() { need_connected 0; }
need_control_page() { need_connected 1; }

choose_without_argument() {
  expect_match "$1: remembered driver unchanged (chooser shown without one)" "$(last_call Choose)" \
    'DISPATCH_METHOD\|DISPATCH_PROPERTYGET \(\)'
}
driver_released() {
  expect_eq "$1: the driver is released" "$(tr -d '\r' < "$E2E_DIR/sim/calls.log" | awk '$2 == "Focuser"' | tail -1 | cut -d' ' -f3)" \
    "(released)"
}
link_failed() { choose_without_argument "$1"; driver_released "$1"; }
max_step_failed() { choose_with_new_driver "$1"; driver_released "$1"; }
choose_with_new_driver() {
  expect_match "$1: the created driver is remembered (chooser preselects it)" "$(last_call Choose)" \
    'DISPATCH_METHOD \(VT_BSTR="QmSim.Focuser"\)'
}
connects() {
  click Connect
  expect_true "$1, then Connect: connected" wait_until 10 is_enabled Disconnect
  expect_eq "$1, then Connect: state" "$(snap)" "$IDLE"
  expect_true "$1, then Connect: position shown" wait_until 5 shows_position 1000
}
# Each manual case ends with a step click that must move the focuser and show it.
step_works() {
  local from target
  tab 1
  # Where the focuser stands: the target of the last move it accepted.
  from=$(tr -d '\r' < "$E2E_DIR/sim/calls.log" | awk '$3 == "Move" && / -> VT_EMPTY$/' | tail -1 |
    sed -n 's/.*VT_BYREF=\(-\?[0-9]*\)).*/\1/p')
  from=${from:-1000}
  expect_true "$1: display shows $from" wait_until 5 shows_position "$from"
  target=$((from + 10))
  click +10
  expect_true "$1, then +10: focuser sent to $target" wait_until 5 last_move_is "$target"
  expect_true "$1, then +10: display shows $target" wait_until 5 shows_position "$target"
}
host_move_works() {
  raw 6 -30
  expect_true "$1, then host move -30: focuser sent to 980" wait_until 5 last_move_is 980
  tab 1
}
# A failed unlink is reported once, and the disconnect still completes: the driver is
# released and a new Connect reaches a new driver object.
disconnects_anyway() {
  refresh
  expect_eq "$1: display reset" "$(position_text)" 00000
  driver_released "$1"
  expect_true "$1: no second box" test -z "$(probe msgbox Quillomar --timeout 1 | grep '^text:')"
  connects "$1"
}

# The driver's descriptions also try the report's text rules: trailing blanks and full
# stops are dropped, and a full stop is added only after a character above it ("!" and
# ")" are below it). A conversion error is the program's own text.
NOT_TEXT="~^Could not convert variant of type \\(OleStr\\) into type \\(Integer\\)$"
#          case                             needs        prep rule                                       trigger            caption   box text                   state afterwards following command
fault_case "connect: DeviceType fails"      disconnected -    "Fail.DeviceType=@DeviceType+1:no chooser" "click Connect"    Error     "ASCOM drivers not found." "$DISCONNECTED"  -
fault_case "connect: Choose fails"          disconnected -    "Fail.Choose=@Choose+1:chooser broken"     "click Connect"    Error     "ASCOM drivers not found." "$DISCONNECTED"  -
fault_case "connect: driver not creatable"  disconnected -    "ChooseResult=Missing.Focuser"             "click Connect"    Error     "ASCOM focuser not found." "$DISCONNECTED"  -
fault_case "connect: Link fails"            disconnected -    "Fail.Link=@Link+1:cannot link"            "click Connect"    Error     "Focuser not recognized."  "$DISCONNECTED"  link_failed
fault_case "connect: MaxStep fails"         disconnected -    "Fail.MaxStep=@MaxStep+1:no limit"         "click Connect"    Error     "Focuser not recognized."  "$DISCONNECTED"  max_step_failed
fault_case "connect: MaxStep answers 5e9"   disconnected -    "WrongType.MaxStep=bigreal"                "click Connect"    Error     "Focuser not recognized."  "$DISCONNECTED"  driver_released
fault_case "connect: MaxStep answers VT_I8" disconnected -    "WrongType.MaxStep=big"                    "click Connect"    Error     "Focuser not recognized."  "$DISCONNECTED"  connects
fault_case "step click: Move fails"         control_page -    "Fail.Move=@Move+1:The focuser is jammed"  "click +10"        Quillomar "The focuser is jammed."   "$IDLE"          step_works
fault_case "host move: Absolute fails"      autofocus_page - "Fail.Absolute=@Absolute+1:no answer\s\s" "raw 6 -30"        Quillomar "no answer."               "$IDLE"          host_move_works
fault_case "host move: Move fails"          autofocus_page - "Fail.Move=@Move+1:Move refused!"          "raw 5 2000"       Quillomar "Move refused!"            "$IDLE"          step_works
fault_case "timer tick: Position fails"     autofocus_page - "Fail.Position=@Position+1:lost it"        "tab 1"            Quillomar "lost it."                 "$IDLE"          step_works
fault_case "timer tick: Absolute fails"     autofocus_page - "Fail.Absolute=@Absolute+1:(busy)"         "tab 1"            Quillomar "(busy)"                   "$IDLE"          step_works
fault_case "timer tick: Position is text"   control_page -    "WrongType.Position=text"                  timer_tick         Quillomar "$NOT_TEXT"                "$IDLE"          step_works
fault_case "disconnect: Link false fails"   control_page -    "Fail.Link=@Link+1:cannot unlink."         "click Disconnect" Quillomar "cannot unlink."           "$DISCONNECTED"  disconnects_anyway

# A relative focuser keeps its own count: a Move that fails leaves it unchanged.
# The absolute focuser is disconnected before the simulator turns relative: a timer tick
# between the two would read the Position that a relative focuser refuses.
need_disconnected || fail "relative focuser: could not disconnect first; got [$(snap)]"
SIM_BASE=(Absolute=0 MaxStep=30000 StartPosition=1000 StepsPerSecond=0 ChooseResult=QmSim.Focuser)
e2e_sim "${SIM_BASE[@]}"
click Connect
expect_true "relative focuser connected" wait_until 10 is_enabled Disconnect
expect_true "relative focuser shows 10000" wait_until 5 shows_position 10000
relative_count_unchanged() {
  sleep 0.6  # a timer tick
  expect_eq "$1: the count is unchanged" "$(snap; position_text)" "$IDLE
10000"
  click +10
  expect_true "$1, then +10: Move(10) sent" wait_until 5 last_move_is 10
  expect_true "$1, then +10: display shows 10010" wait_until 5 shows_position 10010
}
# Its own state (the relative count at 10000) is set up just above.
need_relative() { close_stray_boxes; tab 1; [ "$(snap)" = "$IDLE" ] && [ "$(position_text)" = 10000 ]; }
fault_case "relative step click: Move fails" relative - "Fail.Move=@Move+1:jammed" "click +10" Quillomar "jammed." "$IDLE" \
  relative_count_unchanged

probe close Quillomar >/dev/null
e2e_wait_exit 20
expect_eq "group 1: the program exits normally" "$E2E_EXIT" 0

# ==== Group 2: autofocus runs ===========================================================
# Steps 5, Increment 100, Expo/Step 1, automatic connection to the simulated focuser.
SIM_BASE=(Absolute=1 MaxStep=30000 StartPosition=10000 StepsPerSecond=0 ChooseResult=QmSim.Focuser)
e2e_sim "${SIM_BASE[@]}"
printf '%s\r\n' '1003->5' '1004->100' '1005->1' '1001->1' '1002->0' '9990->0' '9991->QmSim.Focuser' \
  >"$E2E_DIR/prog/autofocus.ini"
: >"$E2E_DIR/sim/calls.log"  # a new process counts its calls from 1 again
e2e_start
expect_true "group 2: connected by itself" wait_until 10 is_enabled Disconnect
tab 0
STARTING="0 1 0 0"
DONE="0 1 1 0 | OK | window=1"  # a completed run: the final wait leaves "OK"
RUNNING="0 1 0 1"

start_with_listener() { listen; raw 2 22; }

# The state every run case starts from: connected, on the Autofocus page, no run and no
# listening host, backlash correction off, the focuser standing at 10000 (the middle of
# the sweep).
BACKLASH_ON=0
last_done_move() { tr -d '\r' < "$E2E_DIR/sim/calls.log" | awk '$3 == "Move" && / -> VT_EMPTY$/' | tail -1 |
  sed -n 's/.*VT_BYREF=\(-\?[0-9]*\)).*/\1/p'; }
at_middle() { local m; m=$(last_done_move); [ "${m:-10000}" = 10000 ]; }
need_idle() {
  stop_listening
  close_stray_boxes
  e2e_sim "${SIM_BASE[@]}"
  if ! is_enabled Disconnect; then
    click Connect
    wait_until 10 is_enabled Disconnect || return 1
  fi
  if [ $BACKLASH_ON = 1 ]; then
    tab 1
    probe check Quillomar "Software backlash correction" off >/dev/null && BACKLASH_ON=0
  fi
  refresh
  [ "$(button_enabled Stop)" = 1 ] && { tab 0; click Stop; }
  # Start and Stop both disabled (a start that went wrong): a page switch ends it.
  [ "$(button_enabled Start)" = 0 ] && tab 1
  tab 0
  if ! at_middle; then
    raw 5 10000
    wait_until 5 at_middle || return 1
  fi
  [ "$(snap | cut -c1-7)" = "0 1 1 0" ] && [ "$WINDOW_ENABLED" = 1 ]
}
# A complete run as the following command: five values, the report, the result.
clean_run() {
  local name="$1, then a complete run"
  [ -n "${2:-}" ] || listen
  start_run
  feed "${PEAK[@]}"
  expect_report "$name"
  expect_eq "$name: positions" "$(log_positions)" "9800 9900 10000 10100 10200 "
  expect_eq "$name: result line" "$(listen_text | sed -n 's/^log: \(.* -> Focus\)$/\1/p')" "10000 -> Focus"
  expect_eq "$name: state" "$(snap)" "$DONE"
}
# The focuser back in the middle of the sweep, after a run that did not finish there.
back_to_middle() {
  raw 5 10000
  expect_true "$1: focuser back at 10000" wait_until 5 last_move_is 10000
}
# Start and Stop both disabled: a page switch by the user brings Start back.
recover_by_page_switch() {
  local before
  before=$(calls Move)
  raw 2 22
  sleep 0.5
  expect_eq "$1: a host start is ignored while starting" "$(calls Move)" "$before"
  tab 1
  tab 0
  expect_eq "$1: Start enabled after a page switch" "$(snap | cut -c1-7)" "0 1 1 0"
}
after_first_move_failed() {
  recover_by_page_switch "$1"
  clean_run "$1" listening
}
after_first_wait_failed() {
  recover_by_page_switch "$1"
  stop_listening
  back_to_middle "$1"
  clean_run "$1"
}
after_start_position_failed() {
  tab 1
  tab 0
  stop_listening
  back_to_middle "$1"
  clean_run "$1"
}
# The run goes on from the position the focuser stands at: the step whose move failed
# is logged again at the same position.
rest_of_run_after_step_move() {
  feed 500 200 100
  expect_report "$1"
  expect_eq "$1: positions" "$(log_positions)" "9800 9900 9900 10000 10100 "
  expect_eq "$1: state" "$(snap)" "$DONE"
  raw 5 10000
  wait_for "the focuser back at 10000" 5 last_move_is 10000
}
rest_of_run() {
  feed "${@:2}"
  expect_report "$1"
  expect_eq "$1: positions" "$(log_positions)" "9800 9900 10000 10100 10200 "
  expect_eq "$1: state" "$(snap)" "$DONE"
}
rest_after_step_wait() { rest_of_run "$1" 500 200 100; }
rest_after_step_position() { rest_of_run "$1" 100 200 500 200 100; }
# The run was ended by the error in its finish: no report; the log holds the result.
finish_interrupted() {
  expect_no_report "$1"
  refresh
  expect_match "$1: log holds the result line" "$(log_text)" '\\r\\n10000 -> Focus$'
  expect_eq "$1: no move after the failed one" "$(move_targets | tail -1)" "$2"
}
after_final_move_failed() {
  finish_interrupted "$1" 10000
  back_to_middle "$1"
  clean_run "$1"
}
after_backlash_failed() {
  finish_interrupted "$1" 9950
  back_to_middle "$1"
  listen
  start_run
  feed "${PEAK[@]}"
  expect_report "$1, then a complete run with backlash correction"
  expect_eq "$1, then a complete run with backlash correction: last moves" \
    "$(move_targets | tail -2 | tr '\n' ' ')" "9950 10000 "
  tab 1
  probe check Quillomar "Software backlash correction" off >/dev/null && BACKLASH_ON=0
  tab 0
}
prepare_final() { listen; start_run; feed 100 200 500 200; }
prepare_backlash() {
  tab 1
  probe check Quillomar "Software backlash correction" on >/dev/null
  BACKLASH_ON=1
  tab 0
  prepare_final
}
listened_run() { listen; start_run; }

IDLE_AT_BEST="0 1 1 0 | Best Focus = 10000 | window=1"
#          case                              needs prep             rule                                     trigger             caption   box text             state afterwards                     following command
fault_case "run start: first Move fails" idle     -                "Fail.Move=@Move+1:Move refused"         start_with_listener Quillomar "Move refused."      "$STARTING | Waiting for exposure | window=1" after_first_move_failed
fault_case "run start: IsMoving fails" idle       -                "Fail.IsMoving=@IsMoving+1:cannot tell"  start_with_listener Quillomar "cannot tell."       "$STARTING | Moving ... | window=1"  after_first_wait_failed
# The position read that switches the run on fails: nothing of the run is switched on, so
# the program is left starting (Start and Stop disabled) as after the other errors at Start.
fault_case "run start: Position when switched on" idle \
                                             -                "Fail.Position=@Position+2:no position"  start_with_listener Quillomar "no position."       "$STARTING | OK | window=1"          after_start_position_failed
fault_case "run step: Move fails" idle            listened_run     "Fail.Move=@Move+2:Step move failed"     "feed 100 200"      Quillomar "Step move failed."  "$RUNNING | Focus = 200 | window=1"  rest_of_run_after_step_move
fault_case "run step: IsMoving fails" idle        listened_run     "Fail.IsMoving=@IsMoving+2:cannot tell"  "feed 100 200"      Quillomar "cannot tell."       "$RUNNING | Moving ... | window=1"   rest_after_step_wait
fault_case "run step: Position fails" idle        listened_run     "Fail.Position=@Position+1:no position"  "feed 100"          Quillomar "no position."       "$RUNNING | Focus = 100 | window=1"  rest_after_step_position
fault_case "run finish: final Move fails" idle    prepare_final    "Fail.Move=@Move+1:final move failed"    "feed 100"          Quillomar "final move failed." "$IDLE_AT_BEST"                      after_final_move_failed
fault_case "run finish: backlash Move fails" idle prepare_backlash "Fail.Move=@Move+1:approach failed"      "feed 100"          Quillomar "approach failed."   "$IDLE_AT_BEST"                      after_backlash_failed

# A focuser stuck in a step move: the wait gives up after 100 polls, about 10 s, shows
# "Move timeout", and the run goes on.
echo "-- run step: focuser stuck"
need_idle || fail "stuck: could not set up the state it starts from; got [$(snap)]"
listen
start_run
feed 100 200
e2e_sim "${SIM_BASE[@]}" Stuck=1
moves_before=$(calls Move)
polls_before=$(calls IsMoving)
feed 500
stuck_done() { [ "$(calls IsMoving)" -ge $((polls_before + 100)) ]; }
expect_true "stuck: the wait polls 100 times" wait_until 20 stuck_done
e2e_sim "${SIM_BASE[@]}"
sleep 0.5
expect_eq "stuck: exactly 100 polls" "$(calls IsMoving)" $((polls_before + 100))
expect_eq "stuck: state after the wait" "$(snap)" "$RUNNING | Move timeout | window=1"
first_tick=$(tr -d '\r' < "$E2E_DIR/sim/calls.log" | awk '$3 == "Move"' | sed -n "$((moves_before + 1))p" | cut -d' ' -f1)
last_tick=$(tr -d '\r' < "$E2E_DIR/sim/calls.log" | awk '$3 == "IsMoving"' | tail -1 | cut -d' ' -f1)
expect_true "stuck: the wait lasted about 10 s ($((last_tick - first_tick)) ms)" \
  test $((last_tick - first_tick)) -ge 9500 -a $((last_tick - first_tick)) -le 20000
rest_of_run "stuck: the run goes on" 200 100

# A step move fails while the host goes on exposing, and the box stays open for a while:
# the values are handled meanwhile, the run carries on and reports once.
echo "-- run step, host exposing: Move fails, box left open"
need_idle || fail "host exposing: could not set up the state it starts from; got [$(snap)]"
e2e_sim "${SIM_BASE[@]}" "$(resolve "Fail.Move=@Move+3:Step move failed")"
host --quiet --cadence-ms 150 --timeout-s 60 --count-reports 0.5 >"$E2E_DIR/exposing.out" &
exposing=$!
got=$(probe msgbox Quillomar --timeout 25 | sed -n 's/^text: //p')
e2e_sim "${SIM_BASE[@]}"
sleep 2
probe msgbox Quillomar --ok --timeout 5 >/dev/null
expect_eq "host exposing: box" "$got" "Step move failed."
wait "$exposing"
expect_eq "host exposing: the host received the report" "$?" 0
expect_eq "host exposing: exactly one report" "$(sed -n 's/^reports: //p' "$E2E_DIR/exposing.out")" 1
expect_eq "host exposing: five step lines" "$(grep -c '^log: .* = ' "$E2E_DIR/exposing.out")" 5
expect_eq "host exposing: state" "$(snap | cut -c1-7)" "0 1 1 0"

# Still answering at the end: the window closes and the program exits normally.
probe close Quillomar >/dev/null
e2e_wait_exit 20
expect_eq "group 2: the program exits normally" "$E2E_EXIT" 0
expect_eq "no crash reported by Wine" "$(grep -c -i 'unhandled exception' "$E2E_DIR/app.log")" 0
