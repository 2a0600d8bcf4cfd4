#!/usr/bin/env bash
# Autofocus runs with a noisy star whose true focus lies between the sweep's positions:
# the best focus the program reports must be close to the truth, not merely the step
# with the highest value.
#
# The bound comes from the focus-accuracy benchmark (bench/focus_accuracy, the same star
# model and the same sweep: 7 steps of 100, 2 values a step, true focus within 150 steps
# of the start): at 5 % noise the program's estimate is off by 4.9 steps on average
# (root mean square 6.2, worst of 20,000 sweeps 31). The bound, 25 steps, is four times
# that RMS: an error beyond it comes about once in ten thousand runs, so a fixed seed
# does not flake even though the exposures that count shift a little with timing. It is
# still tight enough for the faults that matter: the true focus is placed 40-45 steps
# from the nearest step position, so taking the best step without interpolating misses
# by 40 or more, and a position off by one step misses by about 100.
source "$(dirname "$0")/lib.sh"
e2e_begin focus_noise

BOUND=25
e2e_sim Absolute=1 MaxStep=60000 StartPosition=10000 StepsPerSecond=0
printf '%s\r\n' '1003->7' '1004->100' '1005->2' '1001->1' '1002->0' '9990->0' '9991->QmSim.Focuser' \
  >"$E2E_DIR/prog/autofocus.ini"
e2e_start
connected() { [ "$(field enabled "$(control_line Disconnect)")" = 1 ]; }
wait_for "the automatic connection" 10 connected || exit 1

at_start() { sim_calls | grep ' Move DISPATCH_METHOD' | tail -1 | grep -q 'VT_BYREF=10000)'; }
#            true offset  seed
for run in "45 3" "-145 4" "140 5"; do
  read -r offset seed <<<"$run"
  # Each run starts from 10000, so the sweep covers 9700..10300 as in the benchmark.
  [ "$run" = "45 3" ] || host --raw 5 10000 >/dev/null
  [ "$run" = "45 3" ] || wait_for "the focuser back at 10000" 5 at_start || continue
  out=$(host --quiet --noise 0.05 --true-offset "$offset" --seed "$seed" --cadence-ms 150 --timeout-s 60)
  rc=$?
  name="5 % noise, true focus $((10000 + offset))"
  expect_eq "$name: reported" "$rc" 0
  expect_eq "$name: seven step lines" "$(grep -c '^log: .* = ' <<<"$out")" 7
  error=$(sed -n 's/^result: BestFocus=-\?[0-9]* TrueFocus=-\?[0-9]* Error=\(-\?[0-9]*\)$/\1/p' <<<"$out")
  echo "  ($name: $(sed -n 's/^result: //p' <<<"$out"))"
  expect_true "$name: best focus within $BOUND steps (error ${error:-none})" \
    test -n "$error" -a "${error#-}" -le "$BOUND"
done
