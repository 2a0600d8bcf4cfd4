#!/usr/bin/env bash
# Runs the Windows test executables under Wine (called by scripts/test.sh inside Xvfb).
#   scripts/wine_tests.sh RESULTS_DIR      (QM_ARCHS="64 32" chooses the architectures)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
results=$1
source "$root/scripts/wine_env.sh"
qm_fresh_sim_prefix "$root/build/wine/unit" "$root/build/win64" "$root/build/win32" || exit 1
cd "$results"
for arch in ${QM_ARCHS:-64}; do
  for exe in core_tests win_tests; do
    bin="$root/build/win$arch/$exe.exe"
    [ -f "$bin" ] || { echo "missing $bin"; continue; }
    out="wine-$arch-$exe"
    timeout -k 5 900 wine "$bin" --gtest_output="xml:$out.xml" > "$out.log" 2>&1
    rc=$?
    if [ $rc -ne 0 ]; then
      echo "$exe ($arch-bit) exited with $rc:"
      grep -aE '^\[  FAILED|Failure' -A3 "$out.log" | head -40
    fi
  done
done
qm_stop_wine
