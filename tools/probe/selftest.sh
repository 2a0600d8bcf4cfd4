#!/usr/bin/env bash
# Checks the test tools themselves under Wine + Xvfb: Probe.exe and SimHost.exe against
# the stand-in window ProbeTarget.exe (no real program needed).
#   tools/probe/selftest.sh [WINDOWS_BUILD_DIR]     (default build/win64)
# Prints one line per check and "selftest: N passed, M failed"; exit status 0 when all pass.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ "${1:-}" != "--inner" ]; then
  exec timeout -k 10 600 "$root/scripts/xvfb_run" "$0" --inner "$@"
fi
shift
build=$(cd "${1:-$root/build/win64}" && pwd)
source "$root/scripts/wine_env.sh"
work="$root/build/wine/selftest-$$"
qm_fresh_prefix "$work/prefix"
export QM_SIM_DIR_UNIX="$work/sim"
mkdir -p "$QM_SIM_DIR_UNIX"
export QM_SIM_DIR=$(winepath -w "$QM_SIM_DIR_UNIX" 2>/dev/null)

probe="$build/tools/probe/Probe.exe"
host="$build/tools/sim_host/SimHost.exe"
target="$build/tools/probe/ProbeTarget.exe"
passed=0; failed=0

check() {  # check NAME EXPECTED_EXIT COMMAND... ; keeps the output in $out
  local name=$1 want=$2; shift 2
  out=$(timeout -k 5 60 wine "$@" 2>/dev/null | tr -d '\r'); local rc=${PIPESTATUS[0]}
  if [ "$rc" = "$want" ]; then passed=$((passed + 1)); echo "ok   $name"
  else failed=$((failed + 1)); echo "FAIL $name (exit $rc, wanted $want)"; echo "$out" | sed 's/^/     /'; fi
}
expect() {  # expect NAME PATTERN : the last output must contain a line matching PATTERN
  if grep -qE -- "$2" <<<"$out"; then passed=$((passed + 1)); echo "ok   $1"
  else failed=$((failed + 1)); echo "FAIL $1: no line matching /$2/"; echo "$out" | sed 's/^/     /'; fi
}

timeout -k 5 300 wine "$target" --title Target --start-position 1000 >/dev/null 2>&1 &
check "wait finds the window" 0 "$probe" wait Target 20
check "a missing window is reported" 2 "$probe" winfo Nothing --find-timeout 0
check "winfo" 0 "$probe" winfo Target
expect "winfo topmost" '^topmost: 1$'
expect "winfo client size" '^client: x=[0-9]+ y=[0-9]+ w=318 h=141$'
check "list" 0 "$probe" list Target
expect "list shows the log pane" 'class=Edit cindex=0 .* x=8 y=30 w=137 h=105 .*visible=0'
expect "list shows the Connect button" 'class=Button .*enabled=1 visible=1 .*text="Connect"$'
expect "list shows the spin inside the edit" 'depth=2 class=msctls_updown32 .*parent=Edit'
check "a hidden button is not clicked" 3 "$probe" click Target Start --timeout 0
check "a disabled button is not clicked" 4 "$probe" click Target Disabled --timeout 0
check "a missing button" 3 "$probe" click Target Nothing --timeout 0
check "check box on" 0 "$probe" check Target "Automatic Connection" on
check "check box reads on" 0 "$probe" check Target "Automatic Connection"
expect "check box state" '^checked: 1$'
check "check box off" 0 "$probe" check Target "Automatic Connection" off
check "click opens a message box without blocking" 0 "$probe" click Target Connect
check "msgbox reads and closes the box" 0 "$probe" msgbox Error --ok
expect "msgbox text" '^text: File not found:\\rC:\\\\nowhere\\\\file.htm$'
expect "msgbox topmost" '^topmost: 1$'
check "no second box" 2 "$probe" msgbox Error --timeout 0.2
check "tab by posted click" 0 "$probe" tab Target 0
check "the program saw the page change" 0 "$probe" text Target Static 1
expect "status after page change" '^page 0$'
check "tab back by real input" 0 "$probe" tab Target 1 --input
check "settext" 0 "$probe" settext Target Edit 1 "12"
expect "settext result" '^text: "12"$'
check "type" 0 "$probe" type Target Edit 1 "34" --replace
expect "type result" '^text: "34"$'
check "raw messages" 0 "$host" --title Target --raw 3 0 --raw 6 -50
check "raw message to a missing window" 2 "$host" --title Nothing --find-timeout-s 0 --raw 0 1
check "bad option" 1 "$host" --bogus
check "host run" 0 "$host" --title Target --true-offset 120 --cadence-ms 150 --timeout-s 60 --count-reports 1 --quiet
expect "host run log" '^log:   650 = [0-9]+$'
expect "host run result" '^result: BestFocus=1050 TrueFocus=1070 Error=-20$'
# The host goes on exposing until the report reaches it, so on a busy machine one more
# focus value may land after the run and show "Focus = N" instead: either proves the
# status line was read.
expect "host run status" '^status: (Best Focus = 1050|Focus = [0-9]+)$'
expect "host run final position" '^final: Position=1050 TrueFocus=1070 Error=-20$'
expect "host run reports" '^reports: 1$'
check "a run with host handle 0 reports nothing" 0 "$host" --title Target --host-handle-zero --true-focus 1000 \
  --cadence-ms 100 --expect-no-report 5 --quiet
