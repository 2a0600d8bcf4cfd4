# Sourced by the end-to-end tests: the real Quillomar.exe under Wine in its own Xvfb
# display and private prefix, with the simulated ASCOM focuser registered, driven
# from outside by Probe.exe (as a user) and SimHost.exe (as the imaging host).
#
#   e2e_begin NAME [--plain]  re-runs the script inside an Xvfb display of its own
#                         (scripts/xvfb_run, for at most E2E_TIMEOUT_S seconds, default
#                         600), makes build/e2e/NAME with
#                         prog/ (the exe, where autofocus.ini lands), sim/ (the simulator's
#                         sim.ini, calls.log, focuser.state) and a fresh prefix; with --plain
#                         a prefix without the simulator and an empty prog/
#   e2e_sim KEY=VALUE...  writes sim/sim.ini (the simulator re-reads it on every call)
#   e2e_start [ARGS...]   starts the program (default argument "1") and waits for its window
#   probe ARGS...         runs Probe.exe; host ARGS... runs SimHost.exe
#   expect_eq WHAT ACTUAL EXPECTED, expect_match WHAT TEXT REGEX, expect_true WHAT CMD...
#   count_boxes CAPTION S  closes every box with that caption for S seconds; sets BOXES
#                         (how many) and BOX_TEXTS (their texts, one a line)
#   watch_boxes CAPTION S HOLD  the same, each box left open HOLD seconds; also sets
#                         BOXES_MOST, the most boxes of the program seen open at once
#   e2e_record_htm_open   has the shell open .htm files with a recorder in this prefix;
#                         e2e_htm_opened prints the documents opened since, one a line
#   wait_for WHAT S CMD...  waits up to S seconds for CMD; a timeout is a failed check
#   e2e_end               (on exit) stops the program and Wine; the exit status says pass/fail
# Environment: QM_BUILD64, QM_BUILD32 (build directories), QM_E2E_ARCH=32 runs the
# 32-bit program instead of the 64-bit one, QM_E2E_DIR_BASE puts the run directories
# elsewhere than build/e2e (so that two runs of one script do not share one).
# Under pipefail, "producer | grep -q" fails when grep exits on its match before the
# producer has written the rest; the scripts give grep -q a here-string instead.
set -uo pipefail
QM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$QM_ROOT/scripts/wine_env.sh"
QM_BUILD64=${QM_BUILD64:-$QM_ROOT/build/win64}
QM_BUILD32=${QM_BUILD32:-$QM_ROOT/build/win32}
E2E_FAILURES=0
E2E_CHECKS=0

e2e_begin() {
  E2E_NAME=$1
  if [ -z "${QM_E2E_INNER:-}" ]; then
    QM_E2E_INNER=1 exec timeout -k 10 "${E2E_TIMEOUT_S:-600}" "$QM_ROOT/scripts/xvfb_run" bash "$0" "$@"
  fi
  if [ "${QM_E2E_ARCH:-64}" = 32 ]; then E2E_BUILD=$QM_BUILD32; else E2E_BUILD=$QM_BUILD64; fi
  E2E_DIR=${QM_E2E_DIR_BASE:-$QM_ROOT/build/e2e}/$E2E_NAME${QM_E2E_ARCH:+-$QM_E2E_ARCH}
  rm -rf "$E2E_DIR"
  mkdir -p "$E2E_DIR/prog" "$E2E_DIR/sim"
  E2E_PROBE="$QM_BUILD64/tools/probe/Probe.exe"
  E2E_HOST="$QM_BUILD64/tools/sim_host/SimHost.exe"
  if [ "${2:-}" = --plain ]; then
    qm_fresh_prefix "$E2E_DIR/prefix" || { echo "e2e: no prefix"; exit 1; }
  else
    cp "$E2E_BUILD/Quillomar.exe" "$E2E_DIR/prog/"
    qm_fresh_sim_prefix "$E2E_DIR/prefix" "$QM_BUILD64" "$QM_BUILD32" || { echo "e2e: no simulator prefix"; exit 1; }
  fi
  export QM_SIM_DIR
  QM_SIM_DIR=$(qm_winpath "$E2E_DIR/sim")
  E2E_APP_PID=""
  trap e2e_end EXIT
  # Stopped from outside (a timeout): a failure, whatever the checks so far said.
  trap 'fail "stopped from outside (timed out?)"; exit 1' TERM INT
  echo "== $E2E_NAME (${QM_E2E_ARCH:-64}-bit)"
}

