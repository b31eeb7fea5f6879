#!/usr/bin/env bash
# Builds every face and runs every test: the host tests, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, a bounded run of each fuzz target, the Windows cross-build, and the
# shipped executable run under Wine against the host build.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/ensure.sh

echo "== house style (clang-format) =="
bash scripts/format.sh --check

echo "== Windows executable (MinGW) =="
cmake --preset windows >/dev/null
cmake --build --preset windows

echo "== host tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake --preset host-sanitize >/dev/null
cmake --build --preset host-sanitize
ctest --preset host-sanitize

echo "== fuzzing: libFuzzer targets under AddressSanitizer and UndefinedBehaviorSanitizer =="
bash scripts/fuzz.sh

echo "== host tests =="
cmake --preset host >/dev/null
cmake --build --preset host
ctest --preset host
# ctest keeps a passing test's output to itself; show how many machines the sweep ran.
build/host/tests/sweep/sweep_test | grep 'safety sweep:'

echo "== the Windows executable under Wine, against refresh-sim =="
bash tests/wine/run_all.sh build/host build/windows
