#!/usr/bin/env bash
# Moving the simulated focuser by hand: the step buttons clamp an absolute focuser,
# the display refreshes only on the "Control" page, a relative focuser is counted from
# 10000, and a driver error reaches the general error report.
source "$(dirname "$0")/lib.sh"
e2e_begin focuser_moves

has_text() { probe list Quillomar | grep -F "text=\"$1\"" >/dev/null; }
moves() { sim_calls | grep -c ' Move DISPATCH_METHOD'; }
last_move() { sim_calls | grep ' Move DISPATCH_METHOD' | tail -1 | sed -n 's/.*VT_I4|VT_BYREF=\(-\?[0-9]*\)).*/\1/p'; }
linked() { [ "$(sim_calls | grep -c "Link DISPATCH_PROPERTYPUT (DISPID_PROPERTYPUT:VT_BOOL=-1) -> OK")" -gt "${linked_before:-0}" ]; }
move_is() { [ "$(last_move)" = "$1" ]; }
connect() {
  touch "$E2E_DIR/sim/calls.log"
  linked_before=$(sim_calls | grep -c "Link DISPATCH_PROPERTYPUT (DISPID_PROPERTYPUT:VT_BOOL=-1) -> OK")
  probe click Quillomar Connect >/dev/null
  wait_for "the focuser to link" 10 linked
}

e2e_sim Absolute=1 MaxStep=30000 StartPosition=50 StepsPerSecond=0 ChooseResult=QmSim.Focuser
e2e_start
connect
expect_true "display shows 50" wait_until 5 has_text 50
probe click Quillomar -100 >/dev/null
expect_true "below 0 is sent as 0" wait_until 5 move_is 0
expect_true "display follows" wait_until 5 has_text 0
probe click Quillomar +10 >/dev/null
expect_true "+10 from 0" wait_until 5 move_is 10
# Near the top of the range: MaxStep is the limit.
probe click Quillomar Disconnect >/dev/null
e2e_sim Absolute=1 MaxStep=30000 StartPosition=29950 StepsPerSecond=0 ChooseResult=QmSim.Focuser
connect
probe click Quillomar +100 >/dev/null
expect_true "above MaxStep is sent as MaxStep" wait_until 5 move_is 30000
expect_true "Move passes VT_I4 by reference" bash -c "grep -q 'Move DISPATCH_METHOD (VT_I4|VT_BYREF=' '$E2E_DIR/sim/calls.log'"

# No position polls while the "Autofocus" page shows.
probe tab Quillomar 0 >/dev/null
sleep 1
before=$(sim_calls | grep -c ' Position ')
sleep 2
expect_eq "no polls on the Autofocus page" "$(sim_calls | grep -c ' Position ')" "$before"
probe tab Quillomar 1 >/dev/null
sleep 2
expect_true "polls again on the Control page" test "$(sim_calls | grep -c ' Position ')" -gt "$before"

# A relative focuser starts at 10000 and counts its own steps.
probe click Quillomar Disconnect >/dev/null
e2e_sim Absolute=0 MaxStep=100 StartPosition=5 StepsPerSecond=0 ChooseResult=QmSim.Focuser
connect
expect_true "relative focuser shows 10000" wait_until 5 has_text 10000
probe click Quillomar +10 >/dev/null
expect_true "sends Move(10)" wait_until 5 move_is 10
expect_true "shows 10010" wait_until 5 has_text 10010
probe click Quillomar +100 >/dev/null
expect_true "never clamped by MaxStep" wait_until 5 move_is 100

# A driver error during a step click reaches the general error report.
e2e_sim Absolute=0 "Fail.Move=+1:The focuser is jammed.  "
probe click Quillomar -1 >/dev/null
box=$(probe msgbox Quillomar --ok --timeout 10 | sed -n 's/^text: //p')
expect_eq "driver's message with a full stop" "$box" "The focuser is jammed."
e2e_sim Absolute=0
probe click Quillomar -1 >/dev/null
expect_true "the program goes on" wait_until 5 has_text 10109
