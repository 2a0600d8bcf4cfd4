#!/usr/bin/env bash
# The focuser as a local server (QmSim.FocuserLocal, an .exe of its own): the same
# session in process and out of process must send the same calls, with the same
# access flags and argument types (Move's VT_I4|VT_BYREF crosses the process
# boundary); automatic connection; the driver faults of Link, Position, IsMoving, Move,
# Absolute and MaxStep with their driver texts carried across; a start sent or posted
# while the automatic connection waits for the server; and a driver registered
# only for the other architecture, which the program cannot create.
# e2e: both-architectures
source "$(dirname "$0")/lib.sh"
e2e_begin local_server

BASE=(Absolute=1 MaxStep=30000 StartPosition=1000 StepsPerSecond=4000)
DISCONNECTED="1 0 0 0"
IDLE="0 1 1 0"

tab() { probe tab Quillomar "$1" >/dev/null; }
is_enabled() { [ "$(field enabled "$(control_line "$1")")" = 1 ]; }
shows_position() { [ "$(position_display)" = "$1" ]; }
last_move() { sim_calls | awk '$3 == "Move"' | tail -1 | sed -n 's/.*VT_BYREF=\(-\?[0-9]*\)).*/\1/p'; }
move_is() { [ "$(last_move)" = "$1" ]; }
linked_count() { sim_calls | grep -c ' Focuser Link DISPATCH_PROPERTYPUT (DISPID_PROPERTYPUT:VT_BOOL=-1) -> OK'; }
linked_more_than() { [ "$(linked_count)" -gt "$1" ]; }
server_lines() { sim_calls | grep -c ' LocalServer (started) '; }
server_ended() { sim_calls | tail -1 | grep -q ' LocalServer (ended) '; }
# Each call as "<member> <flags> (<argument types>) -> <result type>", values left out.
signatures() {
  sim_calls | awk '$2 == "Focuser" && $3 !~ /^\(/' | cut -d' ' -f3- |
    sed -E 's/=(-?[0-9]+|"[^"]*")//g; s/ -> (EXCEPTION|ERROR) .*/ -> \1/' | sort -u
}

connect() {
  local before
  touch "$E2E_DIR/sim/calls.log"
  before=$(linked_count)
  probe click Quillomar Connect >/dev/null
  wait_until 15 linked_more_than "$before"
}

# One session: connect through the chooser, step clicks, host moves, a complete
# host-driven run with backlash correction, disconnect.
session() {
  local progid=$1 label=$2 out best
  e2e_sim "${BASE[@]}" ChooseResult="$progid"
  expect_true "$label: connected through the chooser" connect
  tab 1
  expect_true "$label: display shows 1000" wait_until 5 shows_position 1000
  probe click Quillomar -100 >/dev/null
  expect_true "$label: -100 moves to 900" wait_until 5 move_is 900
  probe click Quillomar +10 >/dev/null
  expect_true "$label: +10 moves to 910" wait_until 5 move_is 910
  expect_true "$label: display follows" wait_until 5 shows_position 910
  host --raw 5 1000 >/dev/null
  expect_true "$label: host move to 1000" wait_until 5 move_is 1000
  out=$(host --true-offset 40 --quiet --cadence-ms 250 --count-reports 1)
  expect_eq "$label: run reported to the host" "$?" 0
  best=$(sed -n 's/^result: BestFocus=\(-\?[0-9]*\).*/\1/p' <<<"$out")
  expect_eq "$label: one report" "$(sed -n 's/^reports: //p' <<<"$out")" 1
  expect_eq "$label: sweep, backlash approach and final move" \
    "$(sim_calls | awk '$3 == "Move"' | tail -7 | sed -n 's/.*VT_BYREF=\(-\?[0-9]*\)).*/\1/p' | tr '\n' ' ')" \
    "800 900 1000 1100 1200 $((best - 50)) $best "
  tab 1
  probe click Quillomar Disconnect >/dev/null
  expect_true "$label: disconnected" wait_until 10 is_enabled Connect
}

# ---- the same session in process and out of process ------------------------------------
printf '%s\r\n' '1003->5' '1004->100' '1005->1' '1001->0' '1002->1' '9990->0' '9991->' > "$E2E_DIR/prog/autofocus.ini"
e2e_sim "${BASE[@]}"
e2e_start
session QmSim.Focuser "in process"
inproc=$(signatures)
expect_eq "in process: no server process" "$(server_lines)" 0
: > "$E2E_DIR/sim/calls.log"

