#!/usr/bin/env bash
# The run record's lines of every format and its lock, with RecordStress.exe keeping runs
# through the program's own code (KeepRunRecord over the Win32 files and the folder's lock):
#   1. a record written before lines carried a format number reads unchanged: the next
#      run appends to it byte for byte, and the page shows its runs and nothing else;
#   2. a line of a later format (a member this version does not know) and a line edited
#      by hand survive the trim, and the page counts the line it cannot show;
#   3. a holder of the lock stalls past the others' wait between reading the record and
#      trimming it while another program ends runs: they wait in pending files, and the
#      next holder appends them, every run once;
#   4. the folder spelt three ways (as started, through a second drive letter mapped
#      onto it, through a symbolic link) has one lock, and two programs keeping runs
#      through two spellings, through the trim, lose nothing;
#   5. the record held open by a program that shares reading only: the runs wait, the
#      page shows them as not yet in the record, and the next run appends them once.
# Takes about a minute for each architecture.
# e2e: both-architectures
source "$(dirname "$0")/lib.sh"
e2e_begin run_record_locks --plain
prog=$E2E_DIR/prog
jsonl=$prog/autofocus-runs.jsonl
page=$prog/autofocus-runs.htm
cp "$E2E_BUILD/tools/record_stress/RecordStress.exe" "$prog/" || { fail "no RecordStress.exe in $E2E_BUILD"; exit 1; }

# RecordStress.exe started from the program's folder, or as the Windows path given by -p.
stress() {
  local exe=RecordStress.exe
  [ "$1" = -p ] && { exe=$2; shift 2; }
  (cd "$prog" && exec timeout -k 5 120 wine "$exe" "$@") 2>/dev/null | tr -d '\r'
}
# Starts a RecordStress.exe in the background, its output in $E2E_DIR/NAME.out and its
# starter's pid in BG_PID.
stress_bg() {
  local name=$1; shift
  (cd "$prog" && exec timeout -k 5 120 wine "$@") >"$E2E_DIR/$name.out" 2>/dev/null &
  BG_PID=$!
}
# The drivers of the record's complete lines in order, one a line: "?" for a line that is
# not JSON or names no driver.
drivers() {
  python3 - "$jsonl" <<'PY'
import json, sys
for line in open(sys.argv[1], encoding="utf-8", newline="").read().split("\n")[:-1]:
    try:
        print(json.loads(line).get("driver", "?"))
    except ValueError:
        print("?")
PY
}
# Whether every run NAME-1 .. NAME-N is in the record once, in order: "ok" or what is wrong.
runs_once() {
  local name=$1 n=$2 got
  got=$(drivers | grep -E "^$name-[0-9]+$" | tr '\n' ' ')
  local want=""
  for ((i = 1; i <= n; i++)); do want+="$name-$i "; done
  [ "$got" = "$want" ] && echo ok || echo "got [$got]"
}
pending_files() { find "$prog" -maxdepth 1 -name 'autofocus-runs.pending-*' | wc -l; }
page_has() { grep -qF -- "$1" "$page"; }

# 1. A record as the version before format numbers wrote it.
sample=$QM_ROOT/tests/e2e/run_record_format1.jsonl
cp "$sample" "$jsonl"
stress loop first 1 >/dev/null
expect_eq "earlier record: kept byte for byte, the new run after it" \
  "$(head -c "$(stat -c %s "$sample")" "$jsonl" | cmp -s - "$sample" && echo same)" same
expect_eq "earlier record: its runs and the new one" "$(drivers | tr '\n' '|')" \
  'QmSim.Focuser|QmSim.Focuser|Café "Focuser"	\1|ASCOM.Focuser.é|first-1|'
expect_eq "earlier record: the page shows all five runs" "$(grep -c '^<!--run-->$' "$page")" 5
expect_true "earlier record: the page names its runs" page_has "ASCOM.Focuser.é"
expect_true "earlier record: the page says nothing of lines not shown or runs waiting" \
  bash -c "! grep -qE 'not shown|not yet in the record' '$page'"

# 2. The trim keeps a line of a later format and a line it cannot read.
fill_record 1100
later=$(python3 - "$jsonl" <<'PY'
import sys
line = open(sys.argv[1], encoding="utf-8").read().split("\n")[-2]
print(line.replace('{"time"', '{"format":2,"seeing":{"fwhm":1.5},"time"', 1).replace('"fill-1100"', '"later-1"'))
PY
)
edited='{"time": "2026-12-01T00:00:00Z", "note": "edited by hand"}'
python3 - "$jsonl" "$later" "$edited" <<'PY'
import sys
path, later, edited = sys.argv[1:]
lines = open(path, encoding="utf-8").read().split("\n")[:-1]
lines.insert(1090, later)
lines.insert(20, edited)
open(path, "w", encoding="utf-8", newline="").write("\n".join(lines) + "\n")
PY
stress loop trim 1 >/dev/null
expect_eq "trim: the record was trimmed to 1000 runs and the line it cannot read" "$(grep -c . "$jsonl")" 1001
expect_eq "trim: the later format's line is kept byte for byte" "$(grep -cxF -- "$later" "$jsonl")" 1
expect_eq "trim: the edited line is kept" "$(grep -cxF -- "$edited" "$jsonl")" 1
expect_true "trim: the page counts the line it does not show" page_has "1 line of the record not shown"

