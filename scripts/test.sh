#!/usr/bin/env bash
# Builds every face and runs every test: the host tests, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, a bounded run of each fuzz target, the Windows cross-build, and the
# shipped executable run under Wine against the host build.
#
# The Wine part takes longest and often waits: once the Windows executables and refresh-sim are
# built it runs in the background (Wine and Xvfb install meanwhile, where they are missing), beside
# the rest, which runs at a lower priority so that the Wine sessions, whose watcher proofs time the
# utility's runs, are served first. Its output comes whole at the end.
set -euo pipefail
# Job control: each step and the Wine part run in a process group of their own, which a stop ends
# whole; a Ctrl+C reaches only this script, which stops them.
set -m
cd "$(dirname "$0")/.."

bash scripts/ensure.sh

logs=$(mktemp -d "${TMPDIR:-/tmp}/test-logs.XXXXXX")
ensure= wine= current=
# However the script ends, the background work is stopped and waited for: run_all.sh then stops
# every Wine session and Xvfb it started and removes its run folders.
cleanup() {
    local pid
    for pid in $current $ensure $wine; do
        kill -TERM -- "-$pid" 2>/dev/null || true
    done
    wait || true
    rm -rf "$logs"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# A step runs in the background while the script waits for it, so that a signal reaches the traps
# at once rather than after the step.
step() {  # step COMMAND...
    local status=0
    "$@" &
    current=$!
    wait "$current" || status=$?
    current=
    return "$status"
}

# What the Wine proofs need besides, installed while the builds run.
bash scripts/ensure.sh --wine >"$logs/ensure-wine" 2>&1 &
ensure=$!

echo "== house style (clang-format) =="
step bash scripts/format.sh --check

echo "== Windows executable (MinGW) =="
cmake --preset windows >/dev/null
step cmake --build --preset windows

echo "== refresh-sim, for the Wine proofs =="
cmake --preset host >/dev/null
step cmake --build --preset host --target refresh-sim

# Both folders are built for the Wine part (WINE_TEST_BUILT): the host folder's other targets build
# beside it.
wait "$ensure" || { cat "$logs/ensure-wine"; echo "test: installing Wine and Xvfb failed" >&2; exit 1; }
ensure=
WINE_TEST_BUILT=1 bash tests/wine/run_all.sh build/host build/windows >"$logs/wine" 2>&1 &
wine=$!

echo "== host tests =="
step nice cmake --build --preset host
step nice ctest --preset host
# ctest keeps a passing test's output to itself; show how many machines the sweep ran.
build/host/tests/sweep/sweep_test | grep 'safety sweep:'

echo "== host tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake --preset host-sanitize >/dev/null
step nice cmake --build --preset host-sanitize
step nice ctest --preset host-sanitize

echo "== fuzzing: libFuzzer targets under AddressSanitizer and UndefinedBehaviorSanitizer =="
step nice bash scripts/fuzz.sh

echo "== the Windows executable under Wine, against refresh-sim =="
status=0
wait "$wine" || status=$?
wine=
cat "$logs/ensure-wine" "$logs/wine"
exit "$status"
