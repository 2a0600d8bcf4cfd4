#!/usr/bin/env bash
# The window at 96, 120, 144 and 192 DPI (the prefix's LogPixels): at 96 DPI the layout
# as given, at the others every control's place its 96-DPI place scaled; every caption
# and value fits its control, measured in the window's fonts at that density; a
# screenshot of both pages is kept for each density. A move to a screen of 144 DPI (the
# system's message) lays the window out again. At 144 DPI a complete run driven by the
# host and a few keys show the window still works.
# e2e: both-architectures
export QM_XVFB_SCREEN=1700x800x24  # the 192-DPI window ends near x = 1600
source "$(dirname "$0")/lib.sh"
e2e_begin dpi_scaling

set_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
# A desktop large enough for the window at 192 DPI; the desktop takes its size when it
# starts, so Wine is ended (waited for, so that the registry is written) and starts again.
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1700x800 /f >/dev/null 2>&1
wineserver -w

# The layout checks of dpi_layout_check.py for the lists and extents kept as NAME-*.txt.
check_layout() {  # DPI NAME [--moved]
  local dpi=$1 name=$2 line
  probe list Quillomar > "$E2E_DIR/list-$name.txt"
  # The texts measured in the fonts the window is laid out with, at their sizes at this density.
  probe extents Quillomar Tahoma "$(scaled_down 11 "$dpi")" 400 > "$E2E_DIR/extents-$name.txt"
  probe extents Quillomar Arial "$(scaled_down 19 "$dpi")" 700 > "$E2E_DIR/position-extents-$name.txt"
  python3 "$QM_ROOT/tests/e2e/dpi_layout_check.py" "$dpi" "$E2E_DIR/list-96.txt" "$E2E_DIR/list-$name.txt" \
    "$E2E_DIR/extents-$name.txt" "$E2E_DIR/position-extents-$name.txt" "$E2E_DIR/extents-96.txt" ${3:-} \
    > "$E2E_DIR/check-$name.txt" 2>&1
  while IFS= read -r line; do
    case $line in
      "ok   "*) pass "$name: ${line#ok   }" ;;
      *) fail "$name: ${line#FAIL }" ;;
    esac
  done < "$E2E_DIR/check-$name.txt"
}

# The window's place and client area, "x y w h" of winfo's rect and client lines.
window_rect() { sed -n 's/^rect: x=\(-\?[0-9]*\) y=\(-\?[0-9]*\) .*/\1 \2/p' <<<"$1"; }
client_size() { sed -n 's/^client: .* w=\([0-9]*\) h=\([0-9]*\)$/\1 \2/p' <<<"$1"; }
scaled() { local v=$(($1 * $2)); echo $(((v + 48) / 96)); }
scaled_down() { echo $(($1 * $2 / 96)); }  # as font heights are scaled
near() { [ "$1" -ge $(($2 - 1)) ] && [ "$1" -le $(($2 + 1)) ]; }
# A screenshot kept as the run's artefact: one that could not be taken is a failure.
screenshot() {
  e2e_screenshot "$1"
  expect_true "screenshot $1.png kept" test -s "$E2E_DIR/$1.png"
}

for dpi in 96 120 192 144; do
  echo "-- $dpi DPI"
  set_dpi "$dpi"
  if [ "$dpi" = 144 ]; then
    # The run at this density: connected at start, as a user set it up.
    e2e_sim Absolute=1 MaxStep=60000 StartPosition=10000 StepsPerSecond=4000
    printf '%s\r\n' '1003->7' '1004->100' '1005->2' '1001->1' '1002->1' '9990->0' '9991->QmSim.Focuser' \
      > "$E2E_DIR/prog/autofocus.ini"
  fi
  e2e_start || { fail "$dpi DPI: the window did not appear"; continue; }
  info=$(probe winfo Quillomar)
  read -r cw ch <<<"$(client_size "$info")"
  expect_true "$dpi DPI: client width $cw is 318 scaled" near "${cw:-0}" "$(scaled 318 "$dpi")"
  expect_true "$dpi DPI: client height $ch is 141 scaled" near "${ch:-0}" "$(scaled 141 "$dpi")"
  read -r wx wy <<<"$(window_rect "$info")"
  expect_eq "$dpi DPI: first place is (469, 124) scaled" "$wx,$wy" "$(scaled 469 "$dpi"),$(scaled 124 "$dpi")"
  check_layout "$dpi" "$dpi"
  screenshot "control-$dpi"
  probe tab Quillomar 0 >/dev/null
  sleep 0.5  # the page's first paint
  screenshot "autofocus-$dpi"

  if [ "$dpi" = 96 ]; then
    # Moved to a screen of 144 DPI: the system's message (which Wine never sends) lays the
    # window out again at that density, where the system suggests.
    probe dpichange Quillomar 144 >/dev/null
    expect_eq "moved: the message was taken" "$?" 0
    info=$(probe winfo Quillomar)
    read -r cw ch <<<"$(client_size "$info")"
    expect_eq "moved: client area" "$cw,$ch" "$(scaled 318 144),$(scaled 141 144)"
    expect_eq "moved: at the suggested place" "$(window_rect "$info")" "$wx $wy"
    check_layout 144 moved-144 --moved
    screenshot "moved-144"
  fi

  if [ "$dpi" = 144 ]; then
    wait_for "the automatic connection" 10 bash -c "grep -q 'VT_BOOL=-1) -> OK' '$E2E_DIR/sim/calls.log' 2>/dev/null"
    out=$(host --true-offset 40 --quiet --cadence-ms 250 --count-reports 2)
    expect_eq "$dpi DPI: the host received the report" "$?" 0
    expect_eq "$dpi DPI: seven step lines and the result line" "$(grep -c '^log: ' <<<"$out")" 8
    expect_eq "$dpi DPI: exactly one report" "$(sed -n 's/^reports: //p' <<<"$out")" 1
    # Keys: the page keys, Tab to the steps and Up to step them.
    probe key Quillomar ctrl+tab >/dev/null
    expect_eq "$dpi DPI: Ctrl+Tab shows the Control page" "$(field visible "$(control_line Disconnect)")" 1
    probe key Quillomar ctrl+tab >/dev/null
    expect_eq "$dpi DPI: Ctrl+Tab shows the Autofocus page" "$(field visible "$(control_line Start)")" 1
    for _ in 1 2 3; do
      [[ $(probe focus Quillomar) == *" id=102 "* ]] && break
      probe key Quillomar tab >/dev/null
    done
    expect_match "$dpi DPI: Tab reaches the steps" "$(probe focus Quillomar)" ' id=102 '
    probe key Quillomar up >/dev/null
    expect_eq "$dpi DPI: Up steps the steps" "$(control_text Edit 1)" 9
  fi
  probe close Quillomar >/dev/null
  e2e_wait_exit 20
  expect_eq "$dpi DPI: closes" "$E2E_EXIT" 0
done
