#!/usr/bin/env bash
# The host developer's guide (docs/host-protocol.md) stays true: the names it tells a
# host to use are the program's; the settings file it shows is the one the program
# writes without a file; its example command line of the reference host, run as
# written against the program connected to the simulated focuser, makes a complete run
# that ends with exactly one report and prints what the guide says; the simulator's
# state file reads as the guide says; a result at the row's first position is reached
# without the backlash approach; and command 6 during a move counts from where the
# focuser has got to.
source "$(dirname "$0")/lib.sh"
guide=$QM_ROOT/docs/host-protocol.md
e2e_begin host_guide

# The lines of the first fenced block after the marker.
example=$(awk '/^<!-- checked example: the reference host run -->$/ { found = 1; next }
  found && /^```/ { if (inside) exit; inside = 1; next }
  found && inside { print }' "$guide")
expect_match "guide shows the example" "$example" '^SimHost\.exe( |$)'
expect_eq "example is one command line" "$(grep -c . <<<"$example")" 1

# The names a host must use, as the program defines them.
constant() { sed -n "s/.*$1\[\?\]\? *= *\"\([^\"]*\)\";.*/\1/p" "$QM_ROOT/$2" | head -1; }
message=$(constant kFocuserMessageName app/form_afoc.h)
title=$(constant kTitle app/form_afoc.h)
class=$(constant kWindowClass app/win/main_window_win.cpp)
expect_true "names read from the sources" test -n "$message" -a -n "$title" -a -n "$class"
expect_true "guide registers the program's message" grep -qF "RegisterWindowMessageA(\"$message\")" "$guide"
expect_true "guide finds the program's window" grep -qF "FindWindowA(\"$class\", \"$title\")" "$guide"

# The protocol's numbers as the program names them (app/host_protocol.h): each code's row
# of the guide's tables names it, each fixed value is given with its name.
protocol=$QM_ROOT/app/host_protocol.h
codes=0
while read -r name number; do
  codes=$((codes + 1))
  if [[ $name == *Value && $name != kFocusValue ]]; then
    expect_true "guide gives $name as $number" grep -qF "| $number (\`$name\`) |" "$guide"
  else
    expect_true "guide gives $name as code $number" grep -q "^| $number | \`$name\` |" "$guide"
  fi
done < <(sed -n 's/^inline constexpr u\?int32_t \(k[A-Za-z]*\) = \([0-9]*\);.*/\1 \2/p' "$protocol")
expect_eq "protocol constants read" "$codes" 10

# The settings file the program writes when it was started without one.
block() {
  awk -v marker="<!-- checked example: $1 -->" '$0 == marker { found = 1; next }
    found && /^```/ { if (inside) exit; inside = 1; next }
    found && inside { print }' "$guide"
}
defaults=$(block "autofocus.ini as written without a file")
expect_match "guide shows the default settings" "$defaults" '^1003->'
e2e_sim Absolute=1 MaxStep=60000 StartPosition=10000 StepsPerSecond=4000
e2e_start 1
probe close Quillomar >/dev/null
e2e_wait_exit 20
expect_eq "settings written without a file are the guide's defaults" "$(ini_text | tr -d '\r')" "$defaults"
expect_eq "no focuser connected without a settings file" "$(sim_calls | grep -c ' Focuser ')" 0

# The program as the guide asks for it: started with a parameter, connected by itself
# to the remembered (simulated) focuser.
printf '%s\r\n' '1003->7' '1004->100' '1005->2' '1001->1' '1002->1' '9990->0' '9991->QmSim.Focuser' \
  > "$E2E_DIR/prog/autofocus.ini"
e2e_start 1
connected() { grep -q 'VT_BOOL=-1) -> OK' "$E2E_DIR/sim/calls.log" 2>/dev/null; }
expect_true "connected to the simulated focuser" wait_until 15 connected

# The example, run by the command interpreter from the reference host's folder.
out=$(cd "$(dirname "$E2E_HOST")" && timeout -k 5 300 wine cmd /c "$example" 2>/dev/null | tr -d '\r')
expect_eq "example exits with 0 (report received)" "$?" 0
echo "$out" > "$E2E_DIR/example.out"
expect_eq "one report, code 4 value 44" "$(grep -c '^report: code=4 value=44$' <<<"$out")" 1
expect_eq "reports counted" "$(sed -n 's/^reports: //p' <<<"$out")" 1
expect_match "host sent its window" "$out" '^sent: code=3 value=[1-9]'
expect_match "host started the run" "$out" '^sent: code=2 value=22$'
expect_eq "seven step lines and the result line" "$(sed -n 's/^loglines: //p' <<<"$out")" 8
expect_match "a best focus was found" "$out" '^result: BestFocus=[0-9]+ '

# Every kind of output line that the guide describes appears in the output.
for key in window host sent exposure report log result status final reports overlapped; do
  expect_true "guide describes '$key:'" grep -qF "\`$key:" "$guide"
  expect_match "output has '$key:'" "$out" "^$key: "
done

# The simulator's state file, read as the guide says: at rest the focuser stands at Target.
state=$(tr -d '\r' < "$E2E_DIR/sim/focuser.state")
for key in StartPosition Target MoveStartTick StepsPerSecond Stuck; do
  expect_true "guide names the state file's '$key='" grep -qF "\`$key=" "$guide"
  expect_match "state file has '$key='" "$state" "^$key="
done
expect_eq "state file's Target is the final position" "$(sed -n 's/^Target=//p' <<<"$state")" \
  "$(sed -n 's/^final: Position=\([0-9]*\).*/\1/p' <<<"$out")"

# A result at the row's first position: the true focus below the row, so the best value
# is logged there; the final move goes straight there from the last position.
moves() { sim_calls | awk '$3 == "Move"' | sed -n 's/.*VT_BYREF=\(-\?[0-9]*\)).*/\1/p'; }
before=$(moves | wc -l)
out=$(host --true-offset -500 --quiet --cadence-ms 250 --timeout-s 120)
run_moves=$(moves | tail -n +$((before + 1)) | tr '\n' ' ')
first=${run_moves%% *}
expect_match "result at the first position" "$out" "^result: BestFocus=$first "
expect_eq "no backlash approach to the first position" "$run_moves" \
  "$first $((first + 100)) $((first + 200)) $((first + 300)) $((first + 400)) $((first + 500)) $((first + 600)) $first "

# Command 6 during a move counts from where the focuser has got to, not from the target.
e2e_sim Absolute=1 MaxStep=60000 StepsPerSecond=200
at=$first
host --raw 5 $((at + 2000)) >/dev/null
sleep 1
host --raw 6 100 >/dev/null
sleep 0.5
by=$(moves | tail -1)
expect_true "command 6 during a move: from the position then ($at -> $by, target $((at + 2000)))" \
  test "$by" -gt $((at + 100)) -a "$by" -lt $((at + 2100))
