#!/usr/bin/env bash
# Writes the packages for Windows users:
#   dist/Quillomar-<version>-win64.zip   the 64-bit program
#   dist/Quillomar-<version>-win32.zip   the 32-bit program (for 32-bit focuser drivers)
#   dist/SHA256SUMS                      their SHA-256 sums, as sha256sum writes them
# Each package holds the programs, the help document and the license, at its top level.
# The programs are those of the tested builds (build/win64 and build/win32, or the
# directories QM_BUILD64 and QM_BUILD32 name), stripped: what a user runs is what the
# tests ran and what bench/size measures. The version is the CMake project version.
#   scripts/package.sh [win64] [win32]   (default: both)
# The programs are built first in the default build directories (nothing to do when the
# test command has built them); directories named by QM_BUILD64/QM_BUILD32 are packaged
# as they are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
archs=("$@"); [ ${#archs[@]} -eq 0 ] && archs=(win64 win32)

# What a package holds: the programs (by CMake target; the first must be there) and the
# documents beside them.
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

program_build() {  # arch -> the build directory holding its programs, built
  local arch=$1 dir default
  case "$arch" in
    win64) dir=${QM_BUILD64:-} ;;
    win32) dir=${QM_BUILD32:-} ;;
    *) echo "package.sh: unknown architecture $arch" >&2; return 2 ;;
  esac
  default=$root/build/$arch
  if [ -z "$dir" ] || [ "$(readlink -f "$dir")" = "$(readlink -f "$default")" ]; then
    dir=$default
    QM_TEST_NO_SETUP=1 QM_CMAKE_TARGETS="${shipped_programs[*]}" "$root/scripts/build.sh" "$arch" >&2 \
      || { echo "package.sh: $arch build failed" >&2; return 1; }
  fi
  [ -f "$dir/version.txt" ] || { echo "package.sh: no $arch build in $dir" >&2; return 1; }
  echo "$dir"
}

version=""
packages=()
for arch in "${archs[@]}"; do
  dir=$(program_build "$arch")
  case "$arch" in
    win64) strip=x86_64-w64-mingw32-strip ;;
    win32) strip=i686-w64-mingw32-strip ;;
  esac
  v=$(cat "$dir/version.txt")
  [ -z "$version" ] || [ "$v" = "$version" ] || { echo "package.sh: versions differ ($version, $v)" >&2; exit 1; }
  version=$v

  content=$stage/$arch
  mkdir -p "$content"
  for t in "${shipped_programs[@]}"; do
    # The program where its target put it: the one nearest the top of the build.
    exe=$(find "$dir" -name "$t.exe" -not -path '*/CMakeFiles/*' | awk -F/ '{ print NF, $0 }' | sort -n | head -1 | cut -d' ' -f2-)
    if [ -z "$exe" ]; then
      [ "$t" = "${shipped_programs[0]}" ] && { echo "package.sh: no $t.exe in $dir" >&2; exit 1; }
      continue
    fi
    # strip writes the time into the PE header; SOURCE_DATE_EPOCH makes it the commit's.
    SOURCE_DATE_EPOCH=$stamp "$strip" -o "$content/$t.exe" "$exe"
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
