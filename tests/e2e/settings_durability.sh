#!/usr/bin/env bash
# Durability of the settings file: SaveStress.exe saves "autofocus.ini" in a tight
# loop with the real settings component, alternating two complete contents A and B,
# and is killed at random moments; after every kill the file must hold exactly A or
# exactly B. Then: a read-only file and a file held open by another process without
# sharing keep their old content; where the directory refuses new files (immutable,
# or not writable by an unprivileged user) but the file may be written, the save
# writes it in place, and killed while doing so leaves a file that reads as A or as B;
# a replace keeps the hidden and system flags; and a save after
# all that still works. Temporary files left behind by a kill are counted, not
# forbidden: a process killed between creating its temporary file and renaming it
# cannot remove it.
#   QM_DURABILITY_KILLS=N   number of kills (default 30)
#   QM_DURABILITY_INPLACE_KILLS=N  number of kills while saving in place (default 12):
#                           the file must then read as A or B (SaveStress.exe reads)
# A case that cannot run here (no way to make the directory refuse new files, no user
# extended attributes, no way to become an unprivileged user) is a failed check that
# says why: a case that did not run never counts as passed.
# e2e: both-architectures
source "$(dirname "$0")/lib.sh"

E2E_NAME=settings_durability
if [ -z "${QM_E2E_INNER:-}" ]; then
  QM_E2E_INNER=1 exec timeout -k 10 600 "$QM_ROOT/scripts/xvfb_run" bash "$0" "$@"
fi
if [ "${QM_E2E_ARCH:-64}" = 32 ]; then build=$QM_BUILD32; else build=$QM_BUILD64; fi
dir=$QM_ROOT/build/e2e/$E2E_NAME${QM_E2E_ARCH:+-$QM_E2E_ARCH}
prog=$dir/prog
kills=${QM_DURABILITY_KILLS:-30}
inplace_kills=${QM_DURABILITY_INPLACE_KILLS:-12}
perm_user=qmdurability${QM_E2E_ARCH:-64}
perm_user_made=""
uprefix=""
allow_writes "$prog" 2>/dev/null; allow_writes "$prog/autofocus.ini" 2>/dev/null
rm -rf "$dir"
mkdir -p "$prog"
cp "$build/tools/save_stress/SaveStress.exe" "$prog/" || { echo "no SaveStress.exe in $build"; exit 1; }
qm_fresh_prefix "$dir/prefix"
E2E_APP_PID=""
E2E_DIR=$dir

# Ends the test user's Wine and removes the user.
perm_user_end() {
  [ -n "$perm_user_made" ] || return 0
  if [ -n "$uprefix" ] && [ -d "$uprefix" ]; then
    env -i PATH="$PATH" WINEPREFIX="$uprefix" setpriv --reuid="$perm_user" --regid="$perm_user" --clear-groups \
      sh -c 'wineserver -k; wineserver -w' >/dev/null 2>&1
  fi
  userdel "$perm_user" 2>/dev/null || echo "  could not remove the test user $perm_user"
  perm_user_made=""
}
durability_end() {
  local status=$?
  chattr -i "$prog" "$prog/autofocus.ini" 2>/dev/null
  chmod -R u+w "$prog" 2>/dev/null
  perm_user_end
  (exit $status)
  e2e_end
}
# A case that cannot run: a failed check with the reason.
cannot_run() { fail "cannot run: $1"; }
trap durability_end EXIT
echo "== $E2E_NAME (${QM_E2E_ARCH:-64}-bit)"

