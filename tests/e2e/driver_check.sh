#!/usr/bin/env bash
# e2e: both-architectures
# e2e: needs-both-builds (the check of a driver registered for the other architecture runs its QmDriverCheck.exe)
# The driver check (QmDriverCheck.exe of the architecture under test) against the
# simulated focuser: a healthy driver, each member of the automation contract
# failing, wrong-typed answers, a focuser stuck moving, a driver registered only for
# the other architecture, bad usage, and a report that stays the same from run to run.
# The simulator's own call log shows that the check sends what the program sends.

source "$(dirname "$0")/lib.sh"
e2e_begin driver_check

BITS=${QM_E2E_ARCH:-64}
if [ "$BITS" = 32 ]; then OTHER=64 OTHER_BUILD=$QM_BUILD64; else OTHER=32 OTHER_BUILD=$QM_BUILD32; fi
CHECKER=$E2E_BUILD/QmDriverCheck.exe
OTHER_CHECKER=$OTHER_BUILD/QmDriverCheck.exe
[ -f "$CHECKER" ] || { echo "e2e: no $CHECKER"; exit 1; }

# run_check EXE ARGS...: OUT (standard output, one line per line), ERR, RC.
RUNS=0
run_with() {
  local exe=$1; shift
  RUNS=$((RUNS + 1))
  : >"$E2E_DIR/sim/calls.log"
  (cd "$E2E_DIR/prog" && exec timeout -k 5 60 wine "$exe" "$@") >"$E2E_DIR/out-$RUNS.txt" 2>"$E2E_DIR/err-$RUNS.txt"
  RC=$?
  OUT=$(tr -d '\r' <"$E2E_DIR/out-$RUNS.txt")
  ERR=$(tr -d '\r' <"$E2E_DIR/err-$RUNS.txt")
}
run_check() { run_with "$CHECKER" "$@"; }
# Lines with runs of blanks squeezed, so that the columns do not matter.
squeezed() { tr -s ' ' <<<"$1"; }
# The verdict as one line: everything from "Verdict:" on.
verdict() { sed -n '/^Verdict:/,$p' <<<"$OUT" | sed 's/^ *//' | tr '\n' ' ' | tr -s ' ' | sed 's/ $//'; }
# A line given whole, or as a regular expression after "~".
has_line() {
  if [[ $2 == "~"* ]]; then grep -qxE -- "${2#\~}" <<<"$(squeezed "$1")"; else grep -qxF -- "$2" <<<"$(squeezed "$1")"; fi
}
expect_line() { expect_true "$1: line [$3]" has_line "$2" "$3"; }
expect_verdict() { expect_match "$1: verdict" "$(verdict)" "$2"; }
sim_member_calls() { sim_calls | awk -v m="$1" '$3 == m' | wc -l; }

SIM_BASE=(Absolute=1 MaxStep=30000 StartPosition=1000 StepsPerSecond=4000 ChooseResult=QmSim.Focuser)
e2e_sim "${SIM_BASE[@]}"

