#!/usr/bin/env bash
# The run record kept by several programs beside one folder, and by a program killed at
# any step: RecordStress.exe keeps runs with the program's own code (KeepRunRecord over
# the Win32 files and the folder's lock). Two of them ending runs at the same moment,
# over and over, through the file's trim; one of them killed at random while both run;
# one that ends itself at each write of a run's keeping (the append, the trim's rename,
# the page), part way through it or just before or after; and all of it again in a folder
# that refuses new files (immutable, or not writable by an unprivileged user), where the
# record is appended and never replaced and the page is written in place. After each:
# every run whose keeping was completed is in the record once and in order, the runs
# missing from the beginnings are exactly those the trims took, every complete line is a
# record or a torn fragment on a line of its own, and the page shows the record's last
# 50 runs (one run behind only after a writer killed between its append and its page,
# and caught up by the next run).
#   QM_RECORD_RUNS=N    runs each of the two writers keeps side by side (default 600,
#                       which takes the file through a trim)
#   QM_RECORD_KILLS=N   random kills of one writer (default 6)
# e2e: both-architectures
source "$(dirname "$0")/lib.sh"
e2e_begin run_record_shared --plain
prog=$E2E_DIR/prog
jsonl=$prog/autofocus-runs.jsonl
page=$prog/autofocus-runs.htm
runs=${QM_RECORD_RUNS:-600}
kills=${QM_RECORD_KILLS:-6}
cp "$E2E_BUILD/tools/record_stress/RecordStress.exe" "$prog/" || { fail "no RecordStress.exe in $E2E_BUILD"; exit 1; }
record_end() {
  allow_writes "$prog"
  e2e_end
}
trap record_end EXIT

stress() { (cd "$prog" && exec timeout -k 5 300 wine RecordStress.exe "$@") 2>/dev/null | tr -d '\r'; }
# The Unix process id of the RecordStress.exe keeping NAME's runs in this prefix.
stress_pid() {
  local pid
  for pid in $(pgrep -f "RecordStress.exe loop $1( |$)"); do
    grep -qxF "WINEPREFIX=$WINEPREFIX" <<<"$(tr '\0' '\n' 2>/dev/null < "/proc/$pid/environ")" && { echo "$pid"; return 0; }
  done
  return 1
}
# The runs NAME's loop reported kept, from its output file (nothing when there is none).
kept() { [ -f "$E2E_DIR/$1.out" ] && grep -c '^kept ' "$E2E_DIR/$1.out"; }
temps() { find "$prog" -maxdepth 1 -name 'autofocus-runs.*.tmp' | wc -l; }
expect_files() {
  local what=$1 line; shift
  while IFS= read -r line; do
    case $line in ok*) pass "$what: ${line#ok   }" ;; *) fail "$what: ${line#FAIL }" ;; esac
  done < <(python3 "$QM_ROOT/tests/e2e/run_record_check.py" "$jsonl" "$page" "$@" 2>&1)
}
# Starts NAME's loop of N runs in the background; its starter's pid in LOOP_PID.
start_loop() {
  (cd "$prog" && exec wine RecordStress.exe loop "$1" "${2:-}") >"$E2E_DIR/$1.out" 2>/dev/null &
  LOOP_PID=$!
}
# Ends itself at every write of one run's keeping, then two runs follow; what was
# kept must all be there. WHERE names the case; STEPS the writes to end at. From a
# record of 1100 runs the trim, at the first append that takes the file over 1100
# lines, keeps the last 1000 records and so takes 101 of the fill; 102 when the dying
# run's whole line was appended but its trim was not made (ended just after the append,
# or just before the trim's rename), so that the next run's append trims a line more.
die_matrix() {
  local where=$1 steps=$2 base=$3 step torn n=0 cut
  for step in $steps; do
    for torn in 0 40 -1; do
      n=$((n + 1))
      fill_record "$base"
      stress die "die$n" "$step" "$torn" >/dev/null
      stress loop "after$n" 2 >/dev/null
      if [ "$where" = refusing ]; then
        expect_files "$where, ended at write $step (torn $torn)" --torn 1 --grown fill="1:$base" "die$n=1:0+" "after$n=1:2"
      else
        case "$step $torn" in "1 -1" | "2 0") cut=102 ;; *) cut=101 ;; esac
        expect_files "$where, ended at write $step (torn $torn)" --torn 1 fill="$((cut + 1)):$base" "die$n=1:0+" "after$n=1:2"
      fi
    done
  done
}

# 0. The checker refuses what it must, on files made for it: a page one run behind
#    unless the newest record is the last run of a killed writer, a writer's lost
#    beginning, more runs missing than the trims took. CASES: expected verdict | what |
#    the record's runs, oldest first | the page's runs, newest first | checker arguments.
checker_cases=(
  "ok|one run behind after a kill between append and page|S-1 K-1 S-2 K-2 K-3|K-2 S-2 K-1 S-1|K=1:2+ S=1:2"
  "FAIL|one run behind, the newest record a survivor's|S-1 K-1 S-2 K-2 S-3|K-2 S-2 K-1 S-1|K=1:2+ S=1:3"
  "FAIL|one run behind, no writer killed|S-1 K-1 S-2 K-2 K-3|K-2 S-2 K-1 S-1|K=1:3 S=1:2"
  "FAIL|two runs behind|S-1 K-1 S-2 K-2 K-3|S-2 K-1 S-1|K=1:2+ S=1:2"
  "ok|the beginnings the trim took|A-3 B-2 A-4 B-3|B-3 A-4 B-2 A-3|--cut 3 A=*:4 B=*:3"
  "FAIL|one run more missing than the trim took|A-3 B-2 A-4 B-3|B-3 A-4 B-2 A-3|--cut 2 A=*:4 B=*:3"
  "FAIL|a writer's beginning lost without a trim|A-1 A-2 B-4 A-3|A-3 B-4 A-2 A-1|A=*:3 B=*:4"
)
for row in "${checker_cases[@]}"; do
  IFS='|' read -r verdict what in_record on_page arguments <<<"$row"
  PYTHONPATH=$QM_ROOT/tests/e2e python3 - "$E2E_DIR/case.jsonl" "$E2E_DIR/case.htm" "$in_record" "$on_page" <<'PY'
