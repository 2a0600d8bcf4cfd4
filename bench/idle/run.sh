#!/usr/bin/env bash
# Idle cost: CPU time and context switches over a quiet minute (IDLE_S seconds, default
# 60) of MinimalWindow.exe (the least a window program does), then of the program
# disconnected, then of the program connected to the simulated focuser, whose position
# it then reads twice a second. Each is started alone in one Wine prefix, shown, left
# to settle, and sampled from /proc (proc_sample.py) at the start and the end of the
# window: the program's process, the prefix's wineserver (which serves every Wine call
# that crosses processes or waits, so a Windows program's cost is partly there), and the
# session's other processes. The simulator runs without a steering directory, so it
# does no file work of its own on the timer's calls.
# At the end of each window the program's memory as Windows reports it (Probe.exe
# resources: private bytes, working set) is put beside the Linux figures of the same
# process at the same moment (RssAnon, VmRSS), to show what "private bytes" means
# under Wine.
#   bench/idle/run.sh [IDLE_S]
# Environment: QM_BUILD64 (default build/win64).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ "${1:-}" != "--inner" ]; then
  exec timeout -k 10 900 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" --inner "$@"
fi
shift
idle=${1:-60}
source "$root/scripts/wine_env.sh"
b64=${QM_BUILD64:-$root/build/win64}
dir=$root/build/bench/idle
sampler=$root/bench/idle/proc_sample.py
rm -rf "$dir"; mkdir -p "$dir/prog"
for f in "$b64/Quillomar.exe" "$b64/bench/startup/MinimalWindow.exe" "$b64/tools/probe/Probe.exe"; do
  [ -f "$f" ] || { echo "error: $f is not built"; exit 1; }
done
cp "$b64/Quillomar.exe" "$b64/bench/startup/MinimalWindow.exe" "$dir/prog/"
qm_fresh_prefix "$dir/prefix"
prefix=$WINEPREFIX
trap 'qm_stop_wine; rm -rf "$dir/prefix"' EXIT
"$root/scripts/sim_ascom_register.sh" "$dir/prefix" "$b64" "" >/dev/null 2>&1 || { echo "error: registration failed"; exit 1; }
unset QM_SIM_DIR
probe() { timeout -k 5 60 wine "$b64/tools/probe/Probe.exe" "$@" 2>/dev/null | tr -d '\r'; }
failed=0

# window NAME EXE TITLE ARGS AUTOCONNECT: one idle window of one program.
window() {
  local name=$1 exe=$2 title=$3 arg=$4 connect=$5 app
  if [ "$exe" = Quillomar.exe ]; then
    printf '%s\r\n' "1001->$connect" 9990-\>0 9991-\>QmSim.Focuser > "$dir/prog/autofocus.ini"
  fi
  (cd "$dir/prog" && exec wine "$exe" $arg) >"$dir/$name.log" 2>&1 &
  app=$!
  if ! probe wait "$title" 60 >/dev/null; then
    echo "error: $name: the window did not appear"; kill "$app" 2>/dev/null; failed=1; return
  fi
  if [ "$exe" = Quillomar.exe ]; then
    # Connected or not, as asked: the Connect button is enabled exactly when disconnected.
    local want=$((1 - connect)) got="" _
    for _ in $(seq 100); do
      got=$(probe list "$title" | sed -n 's/.*class=Button.* enabled=\([01]\) .*text="Connect".*/\1/p' | head -1)
      [ "$got" = "$want" ] && break
      sleep 0.2
    done
    [ "$got" = "$want" ] || { echo "error: $name: Connect enabled=$got, wanted $want"; probe close "$title" >/dev/null; failed=1; return; }
  fi
  sleep "${QM_SETTLE_S:-5}"
  python3 "$sampler" snapshot "$prefix" > "$dir/$name.before"
  sleep "$idle"
  python3 "$sampler" snapshot "$prefix" > "$dir/$name.after"
  # Windows' memory figures and Linux's of the same process, one after the other.
  probe resources "$title" > "$dir/$name.resources"
  python3 "$sampler" snapshot "$prefix" > "$dir/$name.memory"
  if ! python3 "$sampler" diff "$dir/$name.before" "$dir/$name.after" "$exe" > "$dir/$name.diff"; then
    sed "s/^/$name: /" "$dir/$name.diff"; failed=1
  fi
  python3 "$sampler" diff "$dir/$name.after" "$dir/$name.memory" "$exe" | sed -n 's/^program-memory: //p' > "$dir/$name.linuxmem"
  probe close "$title" >/dev/null
  probe gone "$title" 30 >/dev/null || { echo "error: $name did not close"; failed=1; }
  wait "$app" 2>/dev/null
}

