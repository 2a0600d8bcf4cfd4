#!/usr/bin/env bash
# The run options file beside the program: QmDriverCheck --options shows what the
# program will use; "best-focus = fit" moves the focuser nearer the true focus of a
# broad star and of a skewed one than the three-point rule; "curve-check = on" refuses a curve with a
# clouded position and one whose peak lies beyond the row, ending the run as a failed
# computation (no result line, back to where the run was switched on, report posted).
# With "best-focus = fit" the fit leaves a clouded line out and the run succeeds; a broad
# star with one line caught by a seeing spike still ends nearer with the fit; and a row
# whose three-point result fails (lines at 0) that no trusted fit can stand for ends in
# "Error", as the rule's run does. With the fit and the check, a line beside the focus
# too bright to leave the three-point result within an Increment is left out and the run
# succeeds; and a fit of Steps 5 ends no further off than the three-point rule of Steps 7.
# e2e: both-architectures
source "$(dirname "$0")/lib.sh"
e2e_begin curve_options

last_move() { sim_calls | grep ' Move DISPATCH_METHOD' | tail -1 | sed -n 's/.*VT_I4|VT_BYREF=\(-\?[0-9]*\)).*/\1/p'; }
at() { [ "$(last_move)" = "$1" ]; }
result_field() { sed -n "s/^result: .*$1=\(-\?[0-9]*\).*/\1/p" <<<"$2"; }
connected() { [ "$(field enabled "$(control_line Disconnect)")" = 1 ]; }
options() { printf '%s\r\n' "$@" >"$E2E_DIR/prog/autofocus-options.ini"; }
restart() {
  probe close Quillomar >/dev/null
  e2e_wait_exit 20
  e2e_start || return 1
  wait_for "the automatic connection" 10 connected || return 1
  host --raw 5 10000 >/dev/null
  wait_for "the focuser back at 10000" 5 at 10000
}

# Passes when the fit's run ($fit) ended nearer the true focus than the three-point
# rule's ($three); LABEL starts the check's name.
expect_fit_nearer() {
  local label=$1 e3 ef
  e3=$(result_field Error "$three"); ef=$(result_field Error "$fit")
  echo "  (${label}three-point: $(sed -n 's/^result: //p' <<<"$three"); fit: $(sed -n 's/^result: //p' <<<"$fit"))"
  expect_true "${label}fit nearer the true focus (${ef:-none}) than three-point (${e3:-none})" \
    test -n "$e3" -a -n "$ef" -a "${ef#-}" -lt "${e3#-}"
}

e2e_sim Absolute=1 MaxStep=60000 StartPosition=10000 StepsPerSecond=0
printf '%s\r\n' '1003->7' '1004->100' '1005->2' '1001->1' '1002->0' '9990->0' '9991->QmSim.Focuser' \
  >"$E2E_DIR/prog/autofocus.ini"

# 1. The driver check shows the options and every line it ignores.
cp "$E2E_BUILD/QmDriverCheck.exe" "$E2E_DIR/prog/"
options '; fit the curve' 'Best-Focus = FIT' 'curve-check = perhaps' 'colour = blue'
shown=$(cd "$E2E_DIR/prog" && timeout -k 5 60 wine QmDriverCheck.exe --options 2>/dev/null | tr -d '\r')
expect_match "--options: best-focus" "$shown" '  best-focus = fit'
expect_match "--options: curve-check keeps its default" "$shown" '  curve-check = off'
expect_match "--options: the unknown value" "$shown" 'line 3: "curve-check = perhaps": unknown value'
expect_match "--options: the unknown key" "$shown" 'line 4: "colour = blue": unknown key'

# 2. A broad star, noise-free, its focus between two positions: the three-point rule
# (no options file) against the fit.
rm -f "$E2E_DIR/prog/autofocus-options.ini"
e2e_start
wait_for "the automatic connection" 10 connected || exit 1
broad=(--slope 0.005 --true-offset 130 --quiet --cadence-ms 150 --timeout-s 60)
three=$(host "${broad[@]}")
expect_eq "three-point: reported" "$?" 0
three_broad=$three
options 'best-focus = fit'
restart || exit 1
fit=$(host "${broad[@]}")
expect_eq "fit: reported" "$?" 0
expect_fit_nearer ""