import json, sys
from run_record_check import FIELDS
record, page, runs, shown = sys.argv[1], sys.argv[2], sys.argv[3].split(), sys.argv[4].split()
open(record, "w").write("".join(json.dumps({f: run if f == "driver" else 0 for f in FIELDS}) + "\n" for run in runs))
open(page, "w").write("<html><body>\n" + "".join("<!--run-->\n<tr><th>Driver<td>%s\n" % run for run in shown)
                      + "</body>\n</html>\n")
PY
  read -r -a arguments <<<"$arguments"
  out=$(python3 "$QM_ROOT/tests/e2e/run_record_check.py" "$E2E_DIR/case.jsonl" "$E2E_DIR/case.htm" "${arguments[@]}" 2>&1)
  if grep -q '^FAIL ' <<<"$out"; then got=FAIL; else got=ok; fi
  expect_eq "checker: $what" "$got" "$verdict"
  [ "$got" = "$verdict" ] || sed 's/^/    /' <<<"$out"
done

# The records the trims leave of N appends to an empty record, none of them torn: each
# append that takes the file over 1100 lines trims it back to its last 1000.
left_of() {
  local n=$1 lines=0 k
  for ((k = 0; k < n; k++)); do
    lines=$((lines + 1))
    ((lines > 1100)) && lines=1000
  done
  echo "$lines"
}

# 1. Two programs ending runs at the same moment, $runs each, through the trim: the
#    runs the trims took are the oldest, from the beginnings of the two.
start_loop A "$runs"; a=$LOOP_PID
start_loop B "$runs"; b=$LOOP_PID
wait $a; wait $b
expect_eq "side by side: both kept every run" "$(kept A) $(kept B)" "$runs $runs"
expect_files "side by side" --cut $((2 * runs - $(left_of $((2 * runs))))) A="*:$runs" B="*:$runs"
expect_eq "side by side: no temporary file left" "$(temps)" 0

# 2. One of the two killed at random moments while both keep runs, each time in a record
#    of its own that stays far below the trim, so that every run of both must be there.
#    Killed between its append and its page, the killed program leaves the page one run
#    behind the record; the next run catches it up, and ends a torn last line before its
#    own.
for ((k = 1; k <= kills; k++)); do
  rm -f "$jsonl"
  start_loop "K$k"; victim=$LOOP_PID
  start_loop "S$k" 40; survivor=$LOOP_PID
  # How soon a Wine program starts on a busy computer is not what is checked: the wait is long.
  wait_until 90 grep -q '^kept 3' "$E2E_DIR/K$k.out" || fail "kill $k: the loop did not keep 3 runs in 90 s"
  sleep "0.$(printf '%03d' $((RANDOM % 500)))"
  pid=$(stress_pid "K$k") && kill -9 "$pid"
  wait $victim 2>/dev/null; wait $survivor
  expect_files "kill $k (after run $(kept "K$k"))" --torn 1 "K$k=1:$(kept "K$k")+" "S$k=1:40"
  stress loop "next$k" 1 >/dev/null
  expect_files "the run after kill $k" --torn 1 "K$k=1:$(kept "K$k")+" "S$k=1:40" "next$k=1:1"
done

# 3. A program that ends itself at each write of a run's keeping: the append, the trim's
#    rename (the record then holds 1100 runs, so the append takes it over the limit), the page.
die_matrix writable "1 2 3" 1100
expect_eq "ended at every write: the temporary files of the dead are cleared" "$(temps)" 0

# 4. A folder that refuses new files: appended, never replaced, never trimmed; the page
#    written in place.
fill_record 1100
if ! refuse_writes "$prog"; then
  fail "refusing folder: the folder could not be made to refuse new files ($REFUSE_WRITES_WHY)"
else
  inode=$(stat -c %i "$jsonl")
  start_loop RA 100; a=$LOOP_PID
  start_loop RB 100; b=$LOOP_PID
  wait $a; wait $b
  expect_eq "refusing folder: both kept every run" "$(kept RA) $(kept RB)" "100 100"
  expect_eq "refusing folder: the record is the same file, appended to" "$(stat -c %i "$jsonl")" "$inode"
  expect_eq "refusing folder: the record is not trimmed" "$(grep -c . "$jsonl")" 1300
  expect_files "refusing folder, side by side" --grown fill=1:1100 RA=1:100 RB=1:100
  die_matrix refusing "1 2" 1100
  expect_eq "refusing folder: no temporary file" "$(temps)" 0
  allow_writes "$prog"
fi