stress() { (cd "$prog" && exec timeout -k 5 60 wine SaveStress.exe "$@") 2>/dev/null | tr -d '\r'; }
# `wine X.exe` runs X in a process of its own beside the start.exe that bash started:
# the Unix process id of the SaveStress.exe doing MODE in PREFIX (default: this prefix).
stress_pid() {
  local pid
  for pid in $(pgrep -f "SaveStress.exe $1"); do
    grep -qxF "WINEPREFIX=${2:-$WINEPREFIX}" <<<"$(tr '\0' '\n' 2>/dev/null < "/proc/$pid/environ")" && { echo "$pid"; return 0; }
  done
  return 1
}
ended() { ! kill -0 "$1" 2>/dev/null; }
# The processes of this Wine prefix, one a line, for a report.
prefix_processes() {
  local p
  for p in /proc/[0-9]*; do
    grep -qxF "WINEPREFIX=$WINEPREFIX" <<<"$(tr '\0' '\n' 2>/dev/null < "$p/environ")" &&
      ps -o pid=,stat=,etime=,args= -p "${p#/proc/}" 2>/dev/null
  done
}
# What the last kill ended: "none", "process" or "Wine session".
last_kill=none
# Starts a SaveStress.exe loop in the background, sets stress to its starter's process
# id and waits for its first save. A Wine program takes a second or two to start, and
# after a kill of the whole Wine session a new session starts first, which takes 3 to
# 5 s on a computer busy with other runs. How soon the loop starts is not what is
# checked: the wait is long (90 s), and a start that took more than 10 s is said with
# its time, so that a slow start shows apart from one that never comes. A loop that ends,
# or does not get to its first save, is reported with what it printed, its starter's
# state and exit status, its errors, the prefix's processes and the load, and is not
# killed here.
start_loop() {
  local t0=$SECONDS starter processes
  # Emptied here, not only by the starter's redirection, which happens in the forked
  # shell a moment later: the first look must not find the last loop's "ready".
  : >"$dir/loop.out"
  (cd "$prog" && exec wine SaveStress.exe loop) >"$dir/loop.out" 2>"$dir/loop.err" &
  stress=$!
  saved_or_ended() { grep -q ready "$dir/loop.out" || ended "$stress"; }
  wait_until 90 saved_or_ended
  if grep -q ready "$dir/loop.out"; then
    ((SECONDS - t0 > 10)) && echo "  note: the save loop took $((SECONDS - t0)) s to its first save (last kill: $last_kill)"
    return 0
  fi
  if ended "$stress"; then
    wait "$stress"
    starter="has ended with status $?"
  else
    starter="still runs"
  fi
  echo "  note: SaveStress.exe loop printed [$(tr -d '\r' < "$dir/loop.out")] in $((SECONDS - t0)) s" \
    "(last kill: $last_kill); its starter $starter; its errors:"
  tail -5 "$dir/loop.err" | sed 's/^/    /'
  processes=$(prefix_processes)
  echo "    processes of the prefix:"
  sed 's/^/      /' <<<"$processes"
  echo "    load: $(cat /proc/loadavg)"
  return 1
}
# Waits up to 30 seconds for the starter STARTER_PID of a killed SaveStress.exe doing
# MODE (in PREFIX). One that does not end is reported with what is left of it and
# killed: a wait without bound would hang the whole test on a harness fault.
await_starter() {
  local pid
  if ! wait_until 30 ended "$1"; then
    echo "  note: the starter of SaveStress.exe $2 did not end; left running:"
    ps -o pid,stat,etime,args -p "$1" $(pgrep -f "SaveStress.exe $2") 2>/dev/null | sed 's/^/    /'
    for pid in $(stress_pid "$2" "${3:-}"); do kill -9 "$pid"; done
    kill -9 "$1" 2>/dev/null
  fi
  wait "$1" 2>/dev/null
}
# Kills the SaveStress.exe doing MODE (in PREFIX) with SIGKILL and waits for its starter,
# STARTER_PID. A process that cannot be found is said so.
kill_stress() {
  local pid
  if wait_until 10 stress_pid "$1" "${3:-}" >/dev/null; then
    pid=$(stress_pid "$1" "${3:-}") && kill -9 "$pid"
  else
    echo "  note: no SaveStress.exe $1 found to kill"
  fi
  await_starter "$2" "$1" "${3:-}"
}
# Temporary files beside the settings file in DIR (default: the program's directory).
temps() { find "${1:-$prog}" -maxdepth 1 -name 'autofocus.ini.*' | wc -l; }
# Which of the two contents the file in DIR holds: A, B, missing or torn (and a copy kept).
holds() {
  local file=${1:-$prog}/autofocus.ini
  if [ ! -f "$file" ]; then echo missing
  elif cmp -s "$file" "$dir/expected-A"; then echo A
  elif cmp -s "$file" "$dir/expected-B"; then echo B
  else cp "$file" "$dir/torn-$(date +%s%N)"; echo torn
  fi
}

# The two contents as the component writes them, through the real file operations.
stress save B >/dev/null
expect_eq "save B writes B" "$?" 0
cp "$prog/autofocus.ini" "$dir/expected-B"
stress save A >/dev/null
expect_eq "save A writes A" "$?" 0
cp "$prog/autofocus.ini" "$dir/expected-A"
expect_true "A and B are a few kilobytes and differ" \
  test "$(stat -c %s "$dir/expected-A")" -gt 4000 -a "$(stat -c %s "$dir/expected-B")" -gt 4000 \
  -a "$(cmp -s "$dir/expected-A" "$dir/expected-B"; echo $?)" = 1
expect_eq "a completed loop leaves no temporary file" "$(stress loop 200 | tail -1) $(temps)" "saved 200 0"

