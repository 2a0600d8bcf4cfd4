#!/usr/bin/env bash
# Where the bytes of the stripped Quillomar.exe come from, for the 64- and 32-bit builds:
# each is linked again in a build directory configured with -DQM_LINK_MAP=ON (the same
# compiler, flags and libraries, plus a link map), and bench/size/map_groups.py sums the
# map's loaded input sections by library group, by object file and by section.
# The map build must strip to exactly the size of the build it describes (the shipped
# build/win64 and build/win32); otherwise the map is not that executable's and the
# script fails. The stripped sizes are compared with their targets.
#   bench/size/run.sh [--no-build]
# Environment: QM_BUILD64, QM_BUILD32 (the builds described; default build/win64,
# build/win32). The map builds are build/win64-map and build/win32-map.
# Exits 1 with an "error:" line when a map or a size is missing or the sizes disagree.
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
    shipped=$b64 cpu=x86_64 target=$((300 * 1024))
  else
    shipped=$b32 cpu=i686 target=$((340 * 1024))
  fi
  map_build=$root/build/win$arch-map
  if [ $build = 1 ]; then
    variant_build $arch map -DQM_LINK_MAP=ON || { failed=1; continue; }
  fi
  if [ ! -f "$map_build/Quillomar.map" ] || [ ! -f "$shipped/Quillomar.exe" ]; then
    echo "error: $arch-bit: no link map or no executable"; failed=1; continue
  fi
  "$cpu-w64-mingw32-strip" -o "$work/shipped$arch.exe" "$shipped/Quillomar.exe"
  "$cpu-w64-mingw32-strip" -o "$work/mapped$arch.exe" "$map_build/Quillomar.exe"
  size=$(stat -c %s "$work/shipped$arch.exe")
  mapped=$(stat -c %s "$work/mapped$arch.exe")
  if [ "$size" != "$mapped" ]; then
    echo "error: $arch-bit: the map build strips to $mapped bytes, the executable to $size: not the same link"
    failed=1; continue
  fi
  verdict=$([ "$size" -le "$target" ] && echo "within" || echo "over")
  echo "$arch-bit Quillomar.exe stripped: $size bytes; target $target bytes ($((target / 1024)) KB): $verdict"
  printf 'summary:\tstripped executable against its target, %s-bit\t%s bytes\ttarget, %s bytes\t%s\t%s the target\n' \
    "$arch" "$size" "$target" "$(awk -v s="$size" -v t="$target" 'BEGIN { printf "%.2f", s / t }')" "$verdict"
  echo "where its loaded sections come from (link map, $arch-bit):"
  python3 "$root/bench/size/map_groups.py" "$map_build/Quillomar.map" --files 15 | sed 's/^/  /' ||
    { echo "error: $arch-bit: map_groups.py failed"; failed=1; }
  echo
done
[ $failed = 0 ] || { echo "error: size figures missing (see above)"; exit 1; }
