#!/usr/bin/env bash
# Settings survive a restart: a ticked "Automatic Connection" and a changed Steps.
source "$(dirname "$0")/lib.sh"
e2e_begin settings_restart

e2e_start
expect_match "tick Automatic Connection" "$(probe check Quillomar "Automatic Connection" on)" 'checked: 1'
probe tab Quillomar 0 >/dev/null
# Steps is the second edit of the window (after the log pane); type 9 and leave the field.
probe type Quillomar Edit 1 "9" --replace >/dev/null
probe type Quillomar Edit 2 "" >/dev/null
probe click Quillomar Control >/dev/null 2>&1
probe tab Quillomar 1 >/dev/null
probe close Quillomar >/dev/null
e2e_wait_exit 20
expect_eq "closes" "$E2E_EXIT" 0
ini=$(ini_text | tr -d '\r')
expect_match "Automatic Connection saved" "$ini" '^1001->1$'
expect_match "Steps saved" "$ini" '^1003->9$'

e2e_start
expect_match "Automatic Connection restored" "$(probe check Quillomar "Automatic Connection")" 'checked: 1'
expect_eq "Steps restored" "$(control_text Edit 1)" 9
