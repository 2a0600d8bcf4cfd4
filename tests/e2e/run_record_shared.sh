#!/usr/bin/env bash
# The run record kept by several programs beside one folder, and by a program killed at
# any step: RecordStress.exe keeps runs with the program's own code (KeepRunRecord over
# the Win32 files and the folder's lock). Two of them ending runs at the same moment,
# over and over, through the file's trim; one of them killed at random while both run;
# one that ends itself at each write of a run's keeping (the append, the trim's rename,
# the page), part way through it or just before or after; and all of it again in a folder
# that refuses new files (immutable), where the record is appended and never replaced
# and the page is written in place. After each: every run whose keeping was completed is
# in the record once and in order, every complete line is a record or a torn fragment
# on a line of its own, and the page shows the record's last 50 runs.
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
  chattr -i "$prog" 2>/dev/null
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
# The runs NAME's loop reported kept, from its output file.
kept() { grep -c '^kept ' "$E2E_DIR/$1.out" 2>/dev/null || echo 0; }
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
# A record file of N runs "fill-1" .. "fill-N", made from one line the program wrote.
fill_record() {
  python3 - "$jsonl" "$1" <<'PY'
import sys
path, n = sys.argv[1], int(sys.argv[2])
line = [l for l in open(path, encoding="utf-8").read().split("\n") if l.startswith('{"time"')][-1]
driver = line.split('"driver":"')[1].split('"')[0]
open(path, "w", encoding="utf-8", newline="").write(
    "".join(line.replace('"driver":"%s"' % driver, '"driver":"fill-%d"' % i, 1) + "\n" for i in range(1, n + 1)))
PY
}
# Ends itself at every write of one run's keeping, then two runs follow; what was
# kept must all be there. WHERE names the case; STEPS the writes to end at.
die_matrix() {
  local where=$1 steps=$2 base=$3 step torn n=0
  for step in $steps; do
    for torn in 0 40 -1; do
      n=$((n + 1))
      fill_record "$base"
      stress die "die$n" "$step" "$torn" >/dev/null
      stress loop "after$n" 2 >/dev/null
      if [ "$where" = refusing ]; then
        expect_files "$where, ended at write $step (torn $torn)" --torn 1 --grown fill="1:$base" "die$n=1:0+" "after$n=1:2"
      else
        expect_files "$where, ended at write $step (torn $torn)" --torn 1 fill="*:$base" "die$n=1:0+" "after$n=1:2"
      fi
    done
  done
}

# 1. Two programs ending runs at the same moment, $runs each, through the trim.
start_loop A "$runs"; a=$LOOP_PID
start_loop B "$runs"; b=$LOOP_PID
wait $a; wait $b
expect_eq "side by side: both kept every run" "$(kept A) $(kept B)" "$runs $runs"
expect_files "side by side" A="*:$runs" B="*:$runs"
expect_eq "side by side: no temporary file left" "$(temps)" 0

# 2. One of the two killed at random moments while both keep runs.
for ((k = 1; k <= kills; k++)); do
  start_loop "K$k"; victim=$LOOP_PID
  start_loop "S$k" 40; survivor=$LOOP_PID
  wait_until 20 grep -q '^kept 3' "$E2E_DIR/K$k.out" || fail "kill $k: the loop did not start"
  sleep "0.$(printf '%03d' $((RANDOM % 500)))"
  pid=$(stress_pid "K$k") && kill -9 "$pid"
  wait $victim 2>/dev/null; wait $survivor
  expect_files "kill $k (after run $(kept "K$k"))" --torn "$k" "K$k=*:$(kept "K$k")+" "S$k=*:40"
  # The next run ends a torn last line before its own.
done
stress loop after-kills 1 >/dev/null
expect_files "after the kills" --torn "$kills" after-kills=1:1

# 3. A program that ends itself at each write of a run's keeping: the append, the trim's
#    rename (the record then holds 1100 runs, so the append takes it over the limit), the page.
die_matrix writable "1 2 3" 1100
expect_eq "ended at every write: the temporary files of the dead are cleared" "$(temps)" 0

# 4. A folder that refuses new files: appended, never replaced, never trimmed; the page
#    written in place.
fill_record 1100
if ! chattr +i "$prog" 2>"$E2E_DIR/chattr.err"; then
  echo "  skip refusing folder: chattr +i was refused: $(head -1 "$E2E_DIR/chattr.err")"
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
  chattr -i "$prog"
fi
