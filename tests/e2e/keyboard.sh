#!/usr/bin/env bash
# The window worked from the keyboard alone, as real key presses: Tab and Shift+Tab
# walk both pages in order (skipping disabled buttons, wrapping), the page keys switch
# pages and end a run as a click on a tab does, and Escape, Enter, Space and the arrow
# keys in every control that takes the focus keep every control in place. Keys with an
# effect are pressed where that effect is expected and checked. Then a complete run
# driven by the host shows the window still works, and Alt+F4 closes it.
# e2e: both-architectures
source "$(dirname "$0")/lib.sh"
e2e_begin keyboard
# A test cut short (by its time limit, say) must not pass.
FINISHED=0
keyboard_end() {
  [ "$FINISHED" = 1 ] || fail "the test did not run to its end"
  e2e_end
}
trap keyboard_end EXIT

# The controls by name, as the window numbers them (control ids).
declare -A ID=([Memo1]=101 [EdSteps]=102 [EdInc]=103 [EdExpo]=104 [ButStart]=105 [ButStop]=106
  [ButConnect]=107 [ButDisconnect]=108 [ButHelp]=109 [GroupBox1]=110 [CBAutoConn]=111 [CBBacklash]=112
  [ButStep]=113 [XMButton2]=114 [XMButton3]=115 [XMButton4]=116 [XMButton5]=117 [XMButton6]=118)
declare -A NAME
for n in "${!ID[@]}"; do NAME[${ID[$n]}]=$n; done
CAPTION=([113]=-100 [114]=-10 [115]=-1 [116]=+1 [117]=+10 [118]=+100)

# Every key pressed and what followed, one line each, for the record.
RECORD=$E2E_DIR/keys.txt
: > "$RECORD"

focused() {
  local line id
  line=$(probe focus Quillomar)
  id=$(sed -n 's/^focus: id=\([0-9]*\) .*/\1/p' <<<"$line")
  if [ -n "$id" ]; then echo "${NAME[$id]:-id$id}"; else sed -n 's/^focus: //p' <<<"$line"; fi
}
focus_is() { [ "$(focused)" = "$1" ]; }
list_now() { probe list Quillomar; }
line_of() { list_now | grep -E " id=${ID[$1]} " | head -1; }
enabled() { field enabled "$(line_of "$1")"; }
visible() { field visible "$(line_of "$1")"; }
text_of() { sed -n 's/.* text="\(.*\)"$/\1/p' <<<"$(line_of "$1")"; }
checked() { probe check Quillomar "$(text_of "$1")" | sed -n 's/^checked: //p'; }
moves() { sim_calls | grep ' Move DISPATCH_METHOD' | sed -n 's/.*VT_I4|VT_BYREF=\(-\?[0-9]*\)).*/\1/p' | tr '\n' ' '; }
log_has() { sim_calls | grep -F -- "$1" >/dev/null; }

# Every named control is in the window (after the keys of one batch).
CONTROLS=0
named_controls_there() {
  local list id missing=""
  list=$(list_now)
  for id in "${ID[@]}"; do grep -E " id=$id " <<<"$list" >/dev/null || missing+=" ${NAME[$id]}"; done
  [ -z "$missing" ] || { echo "    missing:$missing"; return 1; }
}