e2e_sim() {
  printf '%s\r\n' "$@" > "$E2E_DIR/sim/sim.ini"
}

e2e_start() {
  local args=("$@")
  [ $# -eq 0 ] && args=(1)
  (cd "$E2E_DIR/prog" && exec wine Quillomar.exe "${args[@]}") >"$E2E_DIR/app.log" 2>&1 &
  E2E_APP_PID=$!
  probe_server_start
  probe wait Quillomar 30 >/dev/null || { echo "e2e: the window did not appear"; return 1; }
}

# Waits up to S seconds for the program to exit and sets E2E_EXIT to its exit code
# ("running" when it did not exit). Not for use inside $(...): wait needs this shell.
e2e_wait_exit() {
  local s=$1 i
  E2E_EXIT=running
  for ((i = 0; i < s * 10; i++)); do
    if ! kill -0 "$E2E_APP_PID" 2>/dev/null; then
      wait "$E2E_APP_PID"; E2E_EXIT=$?; E2E_APP_PID=""; return 0
    fi
    sleep 0.1
  done
  return 1
}

# Probe.exe answers through one long-lived "Probe.exe serve" in the prefix, started by
# e2e_start: a Wine process start costs about a third of a second of processor time, and a
# script asks hundreds of questions. One question at a time (a lock); a question asked
# while another is open, before the server runs or after it has gone (the Wine server
# stopped), or with a line break in an argument, runs a Probe.exe of its own instead.
probe() {
  local status
  if [ -n "${E2E_PROBE_SERVER_PID:-}" ] && [[ "$*" != *$'\n'* ]]; then
    probe_served "$@"; status=$?
    [ "$status" -ne 200 ] && return "$status"
  fi
  timeout -k 5 60 wine "$E2E_PROBE" "$@" 2>/dev/null | tr -d '\r'
}
# The served answer, or status 200 when the server could not take the question.
probe_served() {
  (
    flock -n 9 || exit 200
    kill -0 "$E2E_PROBE_SERVER_PID" 2>/dev/null || exit 200
    printf '%s\x1f' "$@" >&"$E2E_PROBE_IN" 2>/dev/null || exit 200
    printf '\n' >&"$E2E_PROBE_IN" 2>/dev/null || exit 200
    local line part="" end=$((SECONDS + 60))
    while [ "$SECONDS" -lt "$end" ]; do
      if IFS= read -r -t 1 line <&"$E2E_PROBE_OUT"; then
        line=${part}${line%$'\r'}; part=""
        if [[ $line == $'\x1e'* ]]; then exit "${line#$'\x1e'}"; fi
        printf '%s\n' "$line"
      else
        part+=$line  # a timed-out read keeps what it read of the line
        kill -0 "$E2E_PROBE_SERVER_PID" 2>/dev/null || exit 5  # gone mid-question: unknown whether it acted
      fi
    done
    kill "$E2E_PROBE_SERVER_PID" 2>/dev/null  # no answer in time, as timeout would
    exit 124
  ) 9>"$E2E_DIR/probe-server.lock"
}
# Starts the probe server unless it runs (from the script's own shell, which keeps its
# pipes and its process id for every question after).
probe_server_start() {
  [ -n "${E2E_PROBE_SERVER_PID:-}" ] && kill -0 "$E2E_PROBE_SERVER_PID" 2>/dev/null && return 0
  local dir=$E2E_DIR/probe-server
  rm -rf "$dir"; mkdir -p "$dir"
  mkfifo "$dir/in" "$dir/out" || return 1
  wine "$E2E_PROBE" serve <"$dir/in" >"$dir/out" 2>/dev/null &
  E2E_PROBE_SERVER_PID=$!
  # Opened for reading and writing, so that neither open waits for the other side.
  exec {E2E_PROBE_IN}<>"$dir/in" {E2E_PROBE_OUT}<>"$dir/out"
}
host() { timeout -k 5 300 wine "$E2E_HOST" "$@" 2>/dev/null | tr -d '\r'; }

# The text of a control: probe text with class and index.
control_text() { probe text Quillomar "$1" "$2"; }
# The list line of the control with that exact text.
control_line() { probe list Quillomar | grep -F "text=\"$1\"" | head -1; }
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$2"; }
# Whether Connect, Disconnect, Start and Stop are enabled, as "1 0 0 0".
button_states() {
  local list b out=""
  list=$(probe list Quillomar)
  for b in Connect Disconnect Start Stop; do
    out+="$(grep -F "text=\"$b\"" <<<"$list" | head -1 | sed -n 's/.* enabled=\([01]\) .*/\1/p') "
  done
  echo "${out% }"
}
# The focuser position the window shows.
position_display() { probe list Quillomar | grep ' class=Static cindex=0 ' | head -1 | sed 's/.* text="//; s/"$//'; }
# RULE with each "@Member+K" replaced by the number of the Kth call of Member from now,
# as COUNTER Member counts the calls so far: rule_with_counts COUNTER RULE.
# The program's timer reads the position (Absolute, then Position) twice a second while
# the Control page is shown, and on no other page: a rule on those members is counted
# and written with another page shown, or a tick between counting and writing takes the
# call the rule names. A case that fails a tick shows the Control page as its trigger.
rule_with_counts() {
  local counter=$1 s=$2 n
  while [[ $s =~ @([A-Za-z]+)\+([0-9]+) ]]; do
    n=$(($("$counter" "${BASH_REMATCH[1]}") + BASH_REMATCH[2]))
    s=${s/"${BASH_REMATCH[0]}"/$n}
  done
  echo "$s"
}
sim_calls() { tr -d '\r' < "$E2E_DIR/sim/calls.log" 2>/dev/null; }
ini_text() { cat "$E2E_DIR/prog/autofocus.ini" 2>/dev/null; }