# 3. A holder of the lock that stalls between reading the record and trimming it, while
#    another program ends runs and gives up waiting for the lock after one second.
fill_record 1100
rm -f "$prog/go"
stress_bg stall RecordStress.exe stall S go; stall_pid=$BG_PID
wait_until 30 grep -q '^stalling' "$E2E_DIR/stall.out" || fail "stall: the holder did not start"
stress loop B 3 1000 >"$E2E_DIR/B.out"
expect_eq "stall: the runs ended meanwhile wait in pending files" "$(grep -c '^kept [0-9] pending$' "$E2E_DIR/B.out")" 3
expect_true "stall: the holder still held the lock" kill -0 "$stall_pid"
expect_true "stall: the page shows the waiting runs" page_has "not yet in the record"
touch "$prog/go"
wait "$stall_pid"
stress loop after 1 >/dev/null
expect_eq "stall: the holder's run once" "$(runs_once S 1)" ok
expect_eq "stall: each waiting run once, in order" "$(runs_once B 3)" ok
expect_eq "stall: the next run once" "$(runs_once after 1)" ok
# The holder lists the pending files once it goes on, and appends them before its own run.
expect_eq "stall: the waiting runs in order before the holder's" "$(drivers | tail -5 | tr '\n' ' ')" "B-1 B-2 B-3 S-1 after-1 "
expect_eq "stall: no pending file left" "$(pending_files)" 0

# 4. One folder, three spellings: as started, a second drive letter, a symbolic link.
ln -sfn "$prog" "$WINEPREFIX/dosdevices/q:"
ln -sfn "$prog" "$E2E_DIR/link"
linked="Z:$(sed 's|/|\\|g' <<<"$E2E_DIR/link")\\RecordStress.exe"
name=$(stress lock-name)
expect_match "spellings: the lock is named after the folder's identity" "$name" '-id-[0-9a-f]{16}$'
expect_eq "spellings: the drive letter's lock is the folder's" "$(stress -p 'Q:\RecordStress.exe' lock-name)" "$name"
expect_eq "spellings: the link's lock is the folder's" "$(stress -p "$linked" lock-name)" "$name"
fill_record 1000
stress_bg QA 'Q:\RecordStress.exe' loop QA 100; qa=$BG_PID
stress_bg LB "$linked" loop LB 100; lb=$BG_PID
wait "$qa"; wait "$lb"
expect_eq "spellings: both kept every run" "$(grep -c '^kept ' "$E2E_DIR/QA.out") $(grep -c '^kept ' "$E2E_DIR/LB.out")" "100 100"
expect_eq "spellings: every run of the drive letter's once" "$(runs_once QA 100)" ok
expect_eq "spellings: every run of the link's once" "$(runs_once LB 100)" ok
expect_eq "spellings: every line a record" "$(drivers | grep -c '^?$')" 0

# 5. The record held open by a program that shares reading only.
rm -f "$prog/go"
stress_bg hold RecordStress.exe hold autofocus-runs.jsonl go; hold_pid=$BG_PID
wait_until 30 grep -q '^held' "$E2E_DIR/hold.out" || fail "held: the holder did not open the record"
stress loop H 2 >"$E2E_DIR/H.out"
expect_eq "held: the runs wait in pending files" "$(grep -c '^kept [0-9] pending$' "$E2E_DIR/H.out")" 2
expect_eq "held: the record does not have them yet" "$(drivers | grep -c '^H-')" 0
expect_true "held: the page shows them" page_has "<td>H-2"
expect_true "held: the page says they are not yet in the record" page_has "The newest 2 runs are not yet in the record"
touch "$prog/go"
wait "$hold_pid"
expect_eq "held: the holder had the file all along" "$(cat "$E2E_DIR/hold.out" | tr -d '\r')" held
stress loop after2 1 >/dev/null
expect_eq "held: each waiting run once, in order, before the next" "$(drivers | tail -3 | tr '\n' ' ')" "H-1 H-2 after2-1 "
expect_eq "held: no pending file left" "$(pending_files)" 0
expect_true "held: the page no longer says runs wait" bash -c "! grep -q 'not yet in the record' '$page'"