# ---- a healthy driver ------------------------------------------------------------------
# healthy PROGID LABEL SERVER-KIND SERVER-FILE WHO-CAN-LOAD
healthy() {
  local drv=$1 label=$2 kind=$3 file=$4 who=$5
  echo "-- $label: healthy driver, named, moved 100 steps and back"
  e2e_sim "${SIM_BASE[@]}"
  run_check "$drv" --move 100 --no-times
  expect_eq "$label healthy: exit status" "$RC" 0
  local calls
  calls=$(sed -n '/^Calls, /,/^$/p' <<<"$OUT" | sed '1d;$d' | tr -s ' ')
  expect_eq "$label healthy: the calls, in order" "$calls" " create DriverHelper.Chooser -> object
 put DeviceType = \"Focuser\" (VT_BSTR) -> done
 release DriverHelper.Chooser -> released
 create $drv -> object
 put Link = True (VT_BOOL) -> done
 get MaxStep -> 30000 (VT_I4)
 get Absolute -> True (VT_BOOL)
 get Position -> 1000 (VT_I4)
 get IsMoving -> False (VT_BOOL)
 get Absolute -> True (VT_BOOL)
 call Move(1100 (VT_I4|VT_BYREF)) -> (VT_EMPTY)
 get IsMoving -> False (VT_BOOL)
 get Absolute -> True (VT_BOOL)
 get Position -> 1100 (VT_I4)
 get Absolute -> True (VT_BOOL)
 call Move(1000 (VT_I4|VT_BYREF)) -> (VT_EMPTY)
 get IsMoving -> False (VT_BOOL)
 get Absolute -> True (VT_BOOL)
 get Position -> 1000 (VT_I4)
 put Link = False (VT_BOOL) -> done
 release $drv -> released"
  expect_verdict "$label healthy" "^Verdict: this driver works with the $BITS-bit Quillomar\. The focuser moved 100 steps and back\. $who$"
  local registration
  registration=$(sed -n '/^Registration:/,/^$/p' <<<"$OUT")
  expect_match "$label healthy: registration" "$registration" "^  ${drv//./\\.} names the class \{[0-9A-F-]{36}\}\.$"
  expect_eq "$label healthy: registration, both views" \
    "$(grep -A1 'programs:' <<<"$registration" | sed 's/^ *//; s/"//g; s/.*[\\]//')" "64-bit programs: $kind
$file
32-bit programs: $kind
$file"
  expect_match "$label healthy: the $BITS-bit view names the $BITS-bit build" \
    "$(grep -A1 "^  $BITS-bit programs:" <<<"$registration")" "win$BITS.tools.sim_ascom.${file//./\\.}\"?$"
  # What reached the driver: the flags and argument types of the program's calls.
  expect_match "$label healthy: Link written as a property with its named argument" "$(sim_calls)" \
    ' Focuser Link DISPATCH_PROPERTYPUT \(DISPID_PROPERTYPUT:VT_BOOL=-1\) -> OK'
  expect_match "$label healthy: MaxStep read as method or property" "$(sim_calls)" \
    ' Focuser MaxStep DISPATCH_METHOD\|DISPATCH_PROPERTYGET \(\) -> VT_I4=30000'
  expect_match "$label healthy: Move called with a 32-bit integer by reference" "$(sim_calls)" \
    ' Focuser Move DISPATCH_METHOD \(VT_I4\|VT_BYREF=1100\) -> VT_EMPTY'
}
healthy QmSim.Focuser "in process" "in-process server (InprocServer32)" QmSimAscom.dll \
  "Both the 64-bit and the 32-bit Quillomar can load this driver\."

echo "-- healthy driver through the chooser, never moved without --move"
run_check --no-times
expect_eq "chooser: exit status" "$RC" 0
expect_line "chooser" "$OUT" ' get Choose -> "QmSim.Focuser" (VT_BSTR)'
expect_eq "chooser: no move without --move" "$(sim_member_calls Move)" 0
expect_verdict "chooser" "No move was tried"

echo "-- output is the same from run to run, but for the times"
mask_times() { sed -E 's/ +[0-9]+\.[0-9] ms( max)?$/ _ ms/' <<<"$1"; }
run_check QmSim.Focuser --move 100
FIRST=$OUT
expect_match "stable: times are shown per call" "$FIRST" '^  get     MaxStep .* [0-9]+\.[0-9] ms$'
run_check QmSim.Focuser --move 100
expect_eq "stable: two runs give the same report" "$(mask_times "$OUT")" "$(mask_times "$FIRST")"
# Nothing that looks like an address: no hexadecimal besides class identifiers, and no
# number longer than the positions and limits of the simulated focuser. File paths (the
# driver's file in the registration report) are left out: the checkout's own path may
# hold a folder named by a commit hash.
without_paths() { sed -E 's/"[A-Za-z]:\\[^"]*"//g; s/[A-Za-z]:\\.*$//'; }
expect_eq "stable: no addresses" \
  "$(sed -E 's/\{[0-9A-F-]{36}\}//g' <<<"$FIRST" | without_paths | grep -E '0x[0-9A-Fa-f]+|[0-9A-Fa-f]{8,}|[0-9]{6,}')" ""
# The paths are left out, not the line: an address beside a path is still seen.
expect_eq "stable: an address beside a path is still seen" \
  "$(without_paths <<<'at 0x0040A000 in "Z:\3f9a2c7e41b0d5e8\drv.dll"' | grep -cE '0x[0-9A-Fa-f]+')" 1

# ---- the chooser and the driver's creation failing ---------------------------------------
# failing NAME RULE "ARGS" FAILED-LINE CAPTION TEXT [VERDICT-REGEX]
failing() {
  local name=$1 rule=$2 args=$3 line=$4 caption=$5 text=$6 meaning=${7:-}
  echo "-- $name"
  e2e_sim "${SIM_BASE[@]}" "$rule"
  # shellcheck disable=SC2086
  run_check $args --no-times
  expect_eq "$name: exit status" "$RC" 1
  expect_line "$name" "$OUT" "$line"
  expect_verdict "$name" "^Verdict: this driver does not work with the $BITS-bit Quillomar\. "
  expect_match "$name: the box" "$(verdict)" "Quillomar shows the box \"$caption\" with the text \"$text\"\."
  [ -z "$meaning" ] || expect_verdict "$name" "$meaning"
}
CODE='code 0x80040500 source QmSim'
failing "DeviceType fails" "Fail.DeviceType=1:no chooser here" QmSim.Focuser \
  " put DeviceType = \"Focuser\" (VT_BSTR) -> FAILED \"no chooser here\" $CODE" Error "ASCOM drivers not found\." \
  "cannot use the ASCOM chooser"
