#!/usr/bin/env bash
# Registers the simulated ASCOM chooser and focuser (QmSimAscom.dll) and the same
# focuser as a local server (QmSimFocuserServer.exe, ProgID "QmSim.FocuserLocal") in
# a private Wine prefix: the x86_64 builds in the registry's 64-bit view, the i686
# builds in its 32-bit view, so that both builds of the program can create the same
# ProgIDs (each then gets the server of its own architecture).
#   scripts/sim_ascom_register.sh PREFIX BUILD64 [BUILD32]
# BUILD64 / BUILD32 are build directories (build/win64-*, build/win32-*); an empty
# argument skips that architecture. Exit status 0 when every requested server was
# registered and its ProgID resolves in that view.
#
# Only ever for test prefixes: the server takes over "DriverHelper.Chooser" and would
# shadow the real ASCOM chooser on a real Windows system.
# Run it before starting programs in the prefix: at the end it waits (up to 30 s) for
# the prefix's wineserver to exit by itself, which is when the registry reaches
# disk; `wineserver -k` would throw the new keys away.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 2 ] || [ -z "${1:-}" ]; then
  echo "usage: $0 PREFIX BUILD64 [BUILD32]" >&2
  exit 2
fi
prefix=$1 build64=${2:-} build32=${3:-}
source "$root/scripts/wine_env.sh"
export WINEPREFIX=$prefix
[ -d "$prefix" ] || { echo "sim_ascom_register: no prefix at $prefix" >&2; exit 2; }

# A Unix path as Wine sees it through drive Z:.
winpath() { local p; p=$(readlink -f "$1"); echo "Z:${p//\//\\}"; }

register() {  # register <regsvr32 path> <dll> <view>
  local regsvr=$1 dll=$2 view=$3
  if [ ! -f "$dll" ]; then
    echo "sim_ascom_register: missing $dll" >&2
    return 1
  fi
  if ! timeout -k 5 60 wine "$regsvr" /s "$(winpath "$dll")"; then
    echo "sim_ascom_register: regsvr32 failed for $dll" >&2
    return 1
  fi
  # The ProgID must lead to a class whose server is this DLL in the requested view.
  local out
  out=$(timeout -k 5 60 wine reg query 'HKCR\CLSID\{3F3BA5FB-4F38-43ED-AF5E-CAD51C8872DC}\InprocServer32' \
        /ve "/reg:$view" 2>/dev/null | tr -d '\r')
  if ! grep -qiF "$(basename "$dll")" <<<"$out"; then
    echo "sim_ascom_register: $view-bit view does not name $dll" >&2
    return 1
  fi
}

# The local server registers itself (/RegServer) in the view of its own architecture.
register_local_server() {  # register_local_server <exe> <view>
  local exe=$1 view=$2 out
  if [ ! -f "$exe" ]; then
    echo "sim_ascom_register: missing $exe" >&2
    return 1
  fi
  if ! timeout -k 5 60 wine "$(winpath "$exe")" /RegServer; then
    echo "sim_ascom_register: $exe /RegServer failed" >&2
    return 1
  fi
  out=$(timeout -k 5 60 wine reg query 'HKCR\CLSID\{00F4EB86-2A5C-4175-A223-E334D9BD6BEC}\LocalServer32' \
        /ve "/reg:$view" 2>/dev/null | tr -d '\r')
  if ! grep -qiF "$(basename "$exe")" <<<"$out"; then
    echo "sim_ascom_register: $view-bit view does not name $exe" >&2
    return 1
  fi
}

status=0
if [ -n "$build64" ]; then
  register 'C:\windows\system32\regsvr32.exe' "$build64/tools/sim_ascom/QmSimAscom.dll" 64 || status=1
  register_local_server "$build64/tools/sim_ascom/QmSimFocuserServer.exe" 64 || status=1
fi
if [ -n "$build32" ]; then
  register 'C:\windows\syswow64\regsvr32.exe' "$build32/tools/sim_ascom/QmSimAscom.dll" 32 || status=1
  register_local_server "$build32/tools/sim_ascom/QmSimFocuserServer.exe" 32 || status=1
fi
timeout -k 5 30 wineserver -w >/dev/null 2>&1
exit $status
