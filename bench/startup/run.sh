#!/usr/bin/env bash
# Start-up time: StartTimer.exe starts MinimalWindow.exe, RuntimeWindow.exe (the same
# plus the runtime the program must load) and Quillomar.exe (with a parameter, so that
# it stays open) in turn, for the 64- and then the 32-bit builds, ROUNDS times each, under one Xvfb display and one
# Wine prefix, and times each from process creation to a visible window ("shown") and
# on to the end of the process after WM_CLOSE ("exit"), and then both started without a
# parameter, when each closes itself at once ("exit" only); medians and ratios to the
# minimal program, ratios round by round against both baselines, and the memory of each when shown (working set, private bytes).
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
rm -rf "$dir"; mkdir -p "$dir/prog64" "$dir/prog32"
for arch in 64 32; do
  if [ $arch = 64 ]; then b=$b64; else b=$b32; fi
  [ -f "$b/Quillomar.exe" ] && [ -f "$b/bench/startup/RuntimeWindow.exe" ] || continue
  cp "$b/Quillomar.exe" "$b/bench/startup/MinimalWindow.exe" "$b/bench/startup/RuntimeWindow.exe" "$dir/prog$arch/"
done
qm_fresh_prefix "$dir/prefix"
trap 'qm_stop_wine; rm -rf "$dir/prefix"' EXIT
timer() { (cd "$dir/prog$arch" && timeout -k 5 600 wine "$b64/bench/startup/StartTimer.exe" "$rounds" "$@") 2>/dev/null \
  | tr -d '\r' | grep -E '^(median|memory|rounds|error)'; }
for arch in 64 32; do
  [ -f "$dir/prog$arch/Quillomar.exe" ] || { echo "start-up, $arch-bit: not built"; continue; }
  prog=$(qm_winpath "$dir/prog$arch")
  echo "start-up, $arch-bit, $rounds rounds (each program started once more before, untimed)"
  echo "1. kept open until shown, then sent WM_CLOSE:"
  timer "$prog\\MinimalWindow.exe stay" "$prog\\RuntimeWindow.exe stay" "$prog\\Quillomar.exe 1"
  echo "2. started without a parameter: each closes itself once shown (exit only; shown when a poll caught it):"
  timer "$prog\\MinimalWindow.exe" "$prog\\RuntimeWindow.exe" "$prog\\Quillomar.exe"
done
qm_stop_wine

echo "executable sizes in bytes (as built / stripped):"
for arch in 64 32; do
  if [ $arch = 64 ]; then b=$b64 strip=x86_64-w64-mingw32-strip; else b=$b32 strip=i686-w64-mingw32-strip; fi
  [ -f "$b/Quillomar.exe" ] && [ -f "$b/bench/startup/MinimalWindow.exe" ] || { echo "  $arch-bit: not built"; continue; }
  for exe in Quillomar.exe bench/startup/MinimalWindow.exe bench/startup/RuntimeWindow.exe; do
    "$strip" -o "$dir/stripped.exe" "$b/$exe"
    printf '  %s-bit %-18s %9d / %8d\n' "$arch" "$(basename "$exe")" "$(stat -c %s "$b/$exe")" "$(stat -c %s "$dir/stripped.exe")"
  done
  q=$("$strip" -o "$dir/q.exe" "$b/Quillomar.exe" && stat -c %s "$dir/q.exe")
  m=$("$strip" -o "$dir/m.exe" "$b/bench/startup/MinimalWindow.exe" && stat -c %s "$dir/m.exe")
  echo "  $arch-bit stripped ratio Quillomar / MinimalWindow: $(awk -v q="$q" -v m="$m" 'BEGIN { printf "%.1f", q / m }')"
done