# 1. Killed at random moments while saving.
seen_a=0; seen_b=0; bad=0; server_kills=0
for ((k = 1; k <= kills; k++)); do
  if ! start_loop; then
    fail "kill $k: the save loop did not start"; kill_stress loop "$stress"; stress=""; continue
  fi
  sleep "0.$(printf '%03d' $((RANDOM % 400)))"
  # Mostly the process itself; every fifth time the whole Wine session, which is gone
  # once its server has ended: the next start then makes a new session, never meets the
  # old one's server on its way out.
  if ((k % 5 == 0)); then
    wineserver -k 2>/dev/null; await_starter "$stress" loop; server_kills=$((server_kills + 1))
    timeout -k 5 30 wineserver -w 2>/dev/null || echo "  note: the killed Wine session's server did not end in 30 s"
    last_kill="Wine session"
  else
    kill_stress loop "$stress"
    last_kill=process
  fi
  stress=""
  case $(holds) in
    A) seen_a=$((seen_a + 1)) ;;
    B) seen_b=$((seen_b + 1)) ;;
    *) bad=$((bad + 1)); echo "  kill $k: the file is neither A nor B" ;;
  esac
done
left=$(temps)
echo "  $kills kills ($server_kills of the whole Wine session): A $seen_a times, B $seen_b times, $left temporary files left"
expect_eq "after every kill the file is exactly A or exactly B" "$bad" 0
expect_true "kills caught both contents" test "$seen_a" -gt 0 -a "$seen_b" -gt 0
expect_true "at most one temporary file per kill" test "$left" -le "$kills"

# The next save that writes clears what killed saves left behind (an unchanged text is
# not written at all).
if [ "$(holds)" = A ]; then next=B; else next=A; fi
stress save $next >/dev/null
expect_eq "a save after the kills writes $next" "$?" 0
expect_eq "the next save removes the leftover temporary files" "$(temps)" 0
stress loop 20 >/dev/null
expect_eq "a completed loop adds no temporary file" "$(temps)" 0
find "$prog" -maxdepth 1 -name 'autofocus.ini.*' -delete

# 2. A read-only file keeps its content and leaves nothing behind.
stress save A >/dev/null
chmod 444 "$prog/autofocus.ini"
stress save B >/dev/null
expect_eq "read-only file: save fails" "$?" 2
expect_eq "read-only file: still A" "$(holds)" A
expect_eq "read-only file: no temporary file" "$(temps)" 0
chmod 644 "$prog/autofocus.ini"

# 3. An immutable directory refuses new files even to root but lets its files be
#    written: the save writes the file in place. An immutable file as well stops it.
stress save A >/dev/null
if ! refuse_writes "$prog"; then
  cannot_run "immutable directory: the directory could not be made to refuse new files ($REFUSE_WRITES_WHY)"
else
  inode=$(stat -c %i "$prog/autofocus.ini")
  stress save B >/dev/null
  expect_eq "immutable directory: save writes the file in place" \
    "$? $(holds) $(stat -c %i "$prog/autofocus.ini")" "0 B $inode"
  expect_eq "immutable directory: no temporary file" "$(temps)" 0
  if refuse_writes "$prog/autofocus.ini"; then
    stress save A >/dev/null
    rc=$?
    allow_writes "$prog/autofocus.ini"
    expect_eq "immutable directory and file: save fails, still B" "$rc $(holds)" "2 B"
  else
    fail "immutable directory: the file in it could not be made to refuse writes ($REFUSE_WRITES_WHY)"
  fi
  # Killed at random moments while saving in place: the file may still hold more than
  # one content, but it must read as A or as B, never a mix.
  exact=0; reads_only=0; mixed=0
  for ((k = 1; k <= inplace_kills; k++)); do
    if ! start_loop; then
      fail "in-place kill $k: the save loop did not start"; kill_stress loop "$stress"; continue
    fi
    sleep "0.$(printf '%03d' $((RANDOM % 400)))"
    kill_stress loop "$stress"
    last_kill=process
    case "$(holds) $(stress reads)" in
      A\ A | B\ B) exact=$((exact + 1)) ;;
      *\ A | *\ B) reads_only=$((reads_only + 1)) ;;
      *) mixed=$((mixed + 1)); echo "  in-place kill $k: the file reads as neither A nor B" ;;
    esac
  done
  echo "  $inplace_kills in-place kills: exactly A or B $exact times, reading as A or B with more behind $reads_only times"
  expect_eq "immutable directory: after every kill the file reads as A or as B" "$mixed" 0
  expect_eq "immutable directory: no temporary file after the kills" "$(temps)" 0
  # A save writes only a text that reads differently from the file's, and a kill before
  # the switch leaves the new text staged behind a NUL, where it never reads: the file
  # may read as A with such a tail, and a save of A then rightly writes nothing. After a
  # save of B the file reads as B (as the kill left it, or written exactly), so the save
  # of A that follows always writes, whatever the last kill left.
  stress save B >/dev/null
  stress save A >/dev/null
  expect_eq "immutable directory: saves of B and then of A after the kills leave exactly A" "$?" 0
  allow_writes "$prog"
