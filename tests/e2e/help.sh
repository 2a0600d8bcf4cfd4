#!/usr/bin/env bash
# The help document and the help button:
#  - scripts/make_help.sh makes the document from the real program; it is one
#    self-contained HTML file that explains every message the sources can show
#    (tests/help/check_help_document.py), and that check rejects spoilt copies;
#  - the prefixes draw the window with Tahoma: the labels fit their page;
#  - help without the document: the "File not found:" box with the exact path;
#  - help with the document beside the program: no error box, and the shell is asked to
#    open exactly that path (a stand-in handler for .htm records what it was given).
source "$(dirname "$0")/lib.sh"
e2e_begin help

# 1. The document, made from the real program, and its check.
doc=$E2E_DIR/doc
QM_BUILD64=$QM_BUILD64 QM_HELP_WORK=$E2E_DIR/pictures "$QM_ROOT/scripts/make_help.sh" "$doc" \
  >"$E2E_DIR/make_help.log" 2>&1
expect_eq "make_help.sh succeeds" "$?" 0
expect_true "document written" test -s "$doc/focusers_readme.htm"
python3 "$QM_ROOT/tests/help/check_help_document.py" "$doc/focusers_readme.htm" >"$E2E_DIR/check.log" 2>&1
expect_eq "document is self-contained HTML and explains every message (check.log)" "$?" 0
python3 "$QM_ROOT/tests/help/check_help_document_test.py" "$doc/focusers_readme.htm" >"$E2E_DIR/check_test.log" 2>&1
expect_eq "the check rejects spoilt documents and unexplained messages (check_test.log)" "$?" 0
expect_eq "three pictures embedded (the two pages and the run record page)" "$(grep -o 'src="data:image/png;base64,' "$doc/focusers_readme.htm" | wc -l)" 3

e2e_start

# 2. Tahoma in the prefix: every label of the Autofocus page ends within the page (the
#    wider stand-in font pushed "Expo/Step" over the edge).
probe tab Quillomar 0 >/dev/null
list=$(probe list Quillomar)
page=$(grep 'class=QuillomarPage' <<<"$list" | grep 'visible=1' | head -1)
page_right=$(( $(field x "$page") + $(field w "$page") ))
for label in Steps Increment Expo/Step Status:; do
  line=$(grep 'class=Static' <<<"$list" | grep -F "text=\"$label\"" | head -1)
  right=$(( $(field x "$line") + $(field w "$line") ))
  expect_true "label $label ends within the page ($right <= $page_right)" test -n "$line" -a "$right" -le "$page_right"
done
probe tab Quillomar 1 >/dev/null

# 3. Help without the document: the error box.
helpline=$(probe list Quillomar | grep 'class=Button' | grep 'text=""' | grep 'w=42 h=29' | head -1)
id=$(field id "$helpline")
expect_true "help button found" test -n "$id"
press_help() { probe click Quillomar "" --id "$id" >/dev/null 2>&1 || probe click Quillomar "" >/dev/null 2>&1; }
press_help
box=$(probe msgbox Error --ok --timeout 10)
path="$(qm_winpath "$E2E_DIR/prog")\\focusers_readme.htm"
expect_eq "error box text" "$(sed -n 's/^text: //p' <<<"$box")" "File not found:\\r${path//\\/\\\\}"
expect_match "error box on top" "$box" 'topmost: 1'

# 4. Help with the document: a stand-in for the browser records the path it is given.
e2e_record_htm_open
expect_eq "stand-in handler registered" "$?" 0
cp "$doc/focusers_readme.htm" "$E2E_DIR/prog/"
press_help
expect_true "the shell was asked to open a document" wait_until 15 test -s "$E2E_HTM_RECORD"
expect_eq "it was asked to open exactly the document beside the program" "$(e2e_htm_opened)" "$path"
expect_true "no error box" test -z "$(probe msgbox Error --timeout 2 | grep '^text:')"
expect_true "no error report" test -z "$(probe msgbox Quillomar --timeout 1 | grep '^text:')"
