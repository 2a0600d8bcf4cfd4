#!/usr/bin/env bash
# Connecting to the simulated ASCOM focuser: through the chooser, cancelled, the three
# connection errors as the user sees them, disconnecting, and the automatic connection.
# e2e: both-architectures
source "$(dirname "$0")/lib.sh"
e2e_begin focuser_connect

enabled() { field enabled "$(control_line "$1")"; }
box_text() { probe msgbox "$1" --ok --timeout 10 | sed -n 's/^text: //p'; }
log_has() { sim_calls | grep -F -- "$1" >/dev/null; }
# The status line: the label that follows "Status:" in the window's list.
status_text() { probe list Quillomar | awk '/text="Status:"$/ { getline; sub(/.* text="/, ""); sub(/"$/, ""); print; exit }'; }

e2e_sim Absolute=1 MaxStep=30000 StartPosition=1234 StepsPerSecond=0 ChooseResult=
e2e_start

# The user cancels the chooser: no message, nothing changes.
expect_eq "before the click: disconnected" "$(status_text)" Disconnected
probe click Quillomar Connect >/dev/null
wait_for "the chooser" 10 log_has "Chooser Choose"
# What a cancel must not do: show a box, create or link a focuser, change the buttons.
expect_eq "cancel shows no message box" "$(probe msgbox Error --timeout 1 >/dev/null; echo $?)" 2
expect_true "cancel creates no focuser" bash -c "! grep -q ' Focuser ' '$E2E_DIR/sim/calls.log'"
expect_eq "cancel leaves Connect enabled, Disconnect disabled" "$(enabled Connect) $(enabled Disconnect)" "1 0"
expect_eq "cancel leaves the status line" "$(status_text)" Disconnected
expect_true "chooser shown without a remembered driver" log_has "Chooser Choose DISPATCH_METHOD|DISPATCH_PROPERTYGET ()"
expect_true "DeviceType written first" log_has 'Chooser DeviceType DISPATCH_PROPERTYPUT (DISPID_PROPERTYPUT:VT_BSTR="Focuser")'

# Each of the three connection errors, read from the screen.
e2e_sim Absolute=1 ChooseResult=Missing.Focuser
probe click Quillomar Connect >/dev/null
expect_eq "driver that cannot be created" "$(box_text Error)" "ASCOM focuser not found."
e2e_sim Absolute=1 ChooseResult=QmSim.Focuser "Fail.DeviceType=+1:no chooser"
probe click Quillomar Connect >/dev/null
expect_eq "chooser that fails" "$(box_text Error)" "ASCOM drivers not found."
e2e_sim Absolute=1 ChooseResult=QmSim.Focuser "Fail.Link=+1:cannot link"
probe click Quillomar Connect >/dev/null
expect_eq "driver that does not link" "$(box_text Error)" "Focuser not recognized."
expect_eq "still disconnected" "$(enabled Connect)" 1

# A good connection through the chooser, which now preselects the remembered driver.
e2e_sim Absolute=1 MaxStep=30000 StartPosition=1234 StepsPerSecond=0 ChooseResult=QmSim.Focuser
probe click Quillomar Connect >/dev/null
is_enabled() { [ "$(enabled "$1")" = 1 ]; }
wait_for "the connection" 10 is_enabled Disconnect
expect_eq "Connect disabled" "$(enabled Connect)" 0
expect_eq "Disconnect enabled" "$(enabled Disconnect)" 1
expect_true "remembered driver preselected" log_has 'Chooser Choose DISPATCH_METHOD (VT_BSTR="QmSim.Focuser")'
expect_true "Link written as VT_BOOL true" log_has "Focuser Link DISPATCH_PROPERTYPUT (DISPID_PROPERTYPUT:VT_BOOL=-1)"
shows() { probe list Quillomar | grep -F "text=\"$1\"" >/dev/null; }
expect_true "position displayed" wait_until 5 shows 1234
expect_eq "status line" "$(status_text)" "Waiting for exposure"

probe click Quillomar Disconnect >/dev/null
wait_for "the disconnection" 10 is_enabled Connect
expect_eq "disconnected: Connect enabled" "$(enabled Connect)" 1
expect_true "position display reset" wait_until 5 shows 00000
expect_true "Link written false" log_has "Focuser Link DISPATCH_PROPERTYPUT (DISPID_PROPERTYPUT:VT_BOOL=0)"

# Automatic connection at the next start: no chooser dialog, the chooser still created.
probe check Quillomar "Automatic Connection" on >/dev/null
probe close Quillomar >/dev/null
e2e_wait_exit 20
expect_match "driver remembered in the settings" "$(ini_text | tr -d '\r')" '^9991->QmSim.Focuser$'
: > "$E2E_DIR/sim/calls.log"
e2e_start
expect_true "connected by itself" wait_until 10 is_enabled Disconnect
expect_true "chooser object still created" log_has "Chooser DeviceType"
# Only in a call log that was written: a missing log would show no Choose either.
expect_true "no chooser dialog" bash -c "[ -s '$E2E_DIR/sim/calls.log' ] && ! grep -q 'Chooser Choose' '$E2E_DIR/sim/calls.log'"