failing "Choose fails" "Fail.Choose=1:chooser broken" "" \
  " get Choose -> FAILED \"chooser broken\" $CODE" Error "ASCOM drivers not found\." "Install the ASCOM Platform"
failing "driver not registered" "ChooseResult=Missing.Focuser" "" \
  '~ create Missing.Focuser -> FAILED ".+" code 0x800401F3' Error "ASCOM focuser not found\." \
  "No driver is registered under the name Missing\.Focuser"
failing "driver's server file missing" "" "QmSim.MissingDll" \
  '~ create QmSim.MissingDll -> FAILED ".+" code 0x[0-9A-F]{8}' Error "ASCOM focuser not found\." "could not be started"
# ---- each member of the driver failing, wrong-typed answers, a focuser stuck moving ----
# driver_faults PROGID LABEL
driver_faults() {
  local drv=$1 label=$2
  failing "$label: Link fails" "Fail.Link=1:cannot link" "$drv" \
    " put Link = True (VT_BOOL) -> FAILED \"cannot link\" $CODE" Error "Focuser not recognized\." "plugged in"
  failing "$label: MaxStep fails" "Fail.MaxStep=1:no limit" "$drv" \
    " get MaxStep -> FAILED \"no limit\" $CODE" Error "Focuser not recognized\." "could not give MaxStep"
  failing "$label: Absolute fails" "Fail.Absolute=1:no answer\s\s" "$drv" \
    " get Absolute -> FAILED \"no answer\" $CODE" Quillomar "no answer\." "asks Absolute before every"
  failing "$label: Position fails" "Fail.Position=1:lost it" "$drv" \
    " get Position -> FAILED \"lost it\" $CODE" Quillomar "lost it\." "cannot read the focuser's position"
  failing "$label: IsMoving fails" "Fail.IsMoving=1:cannot tell" "$drv" \
    " get IsMoving -> FAILED \"cannot tell\" $CODE" Quillomar "cannot tell\." "asks IsMoving"
  failing "$label: Move fails" "Fail.Move=1:The focuser is jammed" "$drv --move 100" \
    " call Move(1100 (VT_I4|VT_BYREF)) -> FAILED \"The focuser is jammed\" $CODE" Quillomar "The focuser is jammed\." \
    "cannot move the focuser"
  expect_match "$label: Move fails: the driver is still unlinked" "$(sim_calls | grep ' Focuser ' | tail -2 | head -1)" \
    ' Focuser Link .*VT_BOOL=0\) -> OK'
  failing "$label: Link false fails" "Fail.Link=2:cannot unlink." "$drv" \
    " put Link = False (VT_BOOL) -> FAILED \"cannot unlink\" $CODE" Quillomar "cannot unlink\." \
    "Quillomar still disconnects and lets go of the driver"
  expect_match "$label: Link false fails: the driver is released anyway" "$(sim_calls | grep ' Focuser ' | tail -1)" \
    ' Focuser \(released\)'

  # Wrong-typed answers.
  failing "$label: MaxStep answers text" "WrongType.MaxStep=text" "$drv" \
    ' get MaxStep -> "abc" (VT_BSTR)' Error "Focuser not recognized\." \
    'MaxStep answered "abc" \(VT_BSTR\), which Quillomar cannot take as a whole number: "Could not convert variant of type \(OleStr\) into type \(Integer\)"'
  failing "$label: MaxStep answers a 64-bit integer" "WrongType.MaxStep=big" "$drv" \
    ' get MaxStep -> 5000000000 (VT_I8)' Error "Focuser not recognized\." 'MaxStep answered 5000000000 \(VT_I8\)'
  failing "$label: IsMoving answers null" "WrongType.IsMoving=null" "$drv" \
    ' get IsMoving -> (VT_NULL)' Quillomar "Could not convert variant of type \(Null\) into type \(Boolean\)" \
    'IsMoving answered \(VT_NULL\)'
  echo "-- $label: Position answers a real number"
  e2e_sim "${SIM_BASE[@]}" "WrongType.Position=real"
  run_check "$drv" --no-times
  expect_eq "$label: Position real: exit status" "$RC" 0
  expect_line "$label: Position real" "$OUT" ' get Position -> 123.5 (VT_R8)'
  expect_verdict "$label: Position real" 'Note: Position answered 123\.5 \(VT_R8\); Quillomar takes it as 124\.'

  # A focuser stuck moving.
  echo "-- $label: IsMoving stays True"
  e2e_sim "${SIM_BASE[@]}" Stuck=1
  local started elapsed
  started=$(date +%s%N)
  run_check "$drv" --move 100 --no-times
  elapsed=$((($(date +%s%N) - started) / 1000000))
  expect_eq "$label: stuck: exit status" "$RC" 1
  expect_line "$label: stuck" "$OUT" ' get IsMoving -> True (VT_BOOL), 100 times'
  expect_eq "$label: stuck: the driver was polled 100 times" "$(sim_member_calls IsMoving)" 100
  expect_eq "$label: stuck: no move after the failed wait" "$(sim_member_calls Move)" 0
  expect_verdict "$label: stuck" 'IsMoving still answered True after 100 polls, 100 ms apart\. Quillomar shows "Move timeout" in its status line'
  expect_true "$label: stuck: the wait took about 10 s ($elapsed ms)" test "$elapsed" -ge 9500 -a "$elapsed" -le 40000
}
driver_faults QmSim.Focuser "in process"

