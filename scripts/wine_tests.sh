#!/usr/bin/env bash
# Runs the Windows test executables under Wine (called by scripts/test.sh inside Xvfb).
#   scripts/wine_tests.sh RESULTS_DIR      (QM_ARCHS="64 32" chooses the architectures)
# For each executable it leaves wine-<arch>-<exe>.xml (the GoogleTest report), .log and
# .rc (the exit status; "missing" when the executable was not built).
# The simulated focuser is registered in the prefix first, so the tests that need it
# are told to fail rather than skip (QM_SIM_REQUIRED=1); QM_EXPECT_BITS tells the
# tests which build was meant to run.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
results=$1
source "$root/scripts/wine_env.sh"
build64=${QM_BUILD64:-$root/build/win64}
build32=${QM_BUILD32:-$root/build/win32}
# The prefix lives beside the results, so that two runs with results of their own do
# not share one.
qm_fresh_sim_prefix "$results/wine-prefix" "$build64" "$build32" || exit 1
export QM_SIM_REQUIRED=1
cd "$results"
# win_tests-192dpi: the painting tests of the custom controls again, with the screen at
# 192 DPI (the prefix's LogPixels, which each program reads as it starts).
density_tests='XMButtonTest.PaintsFrameAndCaptionForEachState:XMButtonTest.HelpButtonAtTheWindowsDensity'
density_tests+=':XMButtonTest.RunsAtTheExpectedDensity:BiButtonTest.PaintingMatchesThePortablePainter'
set_dpi() { wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1; }
for arch in ${QM_ARCHS:-64}; do
  for exe in core_tests win_tests win_tests-192dpi; do
    bin="$build64/${exe%-192dpi}.exe"; [ "$arch" = 32 ] && bin="$build32/${exe%-192dpi}.exe"
    out="wine-$arch-$exe"
    [ -f "$bin" ] || { echo "missing $bin"; echo missing > "$out.rc"; continue; }
    if [ "$exe" = win_tests-192dpi ]; then
      set_dpi 192
      QM_EXPECT_DPI=192 QM_EXPECT_BITS=$arch timeout -k 5 300 wine "$bin" --gtest_filter="$density_tests" \
        --gtest_output="xml:$out.xml" > "$out.log" 2>&1
      rc=$?
      set_dpi 96
    else
      QM_EXPECT_BITS=$arch timeout -k 5 900 wine "$bin" --gtest_output="xml:$out.xml" > "$out.log" 2>&1
      rc=$?
    fi
    echo "$rc" > "$out.rc"
    if [ $rc -ne 0 ]; then
      echo "$exe ($arch-bit) exited with $rc:"
      grep -aE '^\[  FAILED|Failure' -A3 "$out.log" | head -40
    fi
  done
done
qm_stop_wine
rm -rf "$results/wine-prefix"