session QmSim.FocuserLocal "local server"
local_calls=$(signatures)
expect_eq "local server: one server process" "$(server_lines)" 1
expect_true "local server: the server ends when the driver is released" wait_until 10 server_ended
expect_eq "local server: the same calls, flags and argument types as in process" "$local_calls" "$inproc"
expect_match "local server: Move passes VT_I4 by reference" "$local_calls" '^Move DISPATCH_METHOD \(VT_I4\|VT_BYREF\) -> VT_EMPTY$'
expect_match "local server: Link written as VT_BOOL" "$local_calls" '^Link DISPATCH_PROPERTYPUT \(DISPID_PROPERTYPUT:VT_BOOL\) -> OK$'

# ---- automatic connection to the local server --------------------------------------------
probe close Quillomar >/dev/null
e2e_wait_exit 20
printf '%s\r\n' '1003->5' '1004->100' '1005->1' '1001->1' '1002->0' '9990->0' '9991->QmSim.FocuserLocal' \
  > "$E2E_DIR/prog/autofocus.ini"
: > "$E2E_DIR/sim/calls.log"
e2e_sim "${BASE[@]}" StepsPerSecond=0
e2e_start
expect_true "automatic connection: linked" wait_until 15 linked_more_than 0
expect_eq "automatic connection: no chooser shown" "$(sim_calls | grep -c ' Choose ')" 0
expect_eq "automatic connection: through a server process" "$(server_lines)" 1
expect_true "automatic connection: position shown" wait_until 5 shows_position 1000

# ---- a start that comes while the automatic connection is under way ------------------------
# The server takes seconds to register its class, so the window is up while the program's
# creation call waits for it. A start sent then is handled inside that call, one posted
# waits in the queue: either starts the run once the connection is made.
start_during_connection() {
  local how=$1 out
  probe close Quillomar >/dev/null
  e2e_wait_exit 20
  : > "$E2E_DIR/sim/calls.log"
  e2e_sim "${BASE[@]}" ServerStartDelay=5000
  e2e_start
  if [ "$how" = sent ]; then host --raw 2 22 --send >/dev/null; else host --raw 2 22 >/dev/null; fi
  expect_eq "start $how during the automatic connection: handed over before the focuser was linked" \
    "$(linked_count)" 0
  expect_true "start $how during the automatic connection: the run starts once connected" \
    wait_until 20 is_enabled Stop
  out=$(host --no-start --quiet --cadence-ms 250 --timeout-s 60)
  expect_eq "start $how during the automatic connection: the run reports" "$(grep -c '^report:' <<<"$out")" 1
  tab 1
}
start_during_connection sent
start_during_connection posted

