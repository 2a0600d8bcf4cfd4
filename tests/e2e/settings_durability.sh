#!/usr/bin/env bash
# Durability of the settings file: SaveStress.exe saves "autofocus.ini" in a tight
# loop with the real settings component, alternating two complete contents A and B,
# and is killed at random moments; after every kill the file must hold exactly A or
# exactly B. Then: a read-only file, a read-only directory and a file held open by
# another process without sharing keep their old content, and a save after all that
# still works. Temporary files left behind by a kill are counted, not forbidden: a
# process killed between creating its temporary file and renaming it cannot remove it.
#   QM_DURABILITY_KILLS=N   number of kills (default 30)
# e2e: both-architectures
source "$(dirname "$0")/lib.sh"

E2E_NAME=settings_durability
if [ -z "${QM_E2E_INNER:-}" ]; then
  QM_E2E_INNER=1 exec timeout -k 10 300 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$0" "$@"
fi
if [ "${QM_E2E_ARCH:-64}" = 32 ]; then build=$QM_BUILD32; else build=$QM_BUILD64; fi
dir=$QM_ROOT/build/e2e/$E2E_NAME${QM_E2E_ARCH:+-$QM_E2E_ARCH}
prog=$dir/prog
kills=${QM_DURABILITY_KILLS:-30}
chattr -i "$prog" 2>/dev/null
rm -rf "$dir"
mkdir -p "$prog"
cp "$build/tools/save_stress/SaveStress.exe" "$prog/" || { echo "no SaveStress.exe in $build"; exit 1; }
qm_fresh_prefix "$dir/prefix"
E2E_APP_PID=""
E2E_DIR=$dir

durability_end() {
  local status=$?
  chattr -i "$prog" 2>/dev/null
  chmod -R u+w "$prog" 2>/dev/null
  (exit $status)
  e2e_end
}
trap durability_end EXIT
echo "== $E2E_NAME (${QM_E2E_ARCH:-64}-bit)"

stress() { (cd "$prog" && exec timeout -k 5 60 wine SaveStress.exe "$@") 2>/dev/null | tr -d '\r'; }
# `wine X.exe` runs X in a process of its own beside the start.exe that bash started:
# the Unix process id of the SaveStress.exe doing MODE in this prefix.
stress_pid() {
  local pid
  for pid in $(pgrep -f "SaveStress.exe $1"); do
    tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && { echo "$pid"; return 0; }
  done
  return 1
}
# Kills the SaveStress.exe doing MODE with SIGKILL and waits for its starter to end.
kill_stress() {
  local pid
  pid=$(stress_pid "$1") && kill -9 "$pid"
  wait "$2" 2>/dev/null
}
temps() { find "$prog" -maxdepth 1 -name 'autofocus.ini.*' | wc -l; }
# Which of the two contents the file holds: A, B, missing or torn (and a copy kept).
holds() {
  if [ ! -f "$prog/autofocus.ini" ]; then echo missing
  elif cmp -s "$prog/autofocus.ini" "$dir/expected-A"; then echo A
  elif cmp -s "$prog/autofocus.ini" "$dir/expected-B"; then echo B
  else cp "$prog/autofocus.ini" "$dir/torn-$(date +%s%N)"; echo torn
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
  (cd "$prog" && exec wine SaveStress.exe loop) >"$dir/loop.out" 2>/dev/null &
  stress=$!
  if ! wait_until 20 grep -q ready "$dir/loop.out"; then
    fail "kill $k: the save loop did not start"; kill_stress loop "$stress"; stress=""; continue
  fi
  sleep "0.$(printf '%03d' $((RANDOM % 400)))"
  # Mostly the process itself; every fifth time the whole Wine session.
  if ((k % 5 == 0)); then
    wineserver -k 2>/dev/null; wait "$stress" 2>/dev/null; server_kills=$((server_kills + 1))
  else
    kill_stress loop "$stress"
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

# 3. A read-only directory. Unix permissions do not stop root, so as root they show
#    only what Wine itself makes of them; an immutable directory stops everyone.
chmod 555 "$prog"
stress save B >/dev/null
rc=$?
chmod 755 "$prog"
if [ "$(id -u)" = 0 ]; then
  echo "  info: as root, a save into a directory with mode 555 $([ $rc = 0 ] && echo succeeds || echo fails) (Wine does not refuse it itself)"
  stress save A >/dev/null
else
  expect_eq "read-only directory: save fails" "$rc" 2
  expect_eq "read-only directory: still A" "$(holds)" A
fi
if chattr +i "$prog" 2>/dev/null; then
  stress save B >/dev/null
  rc=$?
  chattr -i "$prog"
  expect_eq "immutable directory: save fails" "$rc" 2
  expect_eq "immutable directory: still A" "$(holds)" A
  expect_eq "immutable directory: no temporary file" "$(temps)" 0
else
  echo "  info: chattr +i is not available here; immutable directory not checked"
fi

# 4. A file held open by another process without sharing.
(cd "$prog" && exec wine SaveStress.exe hold 30) >"$dir/hold.out" 2>/dev/null &
holder=$!
if wait_until 20 grep -q holding "$dir/hold.out"; then
  # While it is held the file cannot even be read back (exit 3); its content is checked after.
  stress save B >/dev/null
  expect_eq "locked file: save fails, file unreadable while held" "$?" 3
  kill_stress hold "$holder"; holder=""
  expect_eq "locked file: still A" "$(holds)" A
  expect_eq "locked file: no temporary file" "$(temps)" 0
else
  fail "the holder could not open the file: $(tr -d '\r' < "$dir/hold.out")"
fi

# 5. Once free again, saving works.
stress save B >/dev/null
expect_eq "save after all that writes B" "$?" 0
expect_eq "file is B" "$(holds)" B