fi
stress save A >/dev/null

# 4. The user's hidden and system flags survive a save that replaces the file. Wine
#    keeps them in an extended attribute (user.DOSATTRIB) and shows the archive flag
#    on every file, so the archive flag cannot be told apart here.
flags() { (cd "$prog" && wine attrib autofocus.ini) 2>/dev/null | tr -d '\r' | sed 's/[A-Za-z]:\\.*//' | grep -o '[A-Z]' | sort | tr -d '\n'; }
if ! python3 -c 'import os, sys; os.setxattr(sys.argv[1], "user.qm_probe", b"1")' "$prog/SaveStress.exe" 2>/dev/null; then
  cannot_run "hidden and system flags: this file system keeps no user extended attributes, where Wine stores them"
else
  (cd "$prog" && wine attrib +h autofocus.ini && wine attrib +s autofocus.ini) >/dev/null 2>&1
  expect_eq "flags: set on the file" "$(flags)" AHS
  inode=$(stat -c %i "$prog/autofocus.ini")
  stress save B >/dev/null
  expect_eq "flags: save replaces the file" "$? $(holds) $([ "$(stat -c %i "$prog/autofocus.ini")" != "$inode" ] && echo replaced)" "0 B replaced"
  expect_eq "flags: hidden and system kept" "$(flags)" AHS
  (cd "$prog" && wine attrib -h autofocus.ini && wine attrib -s autofocus.ini) >/dev/null 2>&1
  stress save A >/dev/null
fi

# 5. A file held open by another process without sharing.
# The holder keeps the file until this script ends it, however slowly the save starts.
(cd "$prog" && exec wine SaveStress.exe hold 600) >"$dir/hold.out" 2>/dev/null &
holder=$!
if wait_until 90 grep -q holding "$dir/hold.out"; then
  # While it is held the file cannot even be read back (exit 3); its content is checked after.
  (cd "$prog" && exec timeout -k 5 60 wine SaveStress.exe save B) >"$dir/held-save.out" 2>"$dir/held-save.err"
  rc=$?
  expect_eq "locked file: save fails, file unreadable while held" "$rc" 3
  # Any other end is shown with what the save and Wine printed, to tell a failed start
  # from the save's own answer.
  [ "$rc" = 3 ] || tail -n 20 "$dir/held-save.out" "$dir/held-save.err" | tr -d '\r' | sed 's/^/      /'
  kill_stress hold "$holder"; holder=""
  expect_eq "locked file: still A" "$(holds)" A
  expect_eq "locked file: no temporary file" "$(temps)" 0
else
  fail "the holder could not open the file: $(tr -d '\r' < "$dir/hold.out")"
fi

