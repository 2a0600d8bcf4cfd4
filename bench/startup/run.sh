#!/usr/bin/env bash
# Start-up time, 64- and then 32-bit. StartTimer.exe starts Quillomar.exe (with a
# parameter, so that it stays open), MinimalWindow.exe (the least a window program does)
# and RuntimeWindow.exe (the same, plus the runtime the program must load: COM, the
# common controls of its manifest, its fonts) in turn, ROUNDS times each, under one Xvfb
# display and one Wine prefix, and times each from process creation to a visible window
# ("shown") and on to the end of the process after WM_CLOSE ("exit"); then all three
# started without a parameter, when each closes itself at once ("exit" only). Printed:
# medians, the median of the per-round ratios of Quillomar to each baseline with their
# spread, and the memory of each when shown (working set, and PagefileUsage: under Wine
# the process's anonymous resident memory, RssAnon; bench/idle shows the two side by
# side). Then the sizes of all three executables, as built (RelWithDebInfo, with
# debugging information) and stripped. Exits 1 with an "error:" line when a start did
# not end or a figure is missing.
#   bench/startup/run.sh [ROUNDS]      (default 15)
# Environment: QM_BUILD64, QM_BUILD32 (default build/win64, build/win32).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ "${1:-}" != "--inner" ]; then
  exec timeout -k 10 1500 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" --inner "$@"