# Presses keys as real input, in one go, each given as KEY=FOCUS: the control that must
# have the focus once the program has handled the key. After each key every control
# must still be there (the count of controls, 30; it was 15 after a page was lost).
# The last word of a pair may carry the effect to record: KEY=FOCUS=EFFECT.
AT=""   # the control that has the focus, as far as the test knows
keys() {
  local pairs=("$@") names=() wants=() effects=() p rest out i line id got n
  for p in "${pairs[@]}"; do
    names+=("${p%%=*}"); rest=${p#*=}
    wants+=("${rest%%=*}")
    if [[ $rest == *=* ]]; then effects+=("${rest#*=}"); else effects+=("nothing else"); fi
  done
  out=$(probe key Quillomar "${names[@]}")
  mapfile -t lines < <(grep '^key: ' <<<"$out")
  [ "${#lines[@]}" -eq "${#names[@]}" ] || fail "only ${#lines[@]} of ${#names[@]} keys pressed: $(grep error <<<"$out")"
  for ((i = 0; i < ${#names[@]}; i++)); do
    line=${lines[i]:-}
    id=$(sed -n 's/.* focus: id=\([0-9]*\) .*/\1/p' <<<"$line")
    if [ -n "$id" ]; then got=${NAME[$id]:-id$id}; else got=$(sed -n 's/.* focus: \([a-z]*\) .*/\1/p' <<<"$line"); fi
    n=$(sed -n 's/.* controls: \([0-9]*\)$/\1/p' <<<"$line")
    expect_eq "$AT: ${names[i]} -> focus" "$got" "${wants[i]}"
    expect_eq "$AT: ${names[i]} -> controls" "$n" "$CONTROLS"
    printf '%-13s %-15s -> focus %-13s controls %-3s %s\n' "$AT" "${names[i]}" "$got" "$n" "${effects[i]}" >> "$RECORD"
    AT=$got
  done
  expect_true "every named control there after ${names[*]}" named_controls_there
}

# The keys that must change nothing in a button or a check box, pressed after Tab has
# brought the focus there from the control before it in the order (unless it has it).
quiet_keys() {  # control
  local tab=()
  [ "$AT" = "$1" ] || tab=("tab=$1=Tab")
  keys "${tab[@]}" escape="$1" up="$1" down="$1" left="$1" right="$1"
}

# Tab through the shown page from the focused control, then Shift+Tab back.
walk() {  # the expected order: first = focused now, last = first again
  local order=("$@") pairs=() i
  expect_eq "walk starts at ${order[0]}" "$AT" "${order[0]}"
  for ((i = 1; i < ${#order[@]}; i++)); do pairs+=("tab=${order[i]}=Tab"); done
  for ((i = ${#order[@]} - 2; i >= 0; i--)); do pairs+=("shift+tab=${order[i]}=Shift+Tab"); done
  keys "${pairs[@]}"
}

# Brings the focus to a control of the shown page with Tab (the walk has shown the order).
tab_to() {  # control
  local i=0 line id
  while [ "$AT" != "$1" ] && [ $((i++)) -lt 14 ]; do
    line=$(probe key Quillomar tab | grep '^key: ')
    id=$(sed -n 's/.* focus: id=\([0-9]*\) .*/\1/p' <<<"$line")
    AT=${id:+${NAME[$id]:-id$id}}
  done
  expect_eq "Tab reaches $1" "$AT" "$1"
}

e2e_sim Absolute=1 MaxStep=60000 StartPosition=10000 StepsPerSecond=0 ChooseResult=
e2e_start
CONTROLS=$(list_now | grep -c '^control:')
expect_eq "all controls at start" "$CONTROLS" 30
windows_at_start=$(probe resources Quillomar | sed -n 's/^windows: //p')
AT=$(focused)

# ---- 1. Disconnected, "Control" page: Connect has the focus; Disconnect is skipped.
walk ButConnect ButStep XMButton2 XMButton3 XMButton4 XMButton5 XMButton6 CBAutoConn CBBacklash ButHelp ButConnect
for c in ButConnect ButStep XMButton2 XMButton3 XMButton4 XMButton5 XMButton6 CBAutoConn CBBacklash ButHelp; do
  quiet_keys "$c"
done
# Enter and Space on Connect show the chooser; the user cancels it.
tab_to ButConnect
for k in enter space; do
  : > "$E2E_DIR/sim/calls.log"
  keys "$k=ButConnect=chooser shown, cancelled"
  expect_true "ButConnect: $k shows the chooser" wait_until 10 log_has "Chooser Choose"
  expect_eq "ButConnect: $k, cancelled: still disconnected" "$(enabled ButConnect)" 1
done
# Space ticks and clears a check box; Enter leaves it.
for c in CBAutoConn CBBacklash; do
  tab_to "$c"
  keys "enter=$c=left clear"
  expect_eq "$c: Enter leaves it clear" "$(checked "$c")" 0
  keys "space=$c=ticked"
  expect_eq "$c: Space ticks it" "$(checked "$c")" 1
  keys "space=$c=cleared"
  expect_eq "$c: Space clears it" "$(checked "$c")" 0
done
# Enter and Space on Help: the help document is missing, so the error box shows; after
# OK the focus is back on Help.
tab_to ButHelp
for k in enter space; do
  probe key Quillomar "$k" >/dev/null
  expect_match "ButHelp: $k shows the missing document" \
    "$(probe msgbox Error --ok --timeout 10 | sed -n 's/^text: //p')" '^File not found:\\r.*focusers_readme\.htm$'
  expect_true "ButHelp: $k, box closed: focus back on Help" wait_until 5 focus_is ButHelp
  printf '%-13s %-15s -> %s\n' ButHelp "$k" "error box \"File not found:\", OK, focus back on ButHelp" >> "$RECORD"
done
keys escape=ButHelp

# ---- 2. Disconnected, "Autofocus" page, reached with Ctrl+Tab: Start and Stop skipped.
keys "ctrl+tab=Memo1=page Autofocus"
expect_eq "Ctrl+Tab shows the Autofocus page" "$(visible Memo1)" 1
walk Memo1 EdSteps EdInc EdExpo Memo1
# The log pane: no key leaves a mark (Escape here used to destroy the page).
keys escape=Memo1 up=Memo1 down=Memo1 left=Memo1 right=Memo1 enter=Memo1 space=Memo1
expect_eq "log pane still empty" "$(control_text Edit 0)" ""
# The numeric edits: the arrows up and down step the value; no other key changes it.
declare -A START=([EdSteps]=7 [EdInc]=100 [EdExpo]=2) STEPPED=([EdSteps]=9 [EdInc]=110 [EdExpo]=3)
for c in EdSteps EdInc EdExpo; do
  keys "tab=$c=Tab" "up=$c=value ${STEPPED[$c]}"
  expect_eq "$c: up steps" "$(text_of "$c")" "${STEPPED[$c]}"
  keys "down=$c=value ${START[$c]}"
  expect_eq "$c: down steps back" "$(text_of "$c")" "${START[$c]}"
  keys escape="$c" left="$c" right="$c" enter="$c" space="$c"
  expect_eq "$c: other keys leave the value" "$(text_of "$c")" "${START[$c]}"
done
keys "ctrl+shift+tab=ButConnect=page Control" "ctrl+pgdn=Memo1=page Autofocus" "ctrl+pgup=ButConnect=page Control" \
  "ctrl+pgup=Memo1=page Autofocus (wraps)" "ctrl+pgdn=ButConnect=page Control (wraps)"

# ---- 3. Connected, "Control" page: Space on Connect connects; the focus moves on to
# Disconnect, and Connect is skipped from then on.
e2e_sim Absolute=1 MaxStep=60000 StartPosition=10000 StepsPerSecond=0 ChooseResult=QmSim.Focuser
keys "space=ButDisconnect=connected"
expect_eq "connected by Space" "$(enabled ButDisconnect)" 1
walk ButDisconnect ButStep XMButton2 XMButton3 XMButton4 XMButton5 XMButton6 CBAutoConn CBBacklash ButHelp ButDisconnect
quiet_keys ButDisconnect
# Enter and Space on each step button move the focuser by the button's step.
: > "$E2E_DIR/sim/calls.log"
position=10000
expected=""
for c in ButStep XMButton2 XMButton3 XMButton4 XMButton5 XMButton6; do
  quiet_keys "$c"
  step=${CAPTION[${ID[$c]}]}
  keys "enter=$c=moved $step to $((position + step))" "space=$c=moved $step to $((position + 2 * step))"
  position=$((position + 2 * step))
  expected+="$((position - step)) $position "
done
expect_eq "each Enter and Space on a step button moved once" "$(moves)" "$expected"

# ---- 4. Connected, "Autofocus" page: Start takes part in the walk.
keys "ctrl+tab=Memo1=page Autofocus"
walk Memo1 EdSteps EdInc EdExpo ButStart Memo1
tab_to EdExpo
quiet_keys ButStart
# Enter on Start starts a run; the focus moves on to Stop as Start is disabled.
: > "$E2E_DIR/sim/calls.log"
keys "enter=ButStop=run started"
expect_eq "Enter on Start: running" "$(enabled ButStop)" 1
expect_eq "Enter on Start: moved to the first sweep position" "$(moves)" "9700 "
walk ButStop Memo1 EdSteps EdInc EdExpo ButStop
quiet_keys ButStop
# Space on Stop ends the run; the focus moves on to the next control, the log pane.
keys "space=Memo1=run stopped"
expect_eq "Space on Stop: Start enabled" "$(enabled ButStart)" 1
expect_eq "Space on Stop: Stop disabled" "$(enabled ButStop)" 0
# A page key during a run ends it, as a click on the tab does.
tab_to ButStart
keys "space=ButStop=run started"
expect_eq "Space on Start: running" "$(enabled ButStop)" 1
keys "ctrl+tab=ButDisconnect=page Control, run ended"
expect_eq "page key ends the run: Start enabled" "$(enabled ButStart)" 1
expect_eq "page key ends the run: Stop disabled" "$(enabled ButStop)" 0

# ---- 5. Enter on Disconnect disconnects; Enter on Connect connects again.
keys "enter=ButStep=disconnected"
expect_eq "Enter on Disconnect: Connect enabled" "$(enabled ButConnect)" 1
tab_to ButConnect
keys "enter=ButDisconnect=connected"
expect_eq "Enter on Connect: connected" "$(enabled ButDisconnect)" 1
expect_eq "windows of the program after every key" "$(probe resources Quillomar | sed -n 's/^windows: //p')" \
  "$windows_at_start"

# ---- 6. A complete run driven by the host.
out=$(host --true-offset 40 --quiet --cadence-ms 250 --count-reports 2)
expect_eq "host run reported" "$?" 0
expect_eq "host run: seven step lines and the result" "$(sed -n 's/^loglines: //p' <<<"$out")" 8
expect_match "host run: result" "$out" 'result: BestFocus=-?[0-9]+ '
expect_eq "host run: exactly one report" "$(sed -n 's/^reports: //p' <<<"$out" | head -1)" 1
printf '%-13s %-15s -> %s\n' "(host)" "complete run" "$(sed -n 's/^result: //p' <<<"$out" | head -1)" >> "$RECORD"

# ---- 7. Alt+F4 still closes the window.
probe key Quillomar alt+f4 >/dev/null
e2e_wait_exit 20
expect_eq "Alt+F4 closes the program" "$E2E_EXIT" 0
echo "-- keys pressed (focus before, key, focus after, controls, effect): $RECORD"
FINISHED=1
