#!/usr/bin/env bash
# Start-up time: StartTimer.exe starts Quillomar.exe (with a parameter, so that it stays
# open) and MinimalWindow.exe in turn, ROUNDS times each, under one Xvfb display and one
# Wine prefix, and times each from process creation to a visible window ("shown") and
# on to the end of the process after WM_CLOSE ("exit"), and then both started without a
# parameter, when each closes itself at once ("exit" only); medians and ratios to the
# minimal program (and the pair ratios against the window program that also loads COM,
# the common controls and the fonts the program needs), with the spread of the rounds' ratios, and the memory of each when
# shown (working set, and PagefileUsage: under Wine the process's anonymous resident
# memory, RssAnon; bench/idle shows the two side by side). Exits 1 with an "error:"
# line when a start did not end or a median is missing.
# Then the sizes of both executables, as built (RelWithDebInfo, with debugging
# information) and stripped, for the 64- and 32-bit builds.
#   bench/startup/run.sh [ROUNDS]      (default 15)
# Environment: QM_BUILD64, QM_BUILD32 (default build/win64, build/win32).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ "${1:-}" != "--inner" ]; then
  exec timeout -k 10 900 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" --inner "$@"
fi
shift
rounds=${1:-15}
source "$root/scripts/wine_env.sh"
b64=${QM_BUILD64:-$root/build/win64}
b32=${QM_BUILD32:-$root/build/win32}
dir=$root/build/bench/startup
rm -rf "$dir"; mkdir -p "$dir/prog"
cp "$b64/Quillomar.exe" "$b64/bench/startup/MinimalWindow.exe" "$b64/bench/startup/RuntimeWindow.exe" "$dir/prog/"
qm_fresh_prefix "$dir/prefix"
trap 'qm_stop_wine; rm -rf "$dir/prefix"' EXIT
prog=$(qm_winpath "$dir/prog")
echo "start-up, 64-bit, $rounds rounds (each program started once more before, untimed)"
failed=0
# timer OUT COMMANDLINE...: StartTimer's figures into OUT (and on screen).
timer() {
  local out=$1; shift
  (cd "$dir/prog" && timeout -k 5 600 wine "$b64/bench/startup/StartTimer.exe" "$rounds" "$@") 2>/dev/null \
    | tr -d '\r' > "$out"
  local status=${PIPESTATUS[0]}
  grep -E '^(median|rounds|pair|memory|error)' "$out"
  [ "$status" = 0 ] || { echo "error: StartTimer.exe ended with $status (a start did not end)"; failed=1; }
}
echo "1. kept open until shown, then sent WM_CLOSE:"
timer "$dir/open.txt" "$prog\\MinimalWindow.exe stay" "$prog\\RuntimeWindow.exe stay" "$prog\\Quillomar.exe 1"
echo "2. started without a parameter: each closes itself once shown (exit only; shown when a poll caught it):"
timer "$dir/self.txt" "$prog\\MinimalWindow.exe" "$prog\\RuntimeWindow.exe" "$prog\\Quillomar.exe"
qm_stop_wine
# One summary line from the medians; none when a figure is missing.
summary() {
  local file=$1 what=$2 figure=$3 label=$4 q m r spread
  q=$(sed -n "s/^median Quillomar.exe.* $what *\([0-9.]*\) ms.*/\1/p" "$file")
  m=$(sed -n "s/^median MinimalWindow.exe.* $what *\([0-9.]*\) ms.*/\1/p" "$file")
  spread=$(sed -n "s/^rounds Quillomar.exe.*ratio $what \([0-9.]*-[0-9.]*\).*/\1/p" "$file")
  if [ -z "$q" ] || [ -z "$m" ] || [ -z "$spread" ] || [ "$q" = 0.0 ] || [ "$m" = 0.0 ]; then
    echo "error: no $what figure for $label"; failed=1; return
  fi
  r=$(awk -v q="$q" -v m="$m" 'BEGIN { printf "%.2f", q / m }')
  printf 'summary:\t%s\t%s ms\tminimal Win32 window program%s, %s ms\t%s\trounds %s\n' "$figure" "$q" "$label" "$m" "$r" "$spread"
}
summary "$dir/open.txt" shown "start-up, process start to window shown" ""
summary "$dir/self.txt" exit "start-up, no parameter: start, show, close itself, exit" " doing the same"
mq=$(sed -n 's/^memory Quillomar.exe 1 .*pagefile usage *\([0-9]*\) KB.*/\1/p' "$dir/open.txt")
mm=$(sed -n 's/^memory MinimalWindow.exe stay .*pagefile usage *\([0-9]*\) KB.*/\1/p' "$dir/open.txt")
wq=$(sed -n 's/^memory Quillomar.exe 1 .*working set *\([0-9]*\) KB.*/\1/p' "$dir/open.txt")
wm=$(sed -n 's/^memory MinimalWindow.exe stay .*working set *\([0-9]*\) KB.*/\1/p' "$dir/open.txt")
if [ -n "$mq" ] && [ -n "$mm" ] && [ -n "$wq" ] && [ -n "$wm" ] && [ "$mm" != 0 ] && [ "$wm" != 0 ]; then
  printf 'summary:\tmemory when shown: anonymous resident (working set)\t%s KB (%s KB)\tminimal window program, %s KB (%s KB)\t%s (%s)\tPagefileUsage = RssAnon under Wine\n' \
    "$mq" "$wq" "$mm" "$wm" "$(awk -v a="$mq" -v b="$mm" 'BEGIN { printf "%.2f", a / b }')" "$(awk -v a="$wq" -v b="$wm" 'BEGIN { printf "%.2f", a / b }')"
else
  echo "error: no memory figures"; failed=1
fi

echo "executable sizes in bytes (as built / stripped):"
for arch in 64 32; do
  if [ $arch = 64 ]; then b=$b64 strip=x86_64-w64-mingw32-strip; else b=$b32 strip=i686-w64-mingw32-strip; fi
  [ -f "$b/Quillomar.exe" ] && [ -f "$b/bench/startup/MinimalWindow.exe" ] || { echo "error: $arch-bit: not built"; failed=1; continue; }
  for exe in Quillomar.exe bench/startup/MinimalWindow.exe bench/startup/RuntimeWindow.exe; do
    "$strip" -o "$dir/stripped.exe" "$b/$exe"
    printf '  %s-bit %-18s %9d / %8d\n' "$arch" "$(basename "$exe")" "$(stat -c %s "$b/$exe")" "$(stat -c %s "$dir/stripped.exe")"
  done
  q=$("$strip" -o "$dir/q.exe" "$b/Quillomar.exe" && stat -c %s "$dir/q.exe")
  m=$("$strip" -o "$dir/m.exe" "$b/bench/startup/MinimalWindow.exe" && stat -c %s "$dir/m.exe")
  echo "  $arch-bit stripped ratio Quillomar / MinimalWindow: $(awk -v q="$q" -v m="$m" 'BEGIN { printf "%.1f", q / m }')"
  printf 'summary:\texecutable size, %s-bit, stripped\t%s KB\tminimal window program, %s KB\t%s\t\n' "$arch" \
    "$(awk -v q="$q" 'BEGIN { printf "%.0f", q / 1024 }')" "$(awk -v m="$m" 'BEGIN { printf "%.1f", m / 1024 }')" \
    "$(awk -v q="$q" -v m="$m" 'BEGIN { printf "%.0f", q / m }')"
done
[ $failed = 0 ] || { echo "error: start-up figures missing (see above)"; exit 1; }
