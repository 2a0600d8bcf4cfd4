#!/usr/bin/env bash
# The help button: the document missing gives the error box with the exact text.
source "$(dirname "$0")/lib.sh"
e2e_begin help

e2e_start
helpline=$(probe list Quillomar | grep 'class=Button' | grep 'text=""' | grep 'w=42 h=29' | head -1)
id=$(field id "$helpline")
expect_true "help button found" test -n "$id"
probe click Quillomar "" --id "$id" >/dev/null 2>&1 || probe click Quillomar "" >/dev/null 2>&1
box=$(probe msgbox Error --ok --timeout 10)
path="$(qm_winpath "$E2E_DIR/prog")\\focusers_readme.htm"
expect_eq "error box text" "$(sed -n 's/^text: //p' <<<"$box")" "File not found:\\r${path//\\/\\\\}"
expect_match "error box on top" "$box" 'topmost: 1'