pass() { E2E_CHECKS=$((E2E_CHECKS + 1)); echo "  ok   $1"; }
fail() { E2E_CHECKS=$((E2E_CHECKS + 1)); E2E_FAILURES=$((E2E_FAILURES + 1)); echo "  FAIL $1"; }

expect_eq() {
  if [ "$2" == "$3" ]; then pass "$1"; else fail "$1: got [$2], expected [$3]"; fi
}
expect_match() {
  if grep -qE -- "$3" <<<"$2"; then pass "$1"; else fail "$1: [$2] does not match /$3/"; fi
}
expect_true() {
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

# Waits up to S seconds until CMD... succeeds.
wait_until() {
  local s=$1 i; shift
  for ((i = 0; i < s * 10; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# Closes (OK) every message box with the caption that shows within S seconds, as a user
# would, and counts them. Not for use inside $(...): it sets BOXES and BOX_TEXTS. When
# Probe.exe cannot look (any end but "done" or "no such box"), BOXES is "unknown" with
# the reason, which no count expected of it matches.
count_boxes() {
  local caption=$1 s=$2 end text status
  BOXES=0
  BOX_TEXTS=""
  end=$((SECONDS + s))
  while [ "$SECONDS" -lt "$end" ]; do
    text=$(probe msgbox "$caption" --ok --timeout 1 | sed -n 's/^text: //p')
    status=$?
    if [ "$status" != 0 ] && [ "$status" != 2 ]; then
      BOXES="unknown (Probe.exe msgbox ended with status $status after $BOXES boxes)"
      return 1
    fi
    if [ -n "$text" ]; then
      BOXES=$((BOXES + 1))
      BOX_TEXTS+="$text"$'\n'
    fi
  done
}
# How many message boxes the program shows at this moment; "unknown" (status 1) when
# Probe.exe cannot tell.
open_boxes() {
  local n
  n=$(probe boxes Quillomar | sed -n 's/^boxes: //p')
  if [[ $n =~ ^[0-9]+$ ]]; then echo "$n"; else echo unknown; return 1; fi
}
# Watches the program's message boxes for S seconds as a user who reads each box for
# HOLD seconds before pressing OK, and looks at every moment it can how many are open at
# once. Not for use inside $(...): it sets BOXES (how many were closed), BOX_TEXTS
# (their texts, one a line) and BOXES_MOST (the most seen open at once).
watch_boxes() {
  local caption=$1 s=$2 hold=$3 end n text
  BOXES=0
  BOX_TEXTS=""
  BOXES_MOST=0
  end=$((SECONDS + s))
  while [ "$SECONDS" -lt "$end" ]; do
    n=$(open_boxes) || { BOXES="unknown (Probe.exe could not count the open boxes)"; BOXES_MOST=$BOXES; return 1; }
    [ "$n" -gt "$BOXES_MOST" ] && BOXES_MOST=$n
    if [ "$n" -eq 0 ]; then
      sleep 0.1
      continue
    fi
    sleep "$hold"
    n=$(open_boxes) || { BOXES="unknown (Probe.exe could not count the open boxes)"; BOXES_MOST=$BOXES; return 1; }
    [ "$n" -gt "$BOXES_MOST" ] && BOXES_MOST=$n
    text=$(probe msgbox "$caption" --ok --timeout 2 | sed -n 's/^text: //p')
    if [ -n "$text" ]; then
      BOXES=$((BOXES + 1))
      BOX_TEXTS+="$text"$'\n'
    fi
  done
}
# The shell's "open" of an .htm file starts OpenRecorder.exe, which appends the path it
# was given to a record instead of showing the document. Registered in both registry
# views, so that 32- and 64-bit programs find it.
e2e_record_htm_open() {
  local recorder record command view
  recorder=$(qm_winpath "$QM_BUILD64/tools/open_recorder/OpenRecorder.exe")
  E2E_HTM_RECORD=$E2E_DIR/htm-opened.txt
  rm -f "$E2E_HTM_RECORD"
  record=$(qm_winpath "$E2E_HTM_RECORD")
  command="\"$recorder\" \"$record\" \"%1\""
  for view in 64 32; do
    wine reg add 'HKCR\.htm' /ve /d QmRecordedDocument /f /reg:$view >/dev/null 2>&1 &&
      wine reg add 'HKCR\QmRecordedDocument\shell\open\command' /ve /d "$command" /f /reg:$view >/dev/null 2>&1 ||
      { echo "e2e: cannot register the .htm recorder"; return 1; }
  done
}
e2e_htm_opened() { tr -d '\r' 2>/dev/null < "$E2E_HTM_RECORD"; }
# Waits up to S seconds until CMD... succeeds; when it does not, that is a failed check
# with its own message. Returns the wait's status, so a step that needs the state can
# stop: wait_for "the run started" 10 is_running || return 1
wait_for() {
  local what=$1 s=$2; shift 2
  wait_until "$s" "$@" && return 0
  fail "timed out after ${s}s waiting for $what"
  return 1
}

e2e_screenshot() { import -window root "$E2E_DIR/$1.png" 2>/dev/null || true; }

# Makes PATH refuse writes: a folder refuses new files (and renames into it) but lets its
# files be written, a file refuses to be written. The immutable flag does this even to
# root; where chattr is refused (no CAP_LINUX_IMMUTABLE, a file system without the flag)
# an unprivileged user gets the same from taking away the write permission. The refusal
# is tried before it is relied on: when neither way holds, the status is 1 and
# REFUSE_WRITES_WHY says why, for the caller to report as a failed check.
refuse_writes() {
  local path=$1 why
  REFUSE_WRITES_WHY=""
  if ! why=$(chattr +i "$path" 2>&1); then
    REFUSE_WRITES_WHY="chattr +i: ${why:-chattr not installed (e2fsprogs)}"
    chmod a-w "$path"
  fi
  if [ -d "$path" ]; then
    if (: > "$path/.refuse-writes-probe") 2>/dev/null; then
      rm -f "$path/.refuse-writes-probe"
      REFUSE_WRITES_WHY+="; without write permission the folder still takes new files (running as $(id -un))"
      allow_writes "$path"
      return 1
    fi
  elif (: >> "$path") 2>/dev/null; then
    REFUSE_WRITES_WHY+="; without write permission the file can still be written (running as $(id -un))"
    allow_writes "$path"
    return 1
  fi
  return 0
}
allow_writes() {
  chattr -i "$1" 2>/dev/null
  chmod u+w "$1" 2>/dev/null
  return 0
}

e2e_end() {
  local status=$?
  if [ -n "${E2E_APP_PID:-}" ] && kill -0 "$E2E_APP_PID" 2>/dev/null; then
    probe close Quillomar >/dev/null 2>&1
    sleep 1
    kill "$E2E_APP_PID" 2>/dev/null
  fi
  qm_stop_wine
  if [ "$E2E_FAILURES" -gt 0 ] || [ "$status" -ne 0 ]; then
    echo "== $E2E_NAME: FAILED ($E2E_FAILURES of $E2E_CHECKS checks failed)"
    [ -f "$E2E_DIR/sim/calls.log" ] && { echo "-- last simulator calls:"; tail -15 "$E2E_DIR/sim/calls.log"; }
    exit 1
  fi
  echo "== $E2E_NAME: passed ($E2E_CHECKS checks)"
  # A passed run needs no prefix for inspection; its logs stay.
  rm -rf "$E2E_DIR/prefix"
  exit 0
}

# fill_record N: makes the run record $jsonl (set by the script) a file of N runs
# "fill-1" .. "fill-N", each a copy of the last run line the program wrote there.
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
