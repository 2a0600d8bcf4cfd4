#!/usr/bin/env bash
# A short soak in the test command: 24 complete runs in one program instance, with
# two disconnects and reconnects, each reported exactly once and memory not growing (its
# slope judged over runs 9 to 24: the first runs still settle, by 12 kB steps). The
# long soak is tests/soak/soak.sh (200 runs by default).
QM_SOAK_WARMUP=${QM_SOAK_WARMUP:-8} exec bash "$(dirname "$0")/../soak/soak.sh" 24
