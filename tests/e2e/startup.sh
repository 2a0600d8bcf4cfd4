#!/usr/bin/env bash
# Start-up and shut-down of the real program: without a parameter it closes at once
# and leaves the settings file; with one it shows its window as laid out.
# e2e: both-architectures
source "$(dirname "$0")/lib.sh"
e2e_begin startup

# Without a parameter: the window closes at once and the settings are saved on the way.
(cd "$E2E_DIR/prog" && exec wine Quillomar.exe) >"$E2E_DIR/app.log" 2>&1 &
E2E_APP_PID=$!
e2e_wait_exit 30
expect_eq "exits at once without a parameter" "$E2E_EXIT" 0
expected=$'1003->7\r\n1004->100\r\n1005->2\r\n1001->0\r\n1002->0\r\n9990->0\r\n9991->\r\n'
expect_eq "seven-line settings file" "$(ini_text | od -c)" "$(printf '%s' "$expected" | od -c)"
stamp=$(stat -c %Y.%N "$E2E_DIR/prog/autofocus.ini" 2>/dev/null)
touch -d '2020-01-01' "$E2E_DIR/prog/autofocus.ini"

# With a parameter: the window stays, as laid out.
e2e_start anything
info=$(probe winfo Quillomar)
expect_match "title" "$info" '^title: Quillomar$'
expect_match "client area 318 x 141" "$info" '^client: x=-?[0-9]+ y=-?[0-9]+ w=318 h=141$'
expect_match "stays on top" "$info" '^topmost: 1'
expect_match "placed at (469, 124)" "$info" '^rect: x=469 y=124 '
style=$(sed -n 's/^style: 0x//p' <<<"$info")
expect_eq "no maximise box, not resizable" "$(( 0x$style & 0x00050000 ))" 0
expect_true "minimise box" test $(( 0x$style & 0x00020000 )) -ne 0

list=$(probe list Quillomar)
check_control() {  # text expected-enabled expected-visible
  local line; line=$(grep -F "text=\"$1\"" <<<"$list" | head -1)
  expect_eq "$1 enabled" "$(field enabled "$line")" "$2"
  expect_eq "$1 visible" "$(field visible "$line")" "$3"
}
check_control Connect 1 1
check_control Disconnect 0 1
check_control "Automatic Connection" 1 1
check_control "Software backlash correction" 1 1
check_control 00000 1 1
for step in -1 +1 -10 +10 -100 +100; do check_control "$step" 1 1; done
check_control Start 0 0       # on the hidden "Autofocus" page
check_control Stop 0 0
check_control Disconnected 1 0
expect_match "step buttons are owner-drawn" "$(grep -F 'text="+100"' <<<"$list")" 'style=0x[0-9a-fA-F]*[bB] '
expect_eq "+1 button place" "$(grep -F 'text="+1"' <<<"$list" | sed -n 's/.* w=\([0-9]*\) h=\([0-9]*\).*/\1x\2/p')" "33x29"
e2e_screenshot window

# Closing without a change leaves the settings file untouched.
probe close Quillomar >/dev/null
e2e_wait_exit 20
expect_eq "closes" "$E2E_EXIT" 0
expect_eq "unchanged settings not rewritten" "$(date -r "$E2E_DIR/prog/autofocus.ini" +%Y)" 2020
