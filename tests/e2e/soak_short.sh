#!/usr/bin/env bash
# A short soak in the test command: twenty complete runs in one program instance, with
# one disconnect and reconnect, each reported exactly once and memory not growing. The
# long soak is tests/soak/soak.sh (200 runs by default).
exec bash "$(dirname "$0")/../soak/soak.sh" 20