# 6. Permissions, which do not stop root: as an unprivileged user made for this test
#    (and removed at the end), with a Wine prefix of its own, since Wine refuses a
#    prefix that belongs to another user. Each row starts from content A written by
#    root, sets owners and modes, and has the user save B.
perm_cases() {
  local uprog=$dir/userprog uhome=$dir/userhome
  uprefix=$dir/userprefix
  mkdir -p "$uprog" "$uhome"
  cp "$prog/SaveStress.exe" "$uprog/"
  qm_clone_prefix "$(qm_base_prefix)" "$uprefix" || { fail "no Wine prefix for the test user"; return; }
  # Debian's Wine notes the server directory of the prefix's owner in the prefix.
  rm -f "$uprefix/wineserver"
  # Everything but the system files that the clone shares with its source by hard links.
  find "$uprefix" \( -type d -o -links 1 \) -exec chown -h "$perm_user:$perm_user" {} +
  chown "$perm_user:$perm_user" "$uhome"

  as_user() {
    (cd "$uprog" && exec env -i PATH="$PATH" HOME="$uhome" WINEPREFIX="$uprefix" WINEDEBUG=-all \
      WINEDLLOVERRIDES="$WINEDLLOVERRIDES" WINEARCH="$WINEARCH" \
      setpriv --reuid="$perm_user" --regid="$perm_user" --clear-groups "$@")
  }
  ustress() { as_user timeout -k 5 60 wine SaveStress.exe "$@" 2>/dev/null | tr -d '\r'; }
  # Content A, owned and with modes as given: DIR_OWNER DIR_MODE FILE_OWNER FILE_MODE.
  prepare() {
    chown root:root "$uprog"; chmod 755 "$uprog"
    find "$uprog" -maxdepth 1 -name 'autofocus.ini*' -delete
    cp "$dir/expected-A" "$uprog/autofocus.ini"
    chown "$3:$3" "$uprog/autofocus.ini"; chmod "$4" "$uprog/autofocus.ini"
    chown "$1:$1" "$uprog"; chmod "$2" "$uprog"
  }

  prepare "$perm_user" 755 "$perm_user" 644
  if ! as_user test -r "$uprog/SaveStress.exe" -a -x "$(command -v wine)"; then
    cannot_run "permission cases: the test user cannot reach $uprog or Wine (a directory above is closed to others)"
    return
  fi
  ustress save B >"$dir/user-first.out"
  if [ "$?" != 0 ] || [ "$(holds "$uprog")" != B ]; then
    fail "the test user cannot save with Wine at all: $(head -3 "$dir/user-first.out")"
    return
  fi

  local u=$perm_user row what downer dmode fowner fmode expected inode rc after
  # what | directory owner, mode | file owner, mode | expected: exit status, content, how
  local rows=(
    "writable directory and file|$u 755|$u 644|0 B replaced"
    "directory refuses new files, file writable|root 755|$u 644|0 B in-place"
    "own directory without write permission, file writable|$u 555|$u 644|0 B in-place"
    # The user's own directory lets the user replace a file there that the user cannot
    # write, as on Windows, where full control of a folder allows it; only the
    # read-only flag keeps the file.
    "file not writable by the user, in the user's writable directory|$u 755|root 644|0 B replaced"
    "neither directory nor file writable|root 755|root 644|2 A kept"
    "read-only file in a writable directory|$u 755|$u 444|2 A kept"
    "read-only file in a directory that refuses new files|root 755|$u 444|2 A kept"
  )
  for row in "${rows[@]}"; do
    IFS='|' read -r what dirspec filespec expected <<<"$row"
    read -r downer dmode <<<"$dirspec"; read -r fowner fmode <<<"$filespec"
    prepare "$downer" "$dmode" "$fowner" "$fmode"
    inode=$(stat -c %i "$uprog/autofocus.ini")
    ustress save B >/dev/null
    rc=$?
    after=$(stat -c %i "$uprog/autofocus.ini" 2>/dev/null)
    if [ "$after" != "$inode" ]; then how=replaced
    elif [ "$rc" = 0 ]; then how=in-place
    else how=kept
    fi
    expect_eq "as user: $what" "$rc $(holds "$uprog") $how" "$expected"
    expect_eq "as user: $what: no temporary file" "$(temps "$uprog")" 0
  done

  # Held open without sharing by another process of the user, in a directory that
  # refuses new files: the in-place write is refused too.
  prepare root 755 "$perm_user" 644
  as_user wine SaveStress.exe hold 600 >"$dir/user-hold.out" 2>/dev/null &
  local holder=$!
  if wait_until 90 grep -q holding "$dir/user-hold.out"; then
    ustress save B >/dev/null
    expect_eq "as user: locked file in a directory that refuses new files: save fails" "$?" 3
    kill_stress hold "$holder" "$uprefix"
    expect_eq "as user: locked file: still A, no temporary file" "$(holds "$uprog") $(temps "$uprog")" "A 0"
  else
    fail "as user: the holder could not open the file: $(tr -d '\r' < "$dir/user-hold.out")"
    kill_stress hold "$holder" "$uprefix"
  fi
}
if [ "$(id -u)" != 0 ]; then
  cannot_run "permission cases: making the unprivileged test user needs root (running as $(id -un))"
elif ! command -v useradd >/dev/null || ! command -v userdel >/dev/null || ! command -v setpriv >/dev/null; then
  cannot_run "permission cases: useradd, userdel or setpriv is not installed"
else
  userdel "$perm_user" >/dev/null 2>&1
  if ! useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin --user-group \
      "$perm_user" 2>"$dir/useradd.err"; then
    cannot_run "permission cases: the test user could not be made: $(head -1 "$dir/useradd.err")"
  else
    perm_user_made=1
    perm_cases
  fi
fi

# 7. Once free again, saving works.
stress save B >/dev/null
expect_eq "save after all that writes B" "$?" 0
expect_eq "file is B" "$(holds)" B
