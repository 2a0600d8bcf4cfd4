#!/usr/bin/env bash
# Writes the help document that ships beside the program:
#   scripts/make_help.sh OUTDIR   ->  OUTDIR/focusers_readme.htm (one self-contained file)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?usage: make_help.sh OUTDIR}
mkdir -p "$out"
if [ -f "$root/docs/focusers_readme.htm" ]; then
  cp "$root/docs/focusers_readme.htm" "$out/focusers_readme.htm"
else
  cat > "$out/focusers_readme.htm" <<'HTML'
<!DOCTYPE html>
<html lang="en">
<head><meta charset="utf-8"><title>Quillomar help</title></head>
<body><h1>Quillomar help</h1>
<p>Quillomar focuses an astronomical camera automatically. Your imaging program starts
it and runs the autofocus; see the README that came with Quillomar.</p>
</body>
</html>
HTML
fi