echo "idle cost: $idle s a window, after ${QM_SETTLE_S:-5} s of settling; CPU time from /proc/PID/task/*/schedstat"
window minimal MinimalWindow.exe MinimalWindow stay 0
window disconnected Quillomar.exe Quillomar 1 0
window connected Quillomar.exe Quillomar 1 1
[ $failed = 0 ] || { echo "error: an idle window could not be measured: no figures"; exit 1; }

field() { sed -n "s/^$2:.* $3=\([0-9.]*\).*/\1/p" "$dir/$1.diff"; }
printf '%-13s %34s %34s %16s\n' "" "program: CPU ms (ticks), switches" "wineserver: CPU ms (ticks), switches" "others: CPU ms"
for w in minimal disconnected connected; do
  printf '%-13s %9s (%4s) %8s/%-8s %9s (%4s) %8s/%-8s %16s\n' "$w" \
    "$(field $w program cpu_ms)" "$(field $w program tick_ms)" "$(field $w program voluntary)" "$(field $w program involuntary)" \
    "$(field $w wineserver cpu_ms)" "$(field $w wineserver tick_ms)" "$(field $w wineserver voluntary)" "$(field $w wineserver involuntary)" \
    "$(field $w others cpu_ms)"
done
echo "(switches: voluntary/involuntary)"
echo "memory at the end of each window: GetProcessMemoryInfo (Probe.exe resources) beside /proc of the same process, KB"
for w in minimal disconnected connected; do
  r() { sed -n "s/^$1: //p" "$dir/$w.resources"; }
  printf '%-13s PrivateUsage %s  PagefileUsage %s  WorkingSetSize %s  | /proc: %s\n' "$w" "$(( $(r private) / 1024 ))" \
    "$(( $(r pagefile) / 1024 ))" "$(( $(r working) / 1024 ))" "$(cat "$dir/$w.linuxmem")"
done
python3 - "$dir" "$idle" <<'PY'
import re, sys
d, idle = sys.argv[1], float(sys.argv[2])
def get(w, group, key):
    for line in open(f"{d}/{w}.diff"):
        if line.startswith(group + ":"):
            return float(re.search(rf"{key}=([0-9.]+)", line).group(1))
    raise SystemExit(f"error: no {group} {key} for {w}")
def switches(w, group):
    return get(w, group, "voluntary") + get(w, group, "involuntary")
def memory(w):
    win = {}
    for line in open(f"{d}/{w}.resources"):
        k, _, v = line.partition(": ")
        win[k] = v.strip()
    linux = dict(kv.split("=") for kv in open(f"{d}/{w}.linuxmem").read().split())
    return int(win["private"]) // 1024, int(win["pagefile"]) // 1024, int(win["working"]) // 1024, linux
for w in ("minimal", "disconnected", "connected"):
    private, pagefile, working, linux = memory(w)
    print(f"{w}: PrivateUsage {private} KB; PagefileUsage {pagefile} KB against RssAnon {linux['RssAnon']} KB;"
          f" WorkingSetSize {working} KB against VmRSS {linux['VmRSS']} KB")
base_cpu, base_sw = get("minimal", "program", "cpu_ms"), switches("minimal", "program")
base_all = base_cpu + get("minimal", "wineserver", "cpu_ms")
for w in ("disconnected", "connected"):
    cpu, sw = get(w, "program", "cpu_ms"), switches(w, "program")
    allcpu = cpu + get(w, "wineserver", "cpu_ms")
    # A CPU time of zero ticks gives no ratio: the difference is then given in ms.
    r_cpu = f"{cpu / base_cpu:.2f}" if base_cpu > 0 else f"+{cpu - base_cpu:.1f} ms"
    r_all = f"{allcpu / base_all:.2f}" if base_all > 0 else f"+{allcpu - base_all:.1f} ms"
    r_sw = f"{sw / base_sw:.2f}" if base_sw > 0 else f"+{sw - base_sw:.0f}"
    print(f"{w}: program {cpu:.1f} ms CPU ({100 * cpu / 1000 / idle:.3f} % of one core), {sw:.0f} switches "
          f"({sw / idle:.1f}/s); with wineserver {allcpu:.0f} ms; ratios to MinimalWindow: CPU {r_cpu}, "
          f"with wineserver {r_all}, switches {r_sw}")
    print(f"summary:\tidle CPU over {idle:.0f} s, {w} (with wineserver)\t{cpu:.1f} ms ({allcpu:.1f} ms)"
          f"\tminimal window program, {base_cpu:.1f} ms ({base_all:.1f} ms)\t{r_cpu} ({r_all})"
          f"\tcontext switches {sw:.0f} against {base_sw:.0f}: {r_sw}")
PY
