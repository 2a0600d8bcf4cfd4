#!/usr/bin/env bash
# Writes OUTDIR/focusers_readme.htm, the help document that ships beside the program:
# the text of docs/help/focusers_readme.htm with a picture of each page of the real
# program embedded as a data: URI, so that the document is one self-contained file.
#   scripts/make_help.sh OUTDIR
# The pictures come from Quillomar.exe under Wine in its own Xvfb display, connected to
# the simulated focuser after a run driven by the simulated host, so they show a real
# state. Uses build/win64 (or QM_BUILD64) and builds it when the programs are missing.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -ne 1 ]; then
  echo "usage: scripts/make_help.sh OUTDIR" >&2
  exit 2
fi
template=$root/docs/help/focusers_readme.htm
build=${QM_BUILD64:-$root/build/win64}

if [ -z "${QM_HELP_INNER:-}" ]; then
  mkdir -p "$1" || exit 1
  out=$(cd "$1" && pwd)
  need=("$build/Quillomar.exe" "$build/tools/probe/Probe.exe" "$build/tools/sim_host/SimHost.exe")
  for f in "${need[@]}"; do
    if [ ! -f "$f" ]; then
      echo "make_help: building the 64-bit programs for the pictures ..."
      "$root/scripts/setup.sh" || exit 1
      "$root/scripts/build.sh" win64 >/dev/null || { echo "make_help: build failed" >&2; exit 1; }
      break
    fi
  done
  QM_HELP_INNER=1 exec timeout -k 10 300 "$root/scripts/xvfb_run" \
    bash "$0" "$out"
fi

out=$1
source "$root/scripts/wine_env.sh"
work=${QM_HELP_WORK:-$root/build/help-pictures}
rm -rf "$work"; mkdir -p "$work/prog" "$work/sim"
cp "$build/Quillomar.exe" "$work/prog/"
qm_fresh_sim_prefix "$work/prefix" "$build" "${QM_BUILD32:-$root/build/win32}" || exit 1
export QM_SIM_DIR; QM_SIM_DIR=$(qm_winpath "$work/sim")
probe() { timeout -k 5 60 wine "$build/tools/probe/Probe.exe" "$@" 2>/dev/null | tr -d '\r'; }

app=""
finish() {
  local status=$?
  if [ -n "$app" ] && kill -0 "$app" 2>/dev/null; then
    probe close Quillomar >/dev/null
    sleep 1
    kill "$app" 2>/dev/null
  fi
  qm_stop_wine
  [ $status -eq 0 ] && rm -rf "$work/prefix"
  exit $status
}
trap finish EXIT

# An absolute focuser at 1000 with a thermometer that falls 0.75 °C a read; the
# remembered driver is connected at start. Three runs, each finding the focus further out
# as it gets colder, give the record page's history its temperature slope. The last host
# exposes slowly enough that no value arrives after the run's final move, so the status
# line still shows the result when the picture is taken.
printf '%s\r\n' Absolute=1 MaxStep=60000 StartPosition=1000 StepsPerSecond=4000 Temperature=14 \
  TemperatureStep=-0.75 > "$work/sim/sim.ini"
printf '%s\r\n' 1003-\>7 1004-\>100 1005-\>2 1001-\>1 1002-\>0 9990-\>0 9991-\>QmSim.Focuser > "$work/prog/autofocus.ini"
# The run record is on, for the picture of its page.
printf 'run-record = on\r\n' > "$work/prog/autofocus-options.ini"
(cd "$work/prog" && exec wine Quillomar.exe 1) >"$work/app.log" 2>&1 &
app=$!
probe wait Quillomar 30 >/dev/null || { echo "make_help: the program's window did not appear" >&2; exit 1; }
sleep 1
for run in "1100 250" "1115 250" "1140 1300"; do
  read -r focus cadence <<<"$run"
  timeout -k 5 200 wine "$build/tools/sim_host/SimHost.exe" --quiet --true-focus "$focus" --cadence-ms "$cadence" \
    --timeout-s 120 >"$work/host.log" 2>&1 \
    || { echo "make_help: the run for the pictures did not end:" >&2; tr -d '\r' < "$work/host.log" | tail -5 >&2; exit 1; }
done
sleep 0.5

# The window's frame within the screen (Wine's desktop fills the Xvfb screen).
window_area() {
  local r
  r=$(probe winfo Quillomar | sed -n 's/^rect: x=\(-\?[0-9]*\) y=\(-\?[0-9]*\) w=\([0-9]*\) h=\([0-9]*\)$/\3x\4+\1+\2/p')
  [ -n "$r" ] && echo "$r"
}
shoot() {  # name
  local area
  area=$(window_area) || { echo "make_help: window not found for the picture $1" >&2; return 1; }
  import -window root -crop "$area" +repage "$work/$1.png" 2>/dev/null && [ -s "$work/$1.png" ] \
    || { echo "make_help: no picture $1" >&2; return 1; }
}
shoot autofocus || exit 1
probe tab Quillomar 1 >/dev/null || { echo "make_help: cannot show the Control page" >&2; exit 1; }
# The position display is renewed every 500 ms on this page.
sleep 1.5
shoot control || exit 1

# The page of recorded runs, as headless Chromium shows it: the top of the page with the
# history and the newest run's plot and numbers.
browser=$(command -v chromium || command -v chromium-browser) || { echo "make_help: no chromium (scripts/setup.sh)" >&2; exit 1; }
[ -s "$work/prog/autofocus-runs.htm" ] || { echo "make_help: the run left no record page" >&2; exit 1; }
grep -q 'Temperature slope: -\?[0-9]' "$work/prog/autofocus-runs.htm" \
  || { echo "make_help: the record page shows no temperature slope" >&2; exit 1; }
timeout -k 5 120 "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --no-first-run \
  --user-data-dir="$work/chromium" --window-size=1000,750 --screenshot="$work/runs.png" \
  "file://$work/prog/autofocus-runs.htm" >"$work/chromium.log" 2>&1
[ -s "$work/runs.png" ] || { echo "make_help: no picture of the record page" >&2; exit 1; }

python3 - "$template" "$out/focusers_readme.htm" "$work/autofocus.png" "$work/control.png" "$work/runs.png" <<'EOF' || exit 1
import base64, sys
template, target, autofocus, control, runs = sys.argv[1:6]
text = open(template, encoding="cp1252").read()
def uri(path):
    return "data:image/png;base64," + base64.b64encode(open(path, "rb").read()).decode("ascii")
for mark, picture in (("@@PICTURE_AUTOFOCUS@@", autofocus), ("@@PICTURE_CONTROL@@", control),
                      ("@@PICTURE_RUNS@@", runs)):
    if text.count(mark) != 1:
        sys.exit("make_help: the document must hold %s exactly once" % mark)
    text = text.replace(mark, uri(picture))
# Windows line ends: the document is opened on Windows.
with open(target, "w", encoding="cp1252", newline="\r\n") as f:
    f.write(text)
EOF
echo "make_help: wrote $out/focusers_readme.htm"
