# Sourced by the scripts that run Windows programs under Wine.
#   qm_base_prefix            makes (once) the ready prefix build/wine/base-<arch>
#   qm_fresh_prefix DIR       copies the ready prefix to DIR and exports WINEPREFIX=DIR
#   qm_stop_wine              ends this prefix's wineserver and waits for it
# The prefix has Wine's virtual desktop on, so closing windows is fast without a
# window manager. Nothing here touches ~/.wine.
QM_ROOT=${QM_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

qm_base_prefix() {
  local base="$QM_ROOT/build/wine/base"
  mkdir -p "$QM_ROOT/build/wine"
  (
    flock 9
    if [ ! -f "$base/.ready" ]; then
      rm -rf "$base"
      WINEPREFIX="$base" wineboot -i >/dev/null 2>&1 || true
      WINEPREFIX="$base" wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
      WINEPREFIX="$base" wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
      # Message boxes and crash dialogs must never wait for a person.
      WINEPREFIX="$base" wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
      WINEPREFIX="$base" wineserver -k >/dev/null 2>&1 || true
      WINEPREFIX="$base" wineserver -w >/dev/null 2>&1 || true
      touch "$base/.ready"
    fi
  ) 9>"$QM_ROOT/build/wine/.lock"
  echo "$base"
}

qm_fresh_prefix() {
  local dir=$1 base
  base=$(qm_base_prefix)
  rm -rf "$dir"
  mkdir -p "$(dirname "$dir")"
  cp -a "$base" "$dir"
  export WINEPREFIX="$dir"
}

qm_stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}

# A Unix path as Wine sees it through drive Z:.
qm_winpath() { local p; p=$(readlink -f "$1"); echo "Z:${p//\//\\}"; }

# The ready prefix with the simulated ASCOM chooser and focuser registered for both
# architectures: build/wine/sim-base, made once from the build directories given
# (default build/win64 and build/win32) and remade when the simulator DLL changes.
qm_sim_base_prefix() {
  local b64=${1:-$QM_ROOT/build/win64} b32=${2:-$QM_ROOT/build/win32}
  local sim="$QM_ROOT/build/wine/sim-base" stamp
  # An architecture that was not built is not registered.
  ls "$b32"/tools/sim_ascom/*.dll >/dev/null 2>&1 || b32=""
  stamp=$(cat "$b64"/tools/sim_ascom/*.dll "$b32"/tools/sim_ascom/*.dll 2>/dev/null | md5sum | cut -c1-32)
  mkdir -p "$QM_ROOT/build/wine"
  (
    flock 8
    if [ ! -f "$sim/.ready" ] || [ "$(cat "$sim/.ready")" != "$stamp" ]; then
      rm -rf "$sim"
      cp -a "$(qm_base_prefix)" "$sim"
      rm -f "$sim/.ready"
      if ! "$QM_ROOT/scripts/sim_ascom_register.sh" "$sim" "$b64" "$b32" >&2; then
        echo "qm_sim_base_prefix: registration failed" >&2
        exit 1
      fi
      echo "$stamp" > "$sim/.ready"
    fi
  ) 8>"$QM_ROOT/build/wine/.sim-lock" || return 1
  echo "$sim"
}

# Copies the simulator prefix to DIR and exports WINEPREFIX=DIR.
qm_fresh_sim_prefix() {
  local dir=$1 base
  base=$(qm_sim_base_prefix "${2:-}" "${3:-}") || return 1
  rm -rf "$dir"
  mkdir -p "$(dirname "$dir")"
  cp -a "$base" "$dir"
  export WINEPREFIX="$dir"
}