# ---- the same driver as a local server (its own process) --------------------------------
# The simulator's focuser built as an EXE; where that build exists, its runs must pass.
if [ -f "$E2E_BUILD/tools/sim_ascom/QmSimFocuserServer.exe" ]; then
  healthy QmSim.FocuserLocal "local server" "local server (LocalServer32)" QmSimFocuserServer.exe \
    "Both the 64-bit and the 32-bit Quillomar can load this driver \(it runs as a program of its own\)\."
  driver_faults QmSim.FocuserLocal "local server"
else
  echo "-- local server: the simulated focuser is not built as a local server here; its runs are left out"
fi

# ---- registered only for the other architecture ----------------------------------------
echo "-- QmSim.Focuser2 registered for $OTHER-bit programs only"
e2e_sim "${SIM_BASE[@]}"
wine reg delete 'HKCR\CLSID\{744F154B-34AC-4CD9-833D-9AF4C7B09854}' /f "/reg:$BITS" >/dev/null 2>&1
run_check QmSim.Focuser2 --no-times
expect_eq "other view: exit status" "$RC" 1
expect_match "other view: registration" "$OUT" "^  $BITS-bit programs: the class is not registered$"
expect_match "other view: registration of the other view" "$OUT" "^  $OTHER-bit programs: in-process server "
expect_verdict "other view" "\"ASCOM focuser not found\.\"\. The driver is registered for $OTHER-bit programs only, so the $BITS-bit Quillomar cannot load it\. Use the $OTHER-bit Quillomar with this driver\."
if [ -f "$OTHER_CHECKER" ]; then
  run_with "$OTHER_CHECKER" QmSim.Focuser2 --no-times
  expect_eq "other view, $OTHER-bit check: exit status" "$RC" 0
  expect_verdict "other view, $OTHER-bit check" "^Verdict: this driver works with the $OTHER-bit Quillomar\..* Only the $OTHER-bit Quillomar can load this driver"
fi

# ---- usage -----------------------------------------------------------------------------
echo "-- usage"
run_check --help
expect_eq "--help: exit status" "$RC" 0
expect_match "--help: usage" "$OUT" '^Usage: QmDriverCheck \[ProgID\] \[--move N\] \[--no-times\]$'
run_check --move
expect_eq "--move without a number: exit status" "$RC" 2
expect_match "--move without a number: says why" "$ERR" '^QmDriverCheck: --move needs a number of steps$'
run_check --bogus QmSim.Focuser
expect_eq "unknown option: exit status" "$RC" 2
expect_eq "bad usage: the driver is not touched" "$(sim_calls | wc -l)" 0

echo "-- the chooser cancelled"
e2e_sim "${SIM_BASE[@]}" ChooseResult=
run_check --no-times
expect_eq "cancelled: exit status, not that of a failing driver" "$RC" 3
expect_verdict "cancelled" "^Verdict: nothing was checked: no driver was chosen in the chooser\.$"
run_check --help
expect_match "--help: the exit status of a cancel" "$OUT" '^3 nothing was checked because no driver was chosen in the chooser\.$'
