#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail
packages=(cmake make g++ clang googletest libgtest-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
  wine wine64 wine32:i386 fonts-wine xvfb xauth imagemagick x11-utils zip unzip chromium e2fsprogs)
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
  if ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    # When one architecture's list stayed behind, a library installed for amd64 can be
    # newer than the only i386 build apt knows of, and the pair (the same version on
    # both, as Multi-Arch: same requires) cannot be made. The libraries apt names as
    # the obstacle are then set, on both architectures, to the version the i386 list
    # has, round by round until the install can be made.
    echo "setup: pairing the amd64 and i386 versions of shared libraries, then trying again"
    names=""
    for round in $(seq 1 30); do
      pairs=()
      for name in $names; do
        installed=$(dpkg-query -W -f='${Version}' "$name" 2>/dev/null) || continue
        wanted=$(apt-cache policy "$name:i386" | awk '/Candidate:/ { print $2 }')
        [ -n "$wanted" ] && [ "$wanted" != "(none)" ] && [ "$wanted" != "$installed" ] &&
          pairs+=("$name=$wanted" "$name:i386=$wanted")
      done
      if plan=$(DEBIAN_FRONTEND=noninteractive apt-get install -s --allow-downgrades \
          --no-install-recommends "${missing[@]}" "${pairs[@]}" 2>&1) && ! grep -q "^E:" <<<"$plan"; then
        break
      fi
      more=$(grep -oE '[a-z0-9][a-z0-9.+-]*:i386' <<<"$plan" | sed 's/:i386$//' | sort -u |
        comm -13 <(tr ' ' '\n' <<<"$names" | sort -u) -)
      [ -z "$more" ] && break
      names="$names $more"
    done
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --allow-downgrades \
      --no-install-recommends "${missing[@]}" "${pairs[@]}" >/dev/null
  fi
fi
