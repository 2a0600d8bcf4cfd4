#!/usr/bin/env bash
# Late-bound call cost: bench_late_bound.exe under Wine in a prefix of its own with the
# simulated focuser registered (64-bit).
#   bench/late_bound/run.sh [CALLS]      (default 2000 a case and round)
# Environment: QM_BUILD64 (default build/win64).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ "${1:-}" != "--inner" ]; then
  exec timeout -k 10 600 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" --inner "$@"
fi
shift
source "$root/scripts/wine_env.sh"
b64=${QM_BUILD64:-$root/build/win64}
dir=$root/build/bench/late_bound
rm -rf "$dir"; mkdir -p "$dir"
qm_fresh_prefix "$dir/prefix"
trap 'qm_stop_wine; rm -rf "$dir/prefix"' EXIT
"$root/scripts/sim_ascom_register.sh" "$dir/prefix" "$b64" "" >/dev/null 2>&1 || { echo "error: registration failed"; exit 1; }
timeout -k 5 600 wine "$b64/bench/late_bound/bench_late_bound.exe" "${1:-2000}" 2>/dev/null | tr -d '\r' | tee "$dir/out.txt"
status=${PIPESTATUS[0]}
[ "$status" = 0 ] || { echo "error: bench_late_bound.exe ended with $status"; exit 1; }
grep -q '^summary:' "$dir/out.txt" || { echo "error: no figures"; exit 1; }
