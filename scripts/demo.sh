#!/usr/bin/env bash
# The main job: a complete autofocus run of the real program under Wine, against the
# simulated ASCOM focuser and the simulated imaging host. Installs what is missing,
# builds, runs, and prints the log, the result against the true focus, the path of a
# screenshot of the window after the run and the path of the run record's page.
#   scripts/demo.sh [--true-offset N] [--noise X] [--seed N]   (options go to the host)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" != "--inner" ]; then
  "$root/scripts/setup.sh"
  echo "Building (the first build takes a few minutes) ..."
  "$root/scripts/build.sh" win64 >/dev/null || { echo "build failed"; exit 1; }
  exec timeout -k 10 600 "$root/scripts/xvfb_run" "$0" --inner "$@"
fi
shift
source "$root/scripts/wine_env.sh"
demo=$root/build/demo
rm -rf "$demo"; mkdir -p "$demo/prog" "$demo/sim"
cp "$root/build/win64/Quillomar.exe" "$demo/prog/"
qm_fresh_sim_prefix "$demo/prefix" "$root/build/win64" "$root/build/win32" || exit 1
export QM_SIM_DIR; QM_SIM_DIR=$(qm_winpath "$demo/sim")

# An absolute focuser at 10000 that moves 2000 steps a second, with a thermometer that
# reads 8.5 °C when the run starts and a little less when it ends.
printf '%s\r\n' Absolute=1 MaxStep=60000 StartPosition=10000 StepsPerSecond=2000 Temperature=8.5 \
  TemperatureStep=-0.1 > "$demo/sim/sim.ini"
# Remember the simulated driver and connect to it automatically at start; 7 steps of
# 100, 2 exposures a step, backlash correction on.
printf '%s\r\n' 1003-\>7 1004-\>100 1005-\>2 1001-\>1 1002-\>1 9990-\>0 9991-\>QmSim.Focuser > "$demo/prog/autofocus.ini"
# Keep a record of the run: a line in autofocus-runs.jsonl and the page autofocus-runs.htm.
printf 'run-record = on\r\n' > "$demo/prog/autofocus-options.ini"

(cd "$demo/prog" && exec wine Quillomar.exe 1) >"$demo/app.log" 2>&1 &
app=$!
probe() { timeout -k 5 60 wine "$root/build/win64/tools/probe/Probe.exe" "$@" 2>/dev/null | tr -d '\r'; }
probe wait Quillomar 30 >/dev/null || { echo "the program's window did not appear"; exit 1; }
sleep 1
echo "Quillomar is up and connected to the simulated focuser; the simulated host starts a run."
extra=("$@"); [ ${#extra[@]} -eq 0 ] && extra=(--true-offset 137 --noise 0.02 --seed 7)
timeout -k 5 300 wine "$root/build/win64/tools/sim_host/SimHost.exe" --quiet "${extra[@]}" 2>/dev/null | tr -d '\r' \
  | sed -n 's/^log: /  log | /p; s/^result: /result: /p; s/^status: /status: /p; s/^final: /final: /p; s/^reports: /reports: /p; s/^error: /error: /p'
rc=${PIPESTATUS[0]}
import -window root "$demo/after-run.png" 2>/dev/null && echo "screenshot: $demo/after-run.png"
[ -s "$demo/prog/autofocus-runs.htm" ] && echo "run record page: $demo/prog/autofocus-runs.htm"
probe close Quillomar >/dev/null
wait $app 2>/dev/null
qm_stop_wine
exit $rc