# ---- driver faults across the process boundary -----------------------------------------
# The simulator counts the calls of each member per process: "@Member+K" is the Kth call
# of Member from now in the current server process (none after a server ended).
calls_now() {
  sim_calls | awk -v m="$1" '$2 == "LocalServer" { n = 0; next } $3 == m { n++ } END { print n + 0 }'
}
resolve() { rule_with_counts calls_now "$1"; }
# Waits (up to 5 s) until the rule's member has not been called for a second: on a loaded
# machine the calls that end the previous case can reach the server after its count was
# taken, and the rule would then name a call already made.
settle() {
  local member=${1#Fail.} before after i
  member=${member%%=*}
  before=$(calls_now "$member")
  for i in 1 2 3 4 5; do
    sleep 1
    after=$(calls_now "$member")
    [ "$after" = "$before" ] && return 0
    before=$after
  done
  return 0
}
SIM_BASE=(Absolute=1 MaxStep=30000 StepsPerSecond=0 ChooseResult=QmSim.FocuserLocal)
# fault NAME PREP RULE TRIGGER CAPTION TEXT STATE: the box the user sees and the buttons afterwards.
fault() {
  local name=$1 prep=$2 rule=$3 trigger=$4 caption=$5 text=$6 state=$7 got
  [ "$prep" = - ] || $prep
  settle "$rule"
  e2e_sim "${SIM_BASE[@]}" "$(resolve "$rule")"
  $trigger
  got=$(probe msgbox "$caption" --timeout 25 | sed -n 's/^text: //p')
  e2e_sim "${SIM_BASE[@]}"
  probe msgbox "$caption" --ok --timeout 5 >/dev/null
  expect_eq "$name: box \"$caption\"" "$got" "$text"
  expect_eq "$name: buttons afterwards" "$(button_states)" "$state"
  local description=${rule#*:}
  expect_true "$name: the server raised it" \
    bash -c "tr -d '\r' < '$E2E_DIR/sim/calls.log' | grep ' EXCEPTION ' | tail -1 | grep -qF -- '${description%%\\*}'"
}
click() { probe click Quillomar "$1" >/dev/null; }
# Disconnected, and the server process gone with the driver, so its call counts start anew.
disconnect_fully() { click Disconnect; wait_until 10 is_enabled Connect; wait_until 10 server_ended; }
start_run() { tab 0; host --raw 2 22 >/dev/null; wait_until 15 is_enabled Stop; }
# Focus values until the step is complete and its move's wait meets the failure (at most
# four): on a loaded machine the first may come within 200 ms of the first move's end,
# which the run ignores by design, and then two values do not complete the step.
feed_until_raised() {
  local value
  for value in 100 200 300 400; do
    host --raw 0 "$value" >/dev/null
    sleep 0.5
    grep -q ' EXCEPTION .*cannot tell' <<<"$(sim_calls)" && return 0
  done
  return 0
}
stop_run() { click Stop; tab 1; }
RUNNING="0 1 0 1"

#     case                       prep       rule                                       trigger            caption   box text                  buttons
fault "connect: Link fails"      disconnect_fully "Fail.Link=@Link+1:cannot link"    "click Connect"    Error     "Focuser not recognized." "$DISCONNECTED"
expect_true "connect: Link fails: the server ends with the released driver" wait_until 10 server_ended
fault "connect: MaxStep fails"   -          "Fail.MaxStep=@MaxStep+1:no limit"         "click Connect"    Error     "Focuser not recognized." "$DISCONNECTED"
expect_true "connect: MaxStep fails: the server ends with the released driver" wait_until 10 server_ended
connect
fault "step click: Move fails"   -          "Fail.Move=@Move+1:The focuser is jammed"  "click +10"        Quillomar "The focuser is jammed."  "$IDLE"
fault "host move: Absolute fails" "tab 0"  "Fail.Absolute=@Absolute+1:no answer\s\s"  "host --raw 6 -30" Quillomar "no answer."              "$IDLE"
fault "timer tick: Position fails" "tab 0"  "Fail.Position=@Position+1:lost it"        "tab 1"            Quillomar "lost it."                "$IDLE"
fault "run step: IsMoving fails" start_run  "Fail.IsMoving=@IsMoving+2:cannot tell"    feed_until_raised         Quillomar "cannot tell."            "$RUNNING"
stop_run
fault "disconnect: Link false fails" -      "Fail.Link=@Link+1:cannot unlink."         "click Disconnect" Quillomar "cannot unlink."          "$DISCONNECTED"
expect_true "disconnect: Link false fails: the server ends with the released driver" wait_until 10 server_ended
expect_eq "disconnect: Link false fails: display reset" "$(position_display)" 00000
expect_true "after the faults: Connect reaches the server again" connect
expect_true "after the faults: position shown" wait_until 5 shows_position "$(last_move)"

# ---- a driver registered only for the other architecture -------------------------------
# The in-process focuser's class is taken out of this program's registry view, so only
# the other architecture's in-process server is left registered under it.
disconnect_fully
# The chooser is asked, so that it names the in-process focuser.
probe check Quillomar "Automatic Connection" off >/dev/null
if [ "${QM_E2E_ARCH:-64}" = 32 ]; then own=32 other=64; else own=64 other=32; fi
FOCUSER_CLASS='HKCR\CLSID\{3F3BA5FB-4F38-43ED-AF5E-CAD51C8872DC}'
wine reg delete "$FOCUSER_CLASS" /f "/reg:$own" >/dev/null 2>&1
expect_true "other architecture: class gone from the $own-bit view" \
  bash -c "! wine reg query '$FOCUSER_CLASS' /reg:$own >/dev/null 2>&1"
expect_true "other architecture: class still in the $other-bit view" \
  bash -c "wine reg query '$FOCUSER_CLASS\\InprocServer32' /reg:$other >/dev/null 2>&1"
: > "$E2E_DIR/sim/calls.log"
e2e_sim "${SIM_BASE[@]}" ChooseResult=QmSim.Focuser
click Connect
got=$(probe msgbox Error --ok --timeout 20 | sed -n 's/^text: //p')
expect_eq "other architecture: the creation error" "$got" "ASCOM focuser not found."
sleep 1
expect_eq "other architecture: nothing half-connected" "$(button_states)" "$DISCONNECTED"
expect_eq "other architecture: no driver object made" "$(sim_calls | grep -c ' Focuser ')" 0
expect_eq "other architecture: no further box" "$(probe msgbox Quillomar --timeout 1 | grep -c '^text:')" 0
