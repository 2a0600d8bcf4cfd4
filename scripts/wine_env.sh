# Sourced by the scripts that run Windows programs under Wine.
#   qm_base_prefix            makes (once) the ready prefix build/wine/base-<arch>
#   qm_fresh_prefix DIR       clones the ready prefix to DIR and exports WINEPREFIX=DIR
#   qm_clone_prefix SRC DST   clones a prefix cheaply (see below)
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
    qm_prefix_fonts "$base"
  ) 9>"$QM_ROOT/build/wine/.lock"
  echo "$base"
}

# Wine draws the title bar's buttons with its symbol font Marlett and uses Tahoma for
# dialogs and for this program's controls. Debian's fonts-wine ships both in
# /usr/share/wine/fonts, but this Wine never looks there (it reads the prefix's
# windows/Fonts, the fonts named in the registry and fontconfig's), so without them the
# buttons show letters and a wider font stands in for Tahoma. The prefix gets copies.
QM_WINE_FONT_DIR=${QM_WINE_FONT_DIR:-/usr/share/wine/fonts}
QM_PREFIX_FONTS=(tahoma.ttf tahomabd.ttf marlett.ttf)
qm_prefix_fonts() {
  local fonts="$1/drive_c/windows/Fonts" f
  mkdir -p "$fonts"
  for f in "${QM_PREFIX_FONTS[@]}"; do
    [ -f "$fonts/$f" ] && continue
    # Without them the programs still run, only drawn with the wider font.
    cp "$QM_WINE_FONT_DIR/$f" "$fonts/$f" 2>/dev/null || echo "warning: no $QM_WINE_FONT_DIR/$f (package fonts-wine)" >&2
  done
  return 0
}

# A prefix holds about 1.2 GB of Windows system files, which no program under test
# writes. A clone hard-links those (system32, syswow64, winsxs) to the source's and
# copies everything else, so a clone costs a few tens of MB of disk while a test that
# changes the registry or its own files still leaves the source untouched. Wine
# replaces its registry files by renaming a new file over them, never in place.
QM_SHARED_PREFIX_DIRS=(drive_c/windows/system32 drive_c/windows/syswow64 drive_c/windows/winsxs)
qm_clone_prefix() {
  local src=$1 dst=$2 d excludes=()
  rm -rf "$dst"
  mkdir -p "$dst"
  for d in "${QM_SHARED_PREFIX_DIRS[@]}"; do excludes+=(--exclude="./$d"); done
  tar -C "$src" "${excludes[@]}" -cf - . | tar -C "$dst" -xf - || return 1
  for d in "${QM_SHARED_PREFIX_DIRS[@]}"; do
    [ -d "$src/$d" ] || continue
    # Hard links need one file system; elsewhere the files are copied.
    cp -al "$src/$d" "$dst/$d" 2>/dev/null || { rm -rf "${dst:?}/$d"; cp -a "$src/$d" "$dst/$d"; } || return 1
  done
  return 0
}

qm_fresh_prefix() {
  local dir=$1 base
  base=$(qm_base_prefix)
  qm_clone_prefix "$base" "$dir" || { echo "qm_fresh_prefix: cannot clone $base" >&2; return 1; }
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
      qm_clone_prefix "$(qm_base_prefix)" "$sim" || exit 1
      rm -f "$sim/.ready"
      if ! "$QM_ROOT/scripts/sim_ascom_register.sh" "$sim" "$b64" "$b32" >&2; then
        echo "qm_sim_base_prefix: registration failed" >&2
        exit 1
      fi
      echo "$stamp" > "$sim/.ready"
    fi
    qm_prefix_fonts "$sim"
  ) 8>"$QM_ROOT/build/wine/.sim-lock" || return 1
  echo "$sim"
}

# Copies the simulator prefix to DIR and exports WINEPREFIX=DIR.
qm_fresh_sim_prefix() {
  local dir=$1 base
  base=$(qm_sim_base_prefix "${2:-}" "${3:-}") || return 1
  qm_clone_prefix "$base" "$dir" || { echo "qm_fresh_sim_prefix: cannot clone $base" >&2; return 1; }
  export WINEPREFIX="$dir"
}
