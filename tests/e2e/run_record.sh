#!/usr/bin/env bash
# The run record of the real program ("run-record = on" in autofocus-options.ini):
# a completed run and a stopped run each add one JSON line with every field to
# autofocus-runs.jsonl and rewrite autofocus-runs.htm; a record that cannot be written
# does not disturb the run; with the fit and the check on, the record holds the fit's
# figures and curve. The focuser's temperature is read at each run's start and end into
# the record; a thermometer that is missing or fails leaves it null and changes nothing
# else. The page is rendered by headless Chromium (scripts/setup.sh installs it; without
# it, or without ImageMagick to read the screenshot, those checks fail) and the
# screenshot must show the plot: points, fitted curve and both results' marks.
# e2e: both-architectures
source "$(dirname "$0")/lib.sh"
e2e_begin run_record

jsonl=$E2E_DIR/prog/autofocus-runs.jsonl
page=$E2E_DIR/prog/autofocus-runs.htm
records() { if [ -e "$jsonl" ]; then grep -c . "$jsonl"; else echo 0; fi; }
stop_enabled() { [ "$(field enabled "$(control_line Stop)")" = 1 ]; }
moves() { sim_calls | grep -c ' Move DISPATCH_METHOD'; }
connected() { [ "$(field enabled "$(control_line Disconnect)")" = 1 ]; }
# Checks the last record of the file: check_record OUTCOME RESULT TEMPERATURES [fit];
# python prints one "ok"/"FAIL" line per check.
check_record() {
  python3 - "$jsonl" "$@" <<'EOF'
import json, sys
path, outcome, result, temperatures = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
fitted = sys.argv[5:] == ["fit"]  # with best-focus = fit the result may be the fitted peak
lines = [l for l in open(path, encoding="utf-8").read().splitlines() if l.strip()]
r = json.loads(lines[-1])
def check(what, ok):
    print(("ok   " if ok else "FAIL ") + what + ("" if ok else ": " + json.dumps(r)))
fields = ["time", "driver", "steps", "increment", "exposuresPerStep", "points", "pendingValues",
          "threePoint", "fit", "check", "result", "outcome", "durationMs", "temperatureStart", "temperatureEnd"]
check("every field present", all(f in r for f in fields))
check("outcome " + outcome, r.get("outcome") == outcome)
check("time in UTC, ISO 8601", len(r.get("time", "")) == 20 and r["time"][10] == "T" and r["time"].endswith("Z"))
check("driver is the remembered one", r.get("driver") == "QmSim.Focuser")
check("run parameters", (r.get("steps"), r.get("increment"), r.get("exposuresPerStep")) == (7, 100, 2))
check("duration measured", isinstance(r.get("durationMs"), int) and r["durationMs"] > 0)
check("temperatures at start and end " + temperatures,
      [r.get("temperatureStart"), r.get("temperatureEnd")] == json.loads(temperatures))
points = r.get("points", [])
check("two counted values per step, the largest logged",
      all(len(p["values"]) == 2 and p["value"] == max(0, max(p["values"])) for p in points))
if outcome == "stopped":
    check("no result for a stopped run", r.get("result") is None and r.get("threePoint") is None)
    check("some steps before the stop", 1 <= len(points) < 7)
else:
    check("seven steps 100 apart", [p["position"] for p in points] ==
          [points[0]["position"] + 100 * k for k in range(7)] if points else False)
    check("result is the best focus " + result, str(r.get("result")) == result)
    if fitted:
        fit = r.get("fit") or {}
        check("result is the three-point result or the fitted peak",
              r.get("result") in (r.get("threePoint"), round(fit.get("peak") or 0)))
    else:
        check("three-point result recorded", str(r.get("threePoint")) == result)
    check("fit and check recorded", isinstance(r.get("fit"), dict) and r["check"]["passed"] in (True, False))
EOF
}
# Counts the "ok"/"FAIL" lines of a checker as checks named PREFIX: expect_checks PREFIX CMD...
expect_checks() {
  local prefix=$1 line
  shift
  while IFS= read -r line; do
    case $line in ok*) pass "$prefix: ${line#ok   }" ;; *) fail "$prefix: ${line#FAIL }" ;; esac
  done < <("$@" 2>&1)
}
expect_record() { expect_checks record check_record "$@"; }
# Checks the page's temperature slope against the record: with N runs of the record that
# found a focus and read a temperature (N given), the slope of their least-squares line and
# its standard error from N = 3 on, and before that only how many runs it still needs.
check_slope() {
  python3 - "$jsonl" "$page" "$1" <<'EOF'
import json, math, re, sys
record, page, expected = sys.argv[1], sys.argv[2], int(sys.argv[3])
def check(what, ok, detail=""):
    print(("ok   " if ok else "FAIL ") + what + ("" if ok else ": " + detail))
points = []
for line in open(record, encoding="utf-8").read().splitlines():
    r = json.loads(line)
    readings = [t for t in (r["temperatureStart"], r["temperatureEnd"]) if t is not None]
    if r["outcome"] == "focus" and r["result"] is not None and readings:
        points.append((sum(readings) / len(readings), r["result"]))
text = open(page, encoding="utf-8").read()
shown = re.search(r"Temperature slope: (-?[0-9]+\.[0-9]{2}) \u00b1 ([0-9]+\.[0-9]{2}) steps per \u00b0C</b> \(([0-9]+) runs\)", text)
check("%d runs with a focus and a temperature in the record" % expected, len(points) == expected, repr(points))
if expected < 3:
    check("no slope from %d runs" % expected, shown is None, shown.group(0) if shown else "")
    check("the page says how many runs it has of 3",
          "needs 3 runs with a focus and a temperature (%d so far)" % expected in text)
else:
    n = len(points)
    mt, mr = sum(t for t, _ in points) / n, sum(r for _, r in points) / n
    sxx = sum((t - mt) ** 2 for t, _ in points)
    slope = sum((t - mt) * (r - mr) for t, r in points) / sxx
    residuals = sum((r - mr - slope * (t - mt)) ** 2 for t, r in points)
    error = math.sqrt(residuals / (n - 2) / sxx)
    check("slope shown", shown is not None, text[text.find("<section"):text.find("</section>")][-400:])
    if shown:
        check("slope %.2f +- %.2f over %d runs as the record's least squares give" % (slope, error, n),
              abs(float(shown.group(1)) - slope) < 0.006 and abs(float(shown.group(2)) - error) < 0.006
              and int(shown.group(3)) == n, shown.group(0))
EOF
}