# 2b. A skewed star, falling more slowly beyond its focus than before it: the fit takes
# a curvature of its own for each side, while the three-point rule is drawn towards the
# broad side. The fit first (its options are on), then the three-point rule.
skewed=(--slope 0.02 --slope-above 0.008 --true-offset 40 --quiet --cadence-ms 150 --timeout-s 60)
host --raw 5 10000 >/dev/null
wait_for "the focuser back at 10000" 5 at 10000
fit=$(host "${skewed[@]}")
expect_eq "skewed, fit: reported" "$?" 0
rm -f "$E2E_DIR/prog/autofocus-options.ini"
restart || exit 1
three=$(host "${skewed[@]}")
expect_eq "skewed, three-point: reported" "$?" 0
expect_fit_nearer "skewed: "

# 3. The curve check refuses a clouded position and a peak beyond the row.
options 'best-focus = three-point' 'curve-check = on'
restart || exit 1
clouded=$(host --cloud-at 10000 --cloud-factor 0.4 --true-offset 20 --quiet --cadence-ms 150 --timeout-s 60)
expect_eq "clouded: reported" "$?" 0
expect_match "clouded: no result" "$clouded" '^result: none'
expect_eq "clouded: seven step lines and no result line" "$(grep -c '^log: ' <<<"$clouded")" 7
expect_eq "clouded: back at the run's start" "$(last_move)" 9700
host --raw 5 10000 >/dev/null
wait_for "the focuser back at 10000" 5 at 10000
beyond=$(host --true-offset 600 --quiet --cadence-ms 150 --timeout-s 60)
expect_eq "beyond the row: reported" "$?" 0
expect_match "beyond the row: no result" "$beyond" '^result: none'
expect_eq "beyond the row: back at the run's start" "$(last_move)" 9700

# 4. With the fit and the check, the clouded line is left out: the run succeeds near the
# true focus, the log still shows all seven step lines.
options 'best-focus = fit' 'curve-check = on'
restart || exit 1
clouded=$(host --cloud-at 10000 --cloud-factor 0.4 --true-offset 20 --quiet --cadence-ms 150 --timeout-s 60)
expect_eq "clouded, fit: reported" "$?" 0
error=$(result_field Error "$clouded")
echo "  (clouded, fit: $(sed -n 's/^result: //p' <<<"$clouded"))"
expect_true "clouded, fit: a result within 15 steps of the true focus (${error:-none})" \
  test -n "$error" -a "${error#-}" -le 15
expect_eq "clouded, fit: seven step lines and the result line" "$(grep -c '^log: ' <<<"$clouded")" 8
expect_match "clouded, fit: the clouded line logged" "$clouded" '^log: 10000 = '

# 5. A broad star whose neighbour of the best line caught a 4 % seeing spike: the
# three-point rule is drawn towards it, the fit is not.
spiked=(--slope 0.005 --true-offset 130 --cloud-at 10200 --cloud-factor 1.04 --quiet --cadence-ms 150 --timeout-s 60)
options 'best-focus = fit'
restart || exit 1
fit=$(host "${spiked[@]}")
expect_eq "spiked, fit: reported" "$?" 0
rm -f "$E2E_DIR/prog/autofocus-options.ini"
restart || exit 1
three=$(host "${spiked[@]}")
expect_eq "spiked, three-point: reported" "$?" 0
expect_fit_nearer "spiked: "

# 6. Lines at 0 between three bright ones: the three-point rule fails, and the fit of
# three lines may not stand for it, with or without the check.
junk=(--value-at 10137 0 --value-at 10237 300 --value-at 10337 0 --value-at 10437 310 --value-at 10537 0
      --value-at 10637 305 --value-at 10737 0 --quiet --cadence-ms 150 --timeout-s 60)
for check in off on; do
  options 'best-focus = fit' "curve-check = $check"
  restart || exit 1
  host --raw 5 10437 >/dev/null
  wait_for "the focuser at 10437" 5 at 10437
  row=$(host "${junk[@]}")
  expect_eq "junk row, check $check: reported" "$?" 0
  expect_match "junk row, check $check: no result" "$row" '^result: none'
  expect_eq "junk row, check $check: seven step lines and no result line" "$(grep -c '^log: ' <<<"$row")" 7
  expect_eq "junk row, check $check: back at the run's start" "$(last_move)" 10137
