#!/usr/bin/env bash
# The release package as a Windows user gets it: scripts/package.sh writes both
# packages and their sums; this architecture's package holds exactly the shipped files,
# its program is stripped, of the right architecture and carries the project version;
# unpacked into a fresh prefix it starts with a parameter, and its help button has the
# shell open the help document beside it, with no error box.
# e2e: both-architectures
# e2e: architectures-in-turn (both write dist/)
# e2e: needs-both-builds (the packages hold the programs of both)
source "$(dirname "$0")/lib.sh"
arch=win${QM_E2E_ARCH:-64}
if [ -z "${QM_E2E_INNER:-}" ]; then
  # Building and packaging come before the time limit of the Wine session.
  mkdir -p "$QM_ROOT/build"
  log=$QM_ROOT/build/package-test.log
  if ! "$QM_ROOT/scripts/package.sh" > "$log" 2>&1; then
    tail -30 "$log"; echo "== package: FAILED (scripts/package.sh failed)"; exit 1
  fi
fi
e2e_begin package --plain

version=$(sed -n 's/^project(Quillomar VERSION \([0-9][0-9.]*\).*/\1/p' "$QM_ROOT/CMakeLists.txt")
expect_match "project version" "$version" '^[0-9]+\.[0-9]+\.[0-9]+$'
dist=$QM_ROOT/dist
zip=$dist/Quillomar-$version-$arch.zip

# The sums: both packages of this version, and they match.
expect_eq "packages named in the sums" "$(awk '{print $2}' "$dist/SHA256SUMS" 2>/dev/null | sort | tr '\n' ' ')" \
  "Quillomar-$version-win32.zip Quillomar-$version-win64.zip "
expect_true "sums match the packages" bash -c "cd '$dist' && sha256sum --quiet -c SHA256SUMS"

# The content: the shipped files at the top level, nothing else. A driver check tool
# belongs in it exactly when the build made one.
expected="LICENSE.txt Quillomar.exe focusers_readme.htm "
if [ "$arch" = win32 ]; then built=$QM_BUILD32; else built=$QM_BUILD64; fi
find "$built" -name QmDriverCheck.exe -not -path '*/CMakeFiles/*' | grep . >/dev/null &&
  expected="LICENSE.txt QmDriverCheck.exe Quillomar.exe focusers_readme.htm "
expect_eq "package content" "$(unzip -Z1 "$zip" 2>/dev/null | LC_ALL=C sort | tr '\n' ' ')" "$expected"

# Unpacked where a user would put it: a folder of its own on drive C.
install=$WINEPREFIX/drive_c/Quillomar
mkdir -p "$install"
unzip -q "$zip" -d "$install"
expect_true "license shipped unchanged" cmp -s "$install/LICENSE.txt" "$QM_ROOT/LICENSE.txt"
expect_match "help document is HTML" "$(head -c 512 "$install/focusers_readme.htm" 2>/dev/null)" '<(!DOCTYPE html|html)'

case "$arch" in
  win64) tools=x86_64-w64-mingw32 format=pei-x86-64 ;;
  win32) tools=i686-w64-mingw32 format=pei-i386 ;;
esac
for exe in "$install"/*.exe; do
  name=$(basename "$exe")
  expect_match "$name is a $arch program" "$("$tools-objdump" -f "$exe" 2>&1)" "file format $format"
  expect_match "$name has no symbols" "$("$tools-nm" "$exe" 2>&1)" 'no symbols'
  expect_eq "$name has no debug sections" "$("$tools-objdump" -h "$exe" 2>&1 | grep -c '\.debug')" 0
  # The code a user gets is the code the tests ran.
  tested=$(find "$built" -name "$name" -not -path '*/CMakeFiles/*' | awk -F/ '{ print NF, $0 }' | sort -n | head -1 | cut -d' ' -f2-)
  "$tools-objcopy" -O binary -j .text "$exe" "$E2E_DIR/shipped.text" 2>/dev/null
  "$tools-objcopy" -O binary -j .text "$tested" "$E2E_DIR/tested.text" 2>/dev/null
  expect_true "$name holds the tested build's code" cmp -s "$E2E_DIR/shipped.text" "$E2E_DIR/tested.text"
done

# The version resource of the program, as the resource compiler reads it back.
resource=$("$tools-windres" -i "$install/Quillomar.exe" -O rc 2>&1)
numbers="${version//./, }, 0"
expect_match "file version numbers" "$resource" "^ *FILEVERSION $numbers\$"
expect_match "product version numbers" "$resource" "^ *PRODUCTVERSION $numbers\$"
while IFS='|' read -r key value; do
  expect_match "version resource $key" "$resource" "^ *VALUE \"$key\", \"$value\"\$"
done <<EOF
ProductName|Quillomar
FileVersion|$version
ProductVersion|$version
OriginalFilename|Quillomar\.exe
FileDescription|.+
LegalCopyright|Copyright \(c\) 20[0-9][0-9] The Quillomar developers
EOF
expect_match "manifest kept" "$resource" 'RT_MANIFEST'

# Started from the unpacked folder with a parameter; help opens the document beside it.
e2e_record_htm_open || fail "stand-in .htm viewer registered"
(cd "$install" && exec wine Quillomar.exe 1) >"$E2E_DIR/app.log" 2>&1 &
E2E_APP_PID=$!
probe wait Quillomar 30 >/dev/null
expect_eq "window shown" "$?" 0
probe click Quillomar "" >/dev/null 2>&1
opened_once() { [ -n "$(e2e_htm_opened)" ]; }
wait_until 15 opened_once
sleep 1  # a second open would have come by now
expect_eq "shell asked to open the document beside the program" "$(e2e_htm_opened)" 'C:\Quillomar\focusers_readme.htm'
probe msgbox Error --timeout 2 > "$E2E_DIR/msgbox.out" 2>&1
expect_eq "no error box" "$?" 2
probe msgbox Quillomar --timeout 1 > "$E2E_DIR/report.out" 2>&1
expect_eq "no error report" "$?" 2

probe close Quillomar >/dev/null
e2e_wait_exit 20
expect_eq "closes" "$E2E_EXIT" 0
expect_true "settings kept beside the program" test -f "$install/autofocus.ini"