# The thermometer answers 12.5 °C at its first read and 0.25 °C less at each read after.
sim_settings=(Absolute=1 MaxStep=60000 StartPosition=10000 StepsPerSecond=4000)
e2e_sim "${sim_settings[@]}" Temperature=12.5 TemperatureStep=-0.25
printf '%s\r\n' '1003->7' '1004->100' '1005->2' '1001->1' '1002->0' '9990->0' '9991->QmSim.Focuser' \
  > "$E2E_DIR/prog/autofocus.ini"
# Saved as Notepad's "UTF-8" does, with a byte-order mark before the first key.
printf '\xEF\xBB\xBFrun-record = on\r\n' > "$E2E_DIR/prog/autofocus-options.ini"
e2e_start
wait_for "the automatic connection" 10 bash -c "grep -q 'VT_BOOL=-1) -> OK' '$E2E_DIR/sim/calls.log' 2>/dev/null"

# 1. A completed run: one record with every field, and the page.
out=$(host --true-offset 40 --quiet --cadence-ms 250)
expect_eq "host received the report" "$?" 0
best=$(sed -n 's/^result: BestFocus=\(-\?[0-9]*\).*/\1/p' <<<"$out")
wait_for "the first record" 10 bash -c "[ \$(grep -c . '$jsonl' 2>/dev/null) = 1 ]"
expect_record focus "$best" '[12.5, 12.25]'
expect_true "page written" test -s "$page"
expect_eq "page holds one run" "$(grep -c '<!--run-->' "$page")" 1
expect_eq "page has no script" "$(grep -ci '<script' "$page")" 0
# Whether the page holds the history once, between its heading and its first run.
above_runs() {
  python3 -c "
import sys; t = open('$page', encoding='utf-8').read()
sys.exit(0 if t.count('<section') == 1 and t.find('</h1>') < t.find('<section') < t.find('<!--run-->') else 1)"
}
expect_true "the history stands once above the runs" above_runs
expect_checks history check_slope 1

# 2. A run stopped by the user: recorded as stopped, nothing moved after the stop.
: > "$E2E_DIR/sim/calls.log"
host --quiet --cadence-ms 300 --expect-no-report 6 > "$E2E_DIR/run2.out" &
hostpid=$!
under_way() { stop_enabled && [ "$(moves)" -ge 3 ]; }
wait_for "the second run to be under way" 20 under_way
probe click Quillomar Stop >/dev/null
wait_for "the stopped run's record" 10 bash -c "[ \$(grep -c . '$jsonl' 2>/dev/null) = 2 ]"
wait $hostpid
expect_eq "no report after Stop" "$?" 0
expect_record stopped "" '[12.0, 11.75]'
expect_eq "page holds both runs" "$(grep -c '<!--run-->' "$page")" 2
expect_true "the history still stands once above the runs" above_runs
expect_true "newest run first on the page" python3 -c "
import sys; t = open('$page', encoding='utf-8').read()
sys.exit(0 if t.find('<b>stopped</b>') < t.find('<b>focus</b>') else 1)"

