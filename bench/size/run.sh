#!/usr/bin/env bash
# The stripped sizes of Quillomar.exe and QmDriverCheck.exe against their guard (512 KB
# on 64-bit, 640 KB on 32-bit: a guard against a runaway dependency, such as a library
# that drags in tables or a second runtime, not a target to write the code for), and where the bytes of Quillomar.exe come from, for the
# 64- and 32-bit builds: each is linked again in a build directory configured with
# -DQM_LINK_MAP=ON (the same compiler, flags and libraries, plus a link map), and
# bench/size/map_groups.py sums the map's loaded input sections by library group, by
# object file and by section. The map build must strip to exactly the size of the build
# it describes (the shipped build/win64 and build/win32); otherwise the map is not that
# executable's and the script fails.
#   bench/size/run.sh [--no-build]
# Environment: QM_BUILD64, QM_BUILD32 (the builds described; default build/win64,
# build/win32). The map builds are build/win64-map and build/win32-map.
# Exits 1 with an "error:" line when a map or a size is missing, the sizes disagree or an
# executable is over its guard.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
b64=${QM_BUILD64:-$root/build/win64}
b32=${QM_BUILD32:-$root/build/win32}
build=1
[ "${1:-}" = "--no-build" ] && build=0
source "$root/bench/variant_build.sh"
work=$root/build/bench/size
mkdir -p "$work"
failed=0
for arch in 64 32; do
  if [ $arch = 64 ]; then
    shipped=$b64 cpu=x86_64 guard=$((512 * 1024))
  else
    shipped=$b32 cpu=i686 guard=$((640 * 1024))
  fi
  map_build=$root/build/win$arch-map
  if [ $build = 1 ]; then
    variant_build $arch map -DQM_LINK_MAP=ON || { failed=1; continue; }
  fi
  if [ ! -f "$map_build/Quillomar.map" ] || [ ! -f "$shipped/Quillomar.exe" ]; then
    echo "error: $arch-bit: no link map or no executable"; failed=1; continue
  fi
  for program in Quillomar QmDriverCheck; do
    if [ ! -f "$shipped/$program.exe" ]; then
      echo "error: $arch-bit: no $program.exe in $shipped"; failed=1; continue
    fi
    "$cpu-w64-mingw32-strip" -o "$work/$program$arch.exe" "$shipped/$program.exe"
    size=$(stat -c %s "$work/$program$arch.exe")
    verdict=$([ "$size" -le "$guard" ] && echo "within" || echo "over")
    echo "$arch-bit $program.exe stripped: $size bytes; guard $guard bytes ($((guard / 1024)) KB): $verdict"
    printf 'summary:\tstripped %s.exe against its guard, %s-bit\t%s bytes\tguard, %s bytes\t%s\t%s the guard\n' \
      "$program" "$arch" "$size" "$guard" "$(awk -v s="$size" -v t="$guard" 'BEGIN { printf "%.2f", s / t }')" "$verdict"
    if [ "$verdict" = over ]; then
      echo "error: $arch-bit: $program.exe is over its guard"; failed=1
    fi
  done
  "$cpu-w64-mingw32-strip" -o "$work/mapped$arch.exe" "$map_build/Quillomar.exe"
  size=$(stat -c %s "$work/Quillomar$arch.exe")
  mapped=$(stat -c %s "$work/mapped$arch.exe")
  if [ "$size" != "$mapped" ]; then
    echo "error: $arch-bit: the map build strips to $mapped bytes, the executable to $size: not the same link"
    failed=1; continue
  fi
  echo "where its loaded sections come from (link map, $arch-bit):"
  python3 "$root/bench/size/map_groups.py" "$map_build/Quillomar.map" --files 15 | sed 's/^/  /' ||
    { echo "error: $arch-bit: map_groups.py failed"; failed=1; }
  echo
done
[ $failed = 0 ] || { echo "error: size figures missing or over their guard (see above)"; exit 1; }