done

# 7. "sweep = extend": with the true focus beyond either end of the row the run goes on
# past that end until the values have fallen twice, four positions here, and ends at
# the true focus; a focuser whose row ends at MaxStep cannot go on, and the run ends as
# a failed computation, back where it was switched on.
options 'sweep = extend'
restart || exit 1
for offset in 450 -450; do
  host --raw 5 10000 >/dev/null
  wait_for "the focuser back at 10000" 5 at 10000
  followed=$(host --true-offset "$offset" --quiet --cadence-ms 150 --timeout-s 90)
  expect_eq "extend $offset: reported" "$?" 0
  err=$(result_field Error "$followed")
  expect_true "extend $offset: at the true focus within 10 steps (${err:-none})" \
    test -n "$err" -a "${err#-}" -le 10
  expect_eq "extend $offset: the row's seven step lines and four added" "$(grep -c '^log: .* = ' <<<"$followed")" 11
  expect_eq "extend $offset: the final move to the result" "$(last_move)" "$(result_field BestFocus "$followed")"
done
host --raw 5 59700 >/dev/null
wait_for "the focuser at 59700" 5 at 59700
atmax=$(host --true-offset 450 --quiet --cadence-ms 150 --timeout-s 90)
expect_eq "extend at MaxStep: reported" "$?" 0
expect_match "extend at MaxStep: no result" "$atmax" '^result: none'
expect_eq "extend at MaxStep: the row alone, nothing past MaxStep" "$(grep -c '^log: .* = ' <<<"$atmax")" 7
expect_eq "extend at MaxStep: back at the run's start" "$(last_move)" 59400

# 8. With the fit and the check, a line two Increments from the focus of a broad star 1.8
# times too bright becomes the best line and draws the three-point result off: the fit
# leaves it out, is compared with the best lines of the rest, and the run succeeds.
options 'best-focus = fit' 'curve-check = on'
restart || exit 1
bright=$(host --slope 0.005 --cloud-at 10200 --cloud-factor 1.8 --true-offset 0 --quiet --cadence-ms 150 --timeout-s 60)
expect_eq "bright neighbour, fit: reported" "$?" 0
error=$(result_field Error "$bright")
echo "  (bright neighbour, fit: $(sed -n 's/^result: //p' <<<"$bright"))"
expect_true "bright neighbour, fit: a result within 15 steps of the true focus (${error:-none})" \
  test -n "$error" -a "${error#-}" -le 15

# 9. Two exposures saved: a run of Steps 5 with the fit on the broad star of section 2
# ends no further from its true focus than the three-point rule's run of Steps 7 did there.
# The program saves its settings when it closes: the new Steps go in after that.
probe close Quillomar >/dev/null
e2e_wait_exit 20
printf '%s\r\n' '1003->5' '1004->100' '1005->2' '1001->1' '1002->0' '9990->0' '9991->QmSim.Focuser' \
  >"$E2E_DIR/prog/autofocus.ini"
options 'best-focus = fit'
e2e_start || exit 1
wait_for "the automatic connection" 10 connected || exit 1
host --raw 5 10000 >/dev/null
wait_for "the focuser back at 10000" 5 at 10000 || exit 1
five=$(host "${broad[@]}")
expect_eq "Steps 5, fit: reported" "$?" 0
expect_eq "Steps 5, fit: five step lines and the result line" "$(grep -c '^log: ' <<<"$five")" 6
e7=$(result_field Error "$three_broad"); e5=$(result_field Error "$five")
echo "  (Steps 7 three-point: $(sed -n 's/^result: //p' <<<"$three_broad"); Steps 5 fit: $(sed -n 's/^result: //p' <<<"$five"))"
expect_true "Steps 5 fit no further from the true focus (${e5:-none}) than Steps 7 three-point (${e7:-none})" \
  test -n "$e7" -a -n "$e5" -a "${e5#-}" -le "${e7#-}"