# 3. The record file is a directory and the page cannot be replaced either, and the
# driver no longer knows Temperature: the run goes on as ever, with no box and the report
# sent.
cp "$page" "$E2E_DIR/page-before.htm"
e2e_sim "${sim_settings[@]}" NoTemperature=1
: > "$E2E_DIR/sim/calls.log"
rm -f "$jsonl"; mkdir "$jsonl"
chmod a-w "$page" 2>/dev/null
n=$(moves)
out=$(host --true-offset -60 --quiet --cadence-ms 250)
expect_eq "run with an unwritable record reports" "$?" 0
expect_match "run with an unwritable record finds a result" "$out" 'result: BestFocus=-?[0-9]+ '
expect_eq "sweep and final move made" "$(($(moves) - n))" 8
count_boxes Quillomar 1
expect_eq "no error report" "$BOXES" 0
count_boxes Error 1
expect_eq "no error box" "$BOXES" 0
expect_true "record path still a directory" test -d "$jsonl"
expect_eq "the run waits beside the record for a later run" \
  "$(find "$E2E_DIR/prog" -maxdepth 1 -name 'autofocus-runs.pending-*.jsonl' | wc -l)" 1
expect_eq "Temperature asked for at start and end, unknown" \
  "$(sim_calls | grep -c 'Temperature GetIDsOfNames () -> ERROR')" 2
expect_true "read-only page untouched" cmp -s "$page" "$E2E_DIR/page-before.htm"
chmod u+w "$page"
expect_match "program still answers" "$(probe winfo Quillomar)" '^title: Quillomar'

# 4. With the fit and the check on as well, the record holds the fit's peak, quality and
# curve and the check's verdict; the run moves to the fitted peak, or to the three-point
# result where the fit is not trusted (this star is narrow for a 100-step row).
rmdir "$jsonl"
# The record is made anew here: the run that waited in 3 is left out of it.
rm -f "$E2E_DIR"/prog/autofocus-runs.pending-*.jsonl
# Saved as Notepad's "Unicode": UTF-16 little-endian with its mark.
{ printf '\xFF\xFE'; printf '%s\r\n' 'run-record = on' 'best-focus = fit' 'curve-check = on' | iconv -f ASCII -t UTF-16LE; } \
  > "$E2E_DIR/prog/autofocus-options.ini"
cp "$E2E_BUILD/QmDriverCheck.exe" "$E2E_DIR/prog/"
shown=$(cd "$E2E_DIR/prog" && timeout -k 5 60 wine QmDriverCheck.exe --options 2>/dev/null | tr -d '\r')
expect_match "--options names the encoding" "$shown" 'encoding: UTF-16 little-endian'
expect_match "--options reads the UTF-16 file" "$shown" '  best-focus = fit'
expect_match "--options rejects no line of it" "$shown" 'No line rejected'
probe close Quillomar >/dev/null
e2e_wait_exit 20
# The thermometer's first read (the run's start) fails with a driver error; the end's is read.
e2e_sim "${sim_settings[@]}" Temperature=12.5 'Fail.Temperature=1:Thermometer\snot\sready'
e2e_start
wait_for "the automatic connection again" 10 connected
host --raw 5 10000 >/dev/null
out=$(host --true-offset 40 --quiet --cadence-ms 250)
expect_eq "fitted run reports" "$?" 0
best=$(sed -n 's/^result: BestFocus=\(-\?[0-9]*\).*/\1/p' <<<"$out")
wait_for "the fitted run's record" 10 bash -c "[ \$(grep -c . '$jsonl' 2>/dev/null) = 1 ]"
expect_record focus "$best" '[null, 12.5]' fit
expect_eq "the failed read was made" "$(sim_calls | grep -c 'Temperature .* EXCEPTION .*Thermometer not ready')" 1
count_boxes Quillomar 1
expect_eq "no error report for the failed read" "$BOXES" 0
count_boxes Error 1
expect_eq "no error box for the failed read" "$BOXES" 0
expect_match "log ends with the result" "$(probe list Quillomar | grep ' class=Edit cindex=0 ' | head -1)" "\\\\r\\\\n *$best -> Focus\"\$"
expect_true "record of the fit: converged, peak, quality, curve, check passed, moved to a result it holds" python3 -c "
import json, sys
r = json.loads(open('$jsonl', encoding='utf-8').read().splitlines()[-1])
f = r['fit']
ok = (f['converged'] and isinstance(f['peak'], (int, float)) and isinstance(f['quality'], (int, float))
      and len(f['curve']) >= 10 and r['check'] == {'passed': True, 'reason': ''}
      and r['result'] == $best and r['result'] in (round(f['peak']), r['threePoint'])
      and r['outcome'] == 'focus')