expect "that run completed" '^result: BestFocus='
check "no start, no report" 3 "$host" --title Target --no-start --true-focus 1000 --timeout-s 1 --quiet
check "flood" 0 "$host" --title Target --true-focus 1000 --cadence-ms 150 --flood 500 --timeout-s 60 --quiet
expect "flood sent" '^flood: sent=500 failed=0'
check "resources" 0 "$probe" resources Target
expect "resources: USER count" '^user: [0-9]+$'
expect "resources: GDI count" '^gdi: [0-9]+$'
expect "resources: private bytes" '^private: [0-9]+$'
expect "resources: the target's windows" '^windows: [1-9][0-9]*$'
check "resources of a missing window" 2 "$probe" resources Nothing --find-timeout 0
check "a key the probe does not know" 1 "$probe" key Target bogus
check "a modifier the probe does not know" 1 "$probe" key Target meta+tab
check "focus" 0 "$probe" focus Target
expect "focus reported" '^focus: (none|window|id=[0-9]+ class=[^ ]+ text=".*")$'
check "keys as real input" 0 "$probe" key Target tab shift+tab ctrl+tab
expect "each key reported after it was handled" '^key: shift\+tab focus: .* controls: [1-9][0-9]*$'
expect "chords with several modifiers" '^key: ctrl\+tab focus: .* controls: [1-9][0-9]*$'
check "minimise by raw command" 0 "$host" --title Target --raw 1 0
check "minimised" 0 "$probe" winfo Target
expect "iconic" '^iconic: 1$'
# The server answers as the same commands started one by one, each answer followed by
# its status line, and goes on after a failed one; an empty argument and a non-ASCII one
# reach the command as they would on a command line.
served_questions=(
  "winfo|Target"
  "winfo|Nothing|--find-timeout|0"
  "settext|Target|Edit|1|5 °C"
  "settext|Target|Edit|1|"
  "bogus"
)
serve_input="" expected_answers=""
for q in "${served_questions[@]}"; do
  IFS='|' read -r -a words <<<"$q"
  [[ $q == *'|' ]] && words+=("")
  serve_input+=$(printf '%s\x1f' "${words[@]}")$'\n'
  answer=$(timeout -k 5 60 wine "$probe" "${words[@]}" 2>/dev/null | tr -d '\r'); rc=${PIPESTATUS[0]}
  expected_answers+=${answer:+$answer$'\n'}$'\x1e'$rc$'\n'
done
check "serve answers a row of questions" 0 "$probe" serve <<<"${serve_input%$'\n'}"
if [ "$out"$'\n' = "$expected_answers" ] && grep -q $'^\x1e2$' <<<"$out" && grep -qF 'text: "5 ' <<<"$out"; then
  passed=$((passed + 1)); echo "ok   served answers equal the answers of single runs"
else
  failed=$((failed + 1)); echo "FAIL served answers differ from the answers of single runs"
  diff <(echo "$out") <(printf '%s' "$expected_answers") | cat -A | sed 's/^/     /'
fi
check "close" 0 "$probe" close Target
check "gone" 0 "$probe" gone Target 10

echo "selftest: $passed passed, $failed failed"
qm_stop_wine
rm -rf "$work"
[ "$failed" = 0 ]