fi
shift
rounds=${1:-15}
source "$root/scripts/wine_env.sh"
b64=${QM_BUILD64:-$root/build/win64}
b32=${QM_BUILD32:-$root/build/win32}
dir=$root/build/bench/startup
rm -rf "$dir"; mkdir -p "$dir"
qm_fresh_prefix "$dir/prefix"
trap 'qm_stop_wine; rm -rf "$dir/prefix"' EXIT
failed=0
# timer ARCH OUT COMMANDLINE...: StartTimer's figures into OUT (and on screen).
timer() {
  local b=$1 out=$2; shift 2
  (cd "$dir/prog$arch" && timeout -k 5 600 wine "$b/bench/startup/StartTimer.exe" "$rounds" "$@") 2>/dev/null \
    | tr -d '\r' > "$out"
  local status=${PIPESTATUS[0]}
  grep -E '^(median|rounds|pair|memory|error)' "$out"
  [ "$status" = 0 ] || { echo "error: StartTimer.exe ended with $status (a start did not end)"; failed=1; }
}
# pair_summary FILE OPEN WHAT FIGURE BASELINE-NAME TARGET: a summary line from the median of
# the per-round ratios of Quillomar to one baseline ("pair" line), with both medians. OPEN
# is 1 for the programs kept open (started with a parameter), 0 for those closing themselves.
pair_summary() {
  local file=$1 open=$2 what=$3 figure=$4 base=$5 target=$6 mode="" bmode="" q m line r spread
  [ "$open" = 1 ] && mode=" 1" bmode=" stay"
  q=$(sed -n "s/^median Quillomar.exe$mode .* $what *\([0-9.]*\) ms.*/\1/p" "$file")
  m=$(sed -n "s/^median $base$bmode .* $what *\([0-9.]*\) ms.*/\1/p" "$file")
  line=$(grep -E "^pair Quillomar.exe$mode +/ $base" "$file")
  if [ "$what" = shown ]; then
    r=$(sed -n 's/.* shown  *\([0-9.]*\) (.*/\1/p' <<<"$line"); spread=$(sed -n 's/.* shown  *[0-9.]* (\([0-9.]*-[0-9.]*\),.*/\1/p' <<<"$line")
  else
    r=$(sed -n 's/.* exit  *\([0-9.]*\)$/\1/p' <<<"$line"); spread=$(sed -n "s/^rounds Quillomar.exe$mode .*ratio exit \([0-9.]*-[0-9.]*\).*/\1/p" "$file")
  fi
  if [ -z "$q" ] || [ -z "$m" ] || [ -z "$r" ] || [ -z "$spread" ] || [ "$q" = 0.0 ] || [ "$m" = 0.0 ]; then
    echo "error: no $what figure against $base ($figure)"; failed=1; return
  fi
  if [ "$base" = MinimalWindow.exe ]; then base="minimal Win32 window program"; else base="window program loading the same runtime"; fi
  printf 'summary:\t%s\t%s ms\t%s, %s ms\t%s\trounds %s%s\n' "$figure" "$q" "$base" "$m" "$r" "$spread" "${target:+; target $target}"
}
# memory_summary FILE ARCH BASELINE-NAME: working set and anonymous resident memory when shown.
memory_summary() {
  local file=$1 arch=$2 base=$3 mq mm wq wm name
  mq=$(sed -n 's/^memory Quillomar.exe 1 .*pagefile usage *\([0-9]*\) KB.*/\1/p' "$file")
  mm=$(sed -n "s/^memory $base stay .*pagefile usage *\([0-9]*\) KB.*/\1/p" "$file")
  wq=$(sed -n 's/^memory Quillomar.exe 1 .*working set *\([0-9]*\) KB.*/\1/p' "$file")
  wm=$(sed -n "s/^memory $base stay .*working set *\([0-9]*\) KB.*/\1/p" "$file")
  name=$([ "$base" = MinimalWindow.exe ] && echo "minimal window program" || echo "same-runtime window program")
  if [ -n "$mq" ] && [ -n "$mm" ] && [ -n "$wq" ] && [ -n "$wm" ] && [ "$mm" != 0 ] && [ "$wm" != 0 ]; then
    printf 'summary:\tmemory when shown, %s-bit: anonymous resident (working set)\t%s KB (%s KB)\t%s, %s KB (%s KB)\t%s (%s)\tPagefileUsage = RssAnon under Wine\n' \
      "$arch" "$mq" "$wq" "$name" "$mm" "$wm" "$(awk -v a="$mq" -v b="$mm" 'BEGIN { printf "%.2f", a / b }')" "$(awk -v a="$wq" -v b="$wm" 'BEGIN { printf "%.2f", a / b }')"
  else
    echo "error: no $arch-bit memory figures against $base"; failed=1
  fi
}
for arch in 64 32; do
  if [ $arch = 64 ]; then b=$b64; else b=$b32; fi
  mkdir -p "$dir/prog$arch"
  cp "$b/Quillomar.exe" "$b/bench/startup/MinimalWindow.exe" "$b/bench/startup/RuntimeWindow.exe" "$dir/prog$arch/" ||
    { echo "error: $arch-bit: not built"; failed=1; continue; }
  prog=$(qm_winpath "$dir/prog$arch")
  echo "start-up, $arch-bit, $rounds rounds (each program started once more before, untimed)"
  echo "1. kept open until shown, then sent WM_CLOSE:"
  timer "$b" "$dir/open$arch.txt" "$prog\\MinimalWindow.exe stay" "$prog\\RuntimeWindow.exe stay" "$prog\\Quillomar.exe 1"
  echo "2. started without a parameter: each closes itself once shown (exit only; shown when a poll caught it):"
  timer "$b" "$dir/self$arch.txt" "$prog\\MinimalWindow.exe" "$prog\\RuntimeWindow.exe" "$prog\\Quillomar.exe"
  echo
  pair_summary "$dir/open$arch.txt" 1 shown "start-up to window shown, $arch-bit, against the bare window" MinimalWindow.exe 1.30
  pair_summary "$dir/open$arch.txt" 1 shown "start-up to window shown, $arch-bit, against the same runtime" RuntimeWindow.exe 1.10
  pair_summary "$dir/self$arch.txt" 0 exit "start-up, $arch-bit, no parameter: start, show, close itself, exit" MinimalWindow.exe ""
  memory_summary "$dir/open$arch.txt" $arch MinimalWindow.exe
  memory_summary "$dir/open$arch.txt" $arch RuntimeWindow.exe
done
qm_stop_wine

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
