#!/usr/bin/env bash
# The simulated ASCOM chooser and focuser as another program sees them: in a fresh
# Wine prefix with QmSimAscom.dll registered in both registry views, Windows Script
# Host runs tests/e2e/sim_cscript.vbs once as a 64-bit and once as a 32-bit program.
# Each run must print the expected lines, and the simulator's calls.log and
# focuser.state must show what the script did.
# Environment: QM_BUILD64 / QM_BUILD32 (build directories); no build of the simulator
# in either is a failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ "${1:-}" != "inner" ]; then
  exec timeout -k 10 600 "$root/scripts/xvfb_run" "$0" inner
fi
source "$root/scripts/wine_env.sh"
build64=${QM_BUILD64:-$root/build/win64}
build32=${QM_BUILD32:-$root/build/win32}
dll=tools/sim_ascom/QmSimAscom.dll
[ -f "$build64/$dll" ] || build64=""
[ -f "$build32/$dll" ] || build32=""
if [ -z "$build64" ] && [ -z "$build32" ]; then
  echo "FAIL: no QmSimAscom.dll in QM_BUILD64 or QM_BUILD32"
  exit 1
fi
# The wine launcher starts 32-bit; the 64-bit script host needs the 64-bit loader.
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)

work=$(mktemp -d "${TMPDIR:-/tmp}/qm-sim-cscript.XXXXXX")
cleanup() { qm_stop_wine; rm -rf "$work"; }
trap cleanup EXIT
qm_fresh_prefix "$work/prefix"
"$root/scripts/sim_ascom_register.sh" "$WINEPREFIX" "$build64" "$build32" || { echo "FAIL: registration"; exit 1; }

winpath() { local p; p=$(readlink -f "$1"); echo "Z:${p//\//\\}"; }
script=$(winpath "$root/tests/e2e/sim_cscript.vbs")
failures=0
fail() { echo "FAIL ($1): $2"; failures=$((failures + 1)); }

expected_output='chosen=QmSim.Focuser
linked=True
maxstep=20000
absolute=True
start=10000
moving=True
position=1234
clamped=20000
unlinked=80040407 QmSim QmSim focuser is not connected.'

run_one() {  # run_one <bits> <loader> <cscript path>
  local bits=$1 loader=$2 host=$3 sim="$work/sim-$1"
  mkdir -p "$sim"
  printf 'StepsPerSecond=20000\nMaxStep=20000\nStartPosition=10000\n' >"$sim/sim.ini"
  local out attempt
  # A script host that prints nothing at all and leaves no call log never reached the
  # simulator: under a loaded machine Wine's first start of it in a new prefix has
  # come back empty. That run is shown and the script runs once more; any other
  # output, or a second empty run, fails.
  for attempt in 1 2; do
    out=$(QM_SIM_DIR=$(winpath "$sim") timeout -k 5 120 "$loader" "$host" //nologo "$script" 2>"$sim/stderr" | tr -d '\r')
    [ -z "$out" ] && [ ! -e "$sim/calls.log" ] && [ "$attempt" = 1 ] || break
    echo "note ($bits): the script host printed nothing and made no call; its error output:"
    sed 's/^/    /' "$sim/stderr"
  done
  if [ "$out" != "$expected_output" ]; then
    fail "$bits" "script output differs"
    diff <(echo "$expected_output") <(echo "$out") | sed 's/^/    /'
    sed 's/^/    stderr: /' "$sim/stderr"
  fi
  local log="$sim/calls.log" logged
  logged=$(tr -d '\r' <"$log" | cut -d' ' -f2-)
  for line in \
    'Chooser DeviceType DISPATCH_PROPERTYPUT (DISPID_PROPERTYPUT:VT_BSTR="Focuser") -> OK' \
    'Focuser Link DISPATCH_PROPERTYPUT (DISPID_PROPERTYPUT:VT_BOOL=-1) -> OK' \
    'Focuser Move DISPATCH_METHOD (VT_VARIANT|VT_BYREF->VT_I2=1234) -> VT_EMPTY' \
    'Focuser Link DISPATCH_PROPERTYPUT (DISPID_PROPERTYPUT:VT_BOOL=0) -> OK' \
    'Focuser Position DISPATCH_METHOD|DISPATCH_PROPERTYGET () -> EXCEPTION 0x80040407 QmSim focuser is not connected.' \
    'Focuser (released)' 'Chooser (released)'; do
    grep -qxF -- "$line" <<<"$logged" || fail "$bits" "calls.log lacks: $line"
  done
  grep -qx 'Target=20000' <(tr -d '\r' <"$sim/focuser.state") || fail "$bits" "focuser.state does not end at 20000"
  [ "$failures" -eq 0 ] && echo "ok: $bits-bit script host drove the simulator ($(wc -l <"$log") calls logged)"
}

[ -n "$build64" ] && run_one 64 "$wine64" 'C:\windows\system32\cscript.exe'
[ -n "$build32" ] && run_one 32 wine 'C:\windows\syswow64\cscript.exe'
[ "$failures" -eq 0 ] || exit 1
exit 0
