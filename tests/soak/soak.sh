#!/usr/bin/env bash
# Soak: RUNS complete autofocus runs of one instance of the real program under Wine,
# each driven by the simulated imaging host (fast cadence, instant moves, Steps 5,
# Expo/Step 1), with a disconnect and a connect through the window's buttons every 10
# runs. Every run must be reported to the host exactly once and leave its five step lines
# and the result line. The program's resources are read after every run:
#   - from Windows (Probe.exe resources): USER and GDI object counts (GetGuiResources),
#     private bytes, working set, the number of the process's windows;
#   - from Linux (/proc of the Wine process): resident anonymous memory (RssAnon) and the
#     data segment (VmData), the private memory of a Wine process as Linux counts it.
# Wine does not keep USER and GDI counts (GetGuiResources answers 0 and
# ERROR_CALL_NOT_IMPLEMENTED), nor private bytes of another process; those figures are
# compared only where the system gives them (not 0). A figure that cannot be read at all
# (no process, the probe failed) is a failure, not a pass.
#
# Memory is judged by its growth per run: the least-squares slope of each memory figure
# over the runs after a warm-up, against a bound in kB per run. The program's memory
# moves in steps of 12 kB: two or three in its first few dozen runs (a reconnection
# among them), then none in 200 runs. A step of S kB in the middle of N judged runs
# tilts the slope by 1.5 * S / N, so with the 16 judged runs of the short soak two such
# steps stay under the default bound of 3 kB a run, while a leak of 4 kB a run gives a
# slope above 4 and fails.
#
#   tests/soak/soak.sh [RUNS]      default 200; about 4 s a run on a 2-core machine
# Environment: QM_BUILD64 (build directory, default build/win64), QM_SOAK_WARMUP (runs
# left out of the slope, default 5), QM_SOAK_SLOPE_KB (allowed growth in kB per run,
# default 3).
# Prints one line per run, the resource samples and a summary table (also written to
# build/e2e/soak/summary.md); exit status 0 when every run reported once, every figure
# was read and the memory figures grew less than the bound.
RUNS=${1:-200}
if ! [[ $RUNS =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: tests/soak/soak.sh [RUNS]" >&2
  exit 1
fi
if [ -z "${QM_E2E_INNER:-}" ]; then
  QM_E2E_INNER=1 exec timeout -k 10 $((RUNS * 30 + 300)) \
    "$(dirname "$0")/../../scripts/xvfb_run" bash "$0" "$@"
fi
source "$(dirname "$0")/../e2e/lib.sh"
e2e_begin soak

WARMUP=${QM_SOAK_WARMUP:-5}
SLOPE_KB=${QM_SOAK_SLOPE_KB:-3}
RECONNECT_EVERY=10

is_enabled() { [ "$(field enabled "$(control_line "$1")")" = 1 ]; }

# The Linux process that runs the program: the one whose command line names its exe,
# or, where Wine keeps the command line as typed ("Quillomar.exe 1", seen with no 32-bit
# Wine installed), the one started in this run's program directory.
# Other runs' programs, beside this one, have directories of their own.
unix_pid() {
  local exe p
  exe=$(qm_winpath "$E2E_DIR/prog/Quillomar.exe")
  for p in $(pgrep -f 'Quillomar\.exe'); do
    if tr '\0' ' ' <"/proc/$p/cmdline" 2>/dev/null | grep -qF "$exe " ||
      [ "$(readlink "/proc/$p/cwd" 2>/dev/null)" = "$(readlink -f "$E2E_DIR/prog")" ]; then
      echo "$p"
      return 0
    fi
  done
  return 1
}
proc_kb() { sed -n "s/^$1:[[:space:]]*\([0-9]*\) kB/\1/p" "/proc/$UNIX_PID/status" 2>/dev/null; }

# One sample: "run user gdi private working windows rssanon_kb vmdata_kb", with "-" for
# a figure that could not be read.
sample() {
  local r v line=$1 try
  # A read can miss the window for a moment (seen once in 24 runs); three misses in a
  # row leave the figures missing, which fails the soak.
  for try in 1 2 3; do
    r=$(probe resources Quillomar) && grep -q '^windows: [0-9]' <<<"$r" && break
    sleep 0.5
  done
  for v in "$(sed -n 's/^user: //p' <<<"$r")" "$(sed -n 's/^gdi: //p' <<<"$r")" "$(sed -n 's/^private: //p' <<<"$r")" \
    "$(sed -n 's/^working: //p' <<<"$r")" "$(sed -n 's/^windows: //p' <<<"$r")" "$(proc_kb RssAnon)" "$(proc_kb VmData)"; do
    line+=" ${v:--}"
  done
  echo "$line"
}

e2e_sim Absolute=1 MaxStep=60000 StartPosition=10000 StepsPerSecond=0
printf '%s\r\n' '1003->5' '1004->100' '1005->1' '1001->1' '1002->0' '9990->0' '9991->QmSim.Focuser' \
  >"$E2E_DIR/prog/autofocus.ini"
e2e_start
wait_until 10 is_enabled Disconnect || { fail "the program did not connect by itself"; exit 1; }
UNIX_PID=$(unix_pid) || fail "the program's Linux process was not found: no /proc figures"

SAMPLES=$E2E_DIR/samples.txt
: >"$SAMPLES"
bad_runs=0
reconnects=0
start=$(date +%s)
for ((run = 1; run <= RUNS; run++)); do
  out=$(host --quiet --cadence-ms 120 --timeout-s 60 --count-reports 0.3)
  rc=$?
  reports=$(sed -n 's/^reports: //p' <<<"$out")
  steps=$(grep -c '^log: .* = ' <<<"$out")
  result=$(sed -n 's/^result: BestFocus=\(-\?[0-9]*\).*/\1/p' <<<"$out")
  if [ "$rc" = 0 ] && [ "$reports" = 1 ] && [ "$steps" = 5 ] && [ -n "$result" ]; then
    echo "run $run: reported once, best focus $result"
  else
    bad_runs=$((bad_runs + 1))
    echo "run $run: FAILED (exit $rc, reports ${reports:-none}, step lines $steps, result ${result:-none})"
    grep -E '^(error|status|final):' <<<"$out" | sed 's/^/    /'
  fi
  sample "$run" | tee -a "$SAMPLES" | sed 's/^/sample: run=/'
  if [ $((run % RECONNECT_EVERY)) = 0 ] && [ "$run" -lt "$RUNS" ]; then
    probe tab Quillomar 1 >/dev/null
    probe click Quillomar Disconnect >/dev/null
    wait_until 10 is_enabled Connect || echo "run $run: Disconnect did not take"
    probe click Quillomar Connect >/dev/null
    if wait_until 10 is_enabled Disconnect; then
      reconnects=$((reconnects + 1))
    else
      echo "run $run: Connect did not take"
    fi
  fi
done
took=$(($(date +%s) - start))

expect_eq "every run reported exactly once" "$bad_runs" 0
expect_eq "every disconnect and connect took" "$reconnects" $(((RUNS - 1) / RECONNECT_EVERY))

# Every figure of every sample must have been read: a number, not an empty field.
FIGURES=(USER GDI "private bytes" "working set" windows RssAnon VmData)
missing=$(awk -v names="$(IFS=,; echo "${FIGURES[*]}")" '
  BEGIN { n = split(names, name, ",") }
  { for (i = 1; i <= n; i++) if ($(i + 1) !~ /^[0-9]+$/) { printf "%s after run %s; ", name[i], $1; bad++ } }
  END { exit bad > 0 }' "$SAMPLES" | head -c 400)
expect_eq "every figure read after every run" "${missing:-none}" none
expect_eq "a sample after every run" "$(wc -l <"$SAMPLES")" "$RUNS"

# Least-squares slope of column COL (divided by DIV) over the samples after the warm-up;
# "n/a" when there are fewer than three of them.
slope() {
  awk -v c="$1" -v d="$2" -v w="$WARMUP" '
    $1 > w && $c ~ /^[0-9]+$/ { n++; x = $1; y = $c / d; sx += x; sy += y; sxx += x * x; sxy += x * y }
    END { if (n < 3 || n * sxx == sx * sx) print "n/a"; else printf "%+.2f", (n * sxy - sx * sy) / (n * sxx - sx * sx) }' "$SAMPLES"
}
below_bound() { [ "$1" != n/a ] && awk -v g="$1" -v m="$SLOPE_KB" 'BEGIN { exit !(g <= m) }'; }
read -r _ user1 gdi1 priv1 work1 win1 anon1 data1 < <(head -1 "$SAMPLES")
read -r _ user2 gdi2 priv2 work2 win2 anon2 data2 < <(tail -1 "$SAMPLES")
summary=$E2E_DIR/summary.md
{
  echo "| figure | after run 1 | after run $RUNS | slope after run $WARMUP, kB per run |"
  echo "|---|---|---|---|"
  echo "| USER objects (GetGuiResources) | $user1 | $user2 | |"
  echo "| GDI objects (GetGuiResources) | $gdi1 | $gdi2 | |"
  echo "| private bytes (GetProcessMemoryInfo) | $priv1 | $priv2 | $(slope 4 1024) |"
  echo "| working set bytes (GetProcessMemoryInfo) | $work1 | $work2 | $(slope 5 1024) |"
  echo "| windows of the process | $win1 | $win2 | |"
  echo "| RssAnon kB (/proc) | $anon1 | $anon2 | $(slope 7 1) |"
  echo "| VmData kB (/proc) | $data1 | $data2 | $(slope 8 1) |"
  echo
  echo "$RUNS runs, $reconnects disconnect+connect cycles, $bad_runs runs not reported exactly once, ${took}s."
  echo "Bound: $SLOPE_KB kB per run over the runs after run $WARMUP."
} >"$summary"
cat "$summary"

if [ "$user1" != 0 ] || [ "$gdi1" != 0 ]; then
  expect_eq "USER objects unchanged" "$user2" "$user1"
  expect_eq "GDI objects unchanged" "$gdi2" "$gdi1"
else
  echo "(USER and GDI counts are not kept by this system: not compared)"
fi
if [ "$priv1" != 0 ]; then
  expect_true "private bytes grow less than $SLOPE_KB kB per run ($(slope 4 1024))" below_bound "$(slope 4 1024)"
else
  echo "(private bytes of another process are not given by this system: not compared)"
fi
expect_eq "windows of the process unchanged" "$win2" "$win1"
expect_true "RssAnon grows less than $SLOPE_KB kB per run ($(slope 7 1))" below_bound "$(slope 7 1)"
expect_true "VmData grows less than $SLOPE_KB kB per run ($(slope 8 1))" below_bound "$(slope 8 1)"
