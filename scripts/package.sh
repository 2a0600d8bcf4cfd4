#!/usr/bin/env bash
# Builds the release programs and writes the packages for Windows users:
#   dist/Quillomar-<version>-win64.zip   the 64-bit program
#   dist/Quillomar-<version>-win32.zip   the 32-bit program (for 32-bit focuser drivers)
#   dist/SHA256SUMS                      their SHA-256 sums, as sha256sum writes them
# Each package holds the stripped programs, the help document and the license, at its
# top level. The version is the CMake project version. The release builds go to
# build/release-win64 and build/release-win32.
#   scripts/package.sh [win64] [win32]   (default: both)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
archs=("$@"); [ ${#archs[@]} -eq 0 ] && archs=(win64 win32)

# What a package holds: the programs (by CMake target; one that the build does not
# define is left out, the first must be there) and the documents beside them.
shipped_programs=(Quillomar QmDriverCheck)
shipped_documents=(focusers_readme.htm LICENSE.txt)

[ "${QM_TEST_NO_SETUP:-0}" = 1 ] || "$root/scripts/setup.sh"  # as in scripts/test.sh
dist=$root/dist
stage=$root/build/package
rm -rf "$stage"; mkdir -p "$stage/docs" "$dist"

# The help document, once for both packages.
"$root/scripts/make_help.sh" "$stage/docs"
cp "$root/LICENSE.txt" "$stage/docs/"

# Every file in a package gets the time of the last commit (or of now outside git),
# so that packaging the same sources twice gives the same archive.
stamp=$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)

release_build() {  # arch -> build directory
  local arch=$1 dir=$root/build/release-$1 toolchain
  case "$arch" in
    win64) toolchain=$root/cmake/toolchain-mingw-x86_64.cmake ;;
    win32) toolchain=$root/cmake/toolchain-mingw-i686.cmake ;;
    *) echo "package.sh: unknown architecture $arch" >&2; return 2 ;;
  esac
  # The linker strips the programs (strip itself would stamp them with the time) and
  # leaves the time stamp out of their headers: the same sources give the same files.
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    "-DCMAKE_EXE_LINKER_FLAGS_RELEASE=-s -Wl,--no-insert-timestamp" >/dev/null || return 1
  local defined targets=()
  defined=$(cmake --build "$dir" --target help) || return 1
  for t in "${shipped_programs[@]}"; do
    grep -qE "^\.\.\. $t( |$)" <<<"$defined" && targets+=("$t")
  done
  [ "${targets[0]:-}" = "${shipped_programs[0]}" ] || { echo "package.sh: no ${shipped_programs[0]} target" >&2; return 1; }
  cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}" >"$dir/package-build.log" 2>&1 \
    || { tail -30 "$dir/package-build.log" >&2; echo "package.sh: $arch build failed" >&2; return 1; }
  echo "$dir"
}

version=""
packages=()
for arch in "${archs[@]}"; do
  dir=$(release_build "$arch")
  v=$(cat "$dir/version.txt")
  [ -z "$version" ] || [ "$v" = "$version" ] || { echo "package.sh: versions differ ($version, $v)" >&2; exit 1; }
  version=$v

  content=$stage/$arch
  mkdir -p "$content"
  for t in "${shipped_programs[@]}"; do
    # The program where its target put it: the one nearest the top of the build.
    exe=$(find "$dir" -name "$t.exe" -not -path '*/CMakeFiles/*' | awk -F/ '{ print NF, $0 }' | sort -n | head -1 | cut -d' ' -f2-)
    [ -n "$exe" ] || continue
    cp "$exe" "$content/$t.exe"
  done
  for d in "${shipped_documents[@]}"; do
    cp "$stage/docs/$d" "$content/$d"
  done
  chmod 644 "$content"/*
  touch -d "@$stamp" "$content"/*

  zip=Quillomar-$version-$arch.zip
  rm -f "$dist/$zip"
  # Sorted names, no extra attributes (owner, Unix times), times read as UTC.
  (cd "$content" && ls | LC_ALL=C sort | TZ=UTC zip -X -D -q "$dist/$zip" -@)
  packages+=("$zip")
  echo "package: dist/$zip"
done

(cd "$dist" && sha256sum "${packages[@]}" > SHA256SUMS)
echo "sums: dist/SHA256SUMS"
