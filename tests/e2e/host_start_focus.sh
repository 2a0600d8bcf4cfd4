#!/usr/bin/env bash
# The host's start command shows the "Autofocus" page: the keyboard focus lands on a
# control of that page, so Tab and Shift+Tab work at once, whether the window was
# active when the command came or is activated afterwards.
# e2e: both-architectures
source "$(dirname "$0")/lib.sh"
e2e_begin host_start_focus

# The controls of the "Autofocus" page by id, as the window numbers them.
declare -A AUTOFOCUS_PAGE=([101]=Memo1 [102]=EdSteps [103]=EdInc [104]=EdExpo [105]=ButStart [106]=ButStop)
focus_id() { probe focus Quillomar | sed -n 's/^focus: id=\([0-9]*\) .*/\1/p'; }
on_autofocus_page() { local id; id=$(focus_id); [ -n "$id" ] && [ -n "${AUTOFOCUS_PAGE[$id]:-}" ]; }
key_focus() { probe key Quillomar "$1" | sed -n 's/^key: .* focus: id=\([0-9]*\) .*/\1/p'; }
running() { [ "$(button_states)" = "0 1 0 1" ]; }

printf '%s\r\n' '1003->7' '1004->100' '1005->2' '1001->1' '1002->0' '9990->0' '9991->QmSim.Focuser' \
  > "$E2E_DIR/prog/autofocus.ini"
e2e_sim Absolute=1 MaxStep=60000 StartPosition=10000 StepsPerSecond=0 ChooseResult=QmSim.Focuser
e2e_start
expect_true "connected" wait_until 15 test "$(button_states)" = "0 1 1 0"
# The focus on a control of the "Control" page, as after the user's work there.
probe key Quillomar tab >/dev/null
expect_match "focus on the Control page first" "$(probe focus Quillomar)" 'focus: id=1(0[7-9]|1[0-9]) '

host --raw 2 22 >/dev/null
expect_true "the host's Start: running" wait_until 10 running
expect_true "after the host's Start the focus is on the Autofocus page ($(probe focus Quillomar))" \
  wait_until 5 on_autofocus_page
first=$(focus_id)
after=$(key_focus shift+tab)
expect_true "Shift+Tab moves the focus (${AUTOFOCUS_PAGE[$first]:-$first} -> ${AUTOFOCUS_PAGE[$after]:-$after})" \
  test -n "$after" -a "$after" != "$first" -a -n "${AUTOFOCUS_PAGE[$after]:-}"
back=$(key_focus tab)
expect_eq "Tab brings it back" "${AUTOFOCUS_PAGE[$back]:-$back}" "${AUTOFOCUS_PAGE[$first]:-$first}"

probe close Quillomar >/dev/null
e2e_wait_exit 20
expect_eq "the program exits normally" "$E2E_EXIT" 0
