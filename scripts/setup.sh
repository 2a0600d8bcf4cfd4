#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail
packages=(cmake make g++ clang googletest libgtest-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
  wine wine64 wine32:i386 fonts-wine xvfb xauth imagemagick x11-utils zip unzip chromium)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
  # A mirror in the middle of a sync serves some package lists short; the lists that
  # did arrive are still used, and the update is tried again a few times before the
  # install goes ahead with what there is (the install then names what it lacks).
  for attempt in 1 2 3; do
    $SUDO apt-get update -qq && break
    echo "setup: the package lists did not all arrive (attempt $attempt of 3)"
    [ "$attempt" -lt 3 ] && sleep 20
  done
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