sys.exit(0 if ok else print(json.dumps(r)) or 1)"

# 5. The history's temperature slope: the record (made anew in 4) holds one run with a
# temperature. Two more runs follow with a thermometer that falls 1.5 °C a read, from
# 11 °C at the object's first read (the focuser object has counted one read so far), each
# finding its focus higher; the second still needs a third, with which the slope appears
# as the record's least squares give it.
expect_checks history check_slope 1
e2e_sim "${sim_settings[@]}" Temperature=11 TemperatureStep=-1.5
offset=40
for temperatures in '[9.5, 8.0]' '[6.5, 5.0]'; do
  offset=$((offset + 20))
  n=$(records)
  host --raw 5 10000 >/dev/null
  out=$(host --true-offset $offset --quiet --cadence-ms 250)
  expect_eq "run with the true focus $offset above reports" "$?" 0
  best=$(sed -n 's/^result: BestFocus=\(-\?[0-9]*\).*/\1/p' <<<"$out")
  wait_for "the record of the run $offset above" 10 bash -c "[ \$(grep -c . '$jsonl' 2>/dev/null) = $((n + 1)) ]"
  expect_record focus "$best" "$temperatures" fit
  expect_checks history check_slope $((n + 1))
done
expect_true "the history still stands once above the runs" above_runs

# 6. The page in a real browser: headless Chromium renders it, and the screenshot shows
# the history above the runs (results against time, against temperature and the
# temperature's trend line) and the newest run's plot: the step values, the fitted curve
# and the marks of both results.
browser=$(command -v chromium || command -v chromium-browser)
if [ -z "$browser" ]; then
  fail "page screenshot: no chromium to take it (scripts/setup.sh installs it)"
else
  shot=$E2E_DIR/page.png
  timeout -k 5 120 "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --no-first-run \
    --user-data-dir="$E2E_DIR/chromium" --window-size=1000,900 --screenshot="$shot" "file://$page" \
    >"$E2E_DIR/chromium.log" 2>&1
  expect_true "screenshot taken" test -s "$shot"
  # Pixels of COLOUR inside GEOMETRY (WxH+X+Y) of the screenshot; a count that cannot be
  # made prints why instead of a number, which no comparison below takes.
  colour_pixels() {
    local n
    if n=$(convert "$shot" -crop "$2" +repage -fuzz 4% -fill black -opaque "$1" -fill white +opaque black \
      -colorspace gray -format '%[fx:round(w*h*(1-mean))]' info: 2>"$E2E_DIR/convert.err") && [[ $n =~ ^[0-9]+$ ]]; then
      echo "$n"
    else
      echo "unmeasured: $(head -1 "$E2E_DIR/convert.err")"
    fi
  }
  # Whether the count of COLOUR in GEOMETRY is at least LEAST: at_least COLOUR GEOMETRY LEAST.
  at_least() {
    local n
    n=$(colour_pixels "$1" "$2")
    [[ $n =~ ^[0-9]+$ ]] && [ "$n" -ge "$3" ] && return 0
    echo "  $1 in $2: $n pixels, at least $3 wanted"
    return 1
  }
  # The history's box stands below the heading, its time plot at the left and its
  # temperature plot at the right; the newest run's box below it and the colour key, its
  # plot at the left.
  history_left='510x260+20+85'
  history_right='420x260+530+85'
  runs='1000x470+0+430'
  left='480x470+0+430'
  right='500x470+500+430'
  expect_true "results plotted against time" at_least '#7b3fb8' "$history_left" 100
  expect_true "results plotted against temperature" at_least '#138a8a' "$history_right" 100
  expect_true "temperature trend line drawn" at_least '#a8327a' "$history_right" 100
  expect_eq "no history among the runs" "$(colour_pixels '#7b3fb8' "$runs")" 0
  expect_true "step values plotted at the left" at_least '#1f5fbf' "$left" 200
  expect_true "fitted curve plotted" at_least '#e07800' "$left" 200
  expect_true "three-point mark plotted" at_least '#139a2a' "$left" 100
  expect_true "fitted peak mark plotted" at_least '#c81e1e' "$left" 60
  expect_eq "no plot colour among the numbers" "$(colour_pixels '#1f5fbf' "$right")" 0
fi
