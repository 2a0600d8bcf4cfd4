#!/usr/bin/env bash
# Builds the native core and tests and the Windows programs.
#   scripts/build.sh [native] [win64] [win32]   (default: all three)
# Output: build/native, build/win64, build/win32.
# QM_CMAKE_TARGETS="T ..." builds only those CMake targets (and what they need).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
targets=("$@"); [ ${#targets[@]} -eq 0 ] && targets=(native win64 win32)
jobs=$(nproc)
for t in "${targets[@]}"; do
  case "$t" in
    native) args=() ;;
    win64) args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake") ;;
    win32) args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake") ;;
    # The sanitized build also builds the fuzz targets (scripts/fuzz.sh runs them there):
    # one sanitized core for both, compiled once.
    native-san) args=(-DQM_SANITIZE=ON -DQM_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang) ;;
    *) echo "build.sh: unknown target $t" >&2; exit 2 ;;
  esac
  dir="$root/build/$t${QM_BUILD_SUFFIX:-}"
  # Configured when new, and again when the cache lacks an option named here.
  configured=1
  [ -f "$dir/CMakeCache.txt" ] || configured=0
  for a in "${args[@]}"; do
    [[ $a == -DQM_*=ON ]] && ! grep -q "^${a#-D}" <<<"$(sed 's/:BOOL=/=/' "$dir/CMakeCache.txt" 2>/dev/null)" && configured=0
  done
  if [ $configured = 0 ]; then
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${args[@]}" >/dev/null
  fi
  only=()
  for c in ${QM_CMAKE_TARGETS:-}; do only+=(--target "$c"); done
  # The build's own status, read before anything else runs: after "grep || true" the
  # status would be true's whenever grep found no line, and a failure whose text names
  # no error (a missing target, say) would pass as a build.
  set +e
  cmake --build "$dir" -j "$jobs" "${only[@]}" 2>&1 | grep -E 'error|warning: unused|Error|FAILED'
  status=${PIPESTATUS[0]}
  set -e
  if [ "$status" -ne 0 ]; then
    echo "build.sh: $t failed" >&2
    exit 1
  fi
done
