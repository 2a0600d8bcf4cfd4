#!/usr/bin/env bash
# A driver that keeps failing, as the user sees it: the timer shows a failure once,
# but a host command or a click that meets it shows it again; a host that goes on
# sending focus values shows it once, like the timer: never a second box on the first,
# and no new box after it is closed while the same failure repeats.
# e2e: both-architectures
source "$(dirname "$0")/lib.sh"
e2e_begin failure_reports

IDLE="0 1 1 0"
STARTING="0 1 0 0"
DISCONNECTED="1 0 0 0"
calls() { awk -v m="$1" '$3 == m' "$E2E_DIR/sim/calls.log" 2>/dev/null | wc -l; }
calls_above() { [ "$(calls "$1")" -gt "$2" ]; }
# A rule that fails every call of MEMBER from the next one on: fail_from_now MEMBER TEXT
fail_from_now() { echo "Fail.$1=+$(($(calls "$1") + 1)):$2"; }
box_text() { probe msgbox Quillomar --timeout "$1" | sed -n 's/^text: //p'; }
close_box() { probe msgbox Quillomar --ok --timeout 5 | sed -n 's/^text: //p'; }
no_box_within() { [ -z "$(box_text "$1")" ]; }
# The status line, among the texts it can show here.
status_text() {
  probe list Quillomar | grep ' class=Static ' | grep -oE 'text="(Waiting for exposure|Moving \.\.\.|OK)"$' |
    head -1 | sed 's/^text="//; s/"$//'
}

SIM=(Absolute=1 MaxStep=60000 StartPosition=10000 StepsPerSecond=0 ChooseResult=QmSim.Focuser)
# Automatic connection; a long sweep of one value per position, so that every value
# the host sends moves the focuser.
printf '%s\r\n' '1003->49' '1004->100' '1005->1' '1001->1' '1002->0' '9990->0' '9991->QmSim.Focuser' \
  > "$E2E_DIR/prog/autofocus.ini"
e2e_sim "${SIM[@]}"
e2e_start
touch "$E2E_DIR/sim/calls.log"
expect_true "connected" wait_until 15 calls_above Position 0
expect_eq "connected and idle" "$(button_states)" "$IDLE"

# ---- a. The ticks show a failing position read once; the host's Start shows it again.
e2e_sim "${SIM[@]}" "$(fail_from_now Position "Kit fault in Position")"
expect_eq "ticks: the failure is shown" "$(box_text 10)" "Kit fault in Position."
close_box >/dev/null
before=$(calls Position)
expect_true "ticks go on reading the position" wait_until 5 calls_above Position $((before + 1))
expect_true "ticks: the repeating failure is not shown again" no_box_within 2
probe tab Quillomar 0 >/dev/null
host --raw 2 22 >/dev/null
expect_eq "host Start meets the failure: shown" "$(box_text 10)" "Kit fault in Position."
close_box >/dev/null
expect_eq "host Start failed: left starting (Start and Stop disabled)" "$(button_states)" "$STARTING"
expect_eq "host Start failed: the status line unchanged" "$(status_text)" "Waiting for exposure"
expect_eq "host Start failed: no second box" "$(open_boxes)" 0
# A page switch by the user brings it back to idle.
e2e_sim "${SIM[@]}"
probe tab Quillomar 1 >/dev/null
probe tab Quillomar 0 >/dev/null
expect_eq "after a page switch: idle" "$(button_states)" "$IDLE"

# ---- b. The step move starts failing during a host-driven run; the host goes on
#         sending while the user reads the box for a while, and after it is closed.
host --quiet --cadence-ms 500 --timeout-s 60 > "$E2E_DIR/run.out" &
hostpid=$!
before=$(calls Move)
expect_true "run under way" wait_until 20 calls_above Move $((before + 2))
e2e_sim "${SIM[@]}" "$(fail_from_now Move "Focuser jammed")"
watch_boxes Quillomar 14 1.5
expect_eq "run: never two boxes at once" "$BOXES_MOST" 1
expect_eq "run: the values that go on meeting the failure show it once" "$BOXES" 1
expect_eq "run: every box shows the failure" "$(sort -u <<<"${BOX_TEXTS%$'\n'}")" "Focuser jammed."
kill "$hostpid" 2>/dev/null
wait "$hostpid" 2>/dev/null
e2e_sim "${SIM[@]}"
count_boxes Quillomar 2
probe tab Quillomar 1 >/dev/null
expect_eq "run: back to idle after a page switch" "$(button_states)" "$IDLE"

# ---- c. Disconnect meets the failure the ticks have shown (same text, same status).
e2e_sim "${SIM[@]}" "$(fail_from_now Position "Kit fault")" "$(fail_from_now Link "Kit fault")"
expect_eq "ticks: the failure is shown" "$(box_text 10)" "Kit fault."
close_box >/dev/null
expect_true "ticks: not shown again" no_box_within 2
probe click Quillomar Disconnect >/dev/null
expect_eq "Disconnect meets the failure: shown" "$(box_text 10)" "Kit fault."
close_box >/dev/null
expect_eq "Disconnect: disconnected all the same" "$(button_states)" "$DISCONNECTED"

e2e_sim "${SIM[@]}"
probe close Quillomar >/dev/null
e2e_wait_exit 20
expect_eq "the program exits normally" "$E2E_EXIT" 0
expect_eq "no crash reported by Wine" "$(grep -c -i 'unhandled exception' "$E2E_DIR/app.log")" 0
