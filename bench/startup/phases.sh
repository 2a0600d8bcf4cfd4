#!/usr/bin/env bash
# Start-up phases of the 64- and the 32-bit Quillomar.exe (bench/startup/trace.sh on
# each): every phase's median time since process creation. The phases come from builds
# configured with -DQM_STARTUP_TRACE=ON, build/win64-trace and build/win32-trace, made
# here first unless --no-build; the shipped builds carry no stamps.
#   bench/startup/phases.sh [--no-build] [ROUNDS]     (default 15)
# Exits 1 with an "error:" line when a build or a trace fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=1
[ "${1:-}" = "--no-build" ] && { build=0; shift; }
rounds=${1:-15}
source "$root/bench/variant_build.sh"
failed=0
for arch in 64 32; do
  dir=$root/build/win$arch-trace
  if [ $build = 1 ]; then
    variant_build $arch trace -DQM_STARTUP_TRACE=ON || { failed=1; continue; }
  fi
  echo "phases, $arch-bit, $rounds starts without a parameter:"
  "$root/bench/startup/trace.sh" "$dir" "$rounds" | sed 's/^/  /'
  [ "${PIPESTATUS[0]}" = 0 ] || { echo "error: $arch-bit: no phases traced"; failed=1; }
  echo
done
[ $failed = 0 ] || exit 1
