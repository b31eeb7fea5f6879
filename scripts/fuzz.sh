#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz: clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for a bounded time, FUZZ_SECONDS each (20 unless set), starting from a temporary
# copy of its seed corpus so the repository stays as it is. Fails when a target finds a crash or a
# difference; the input that caused it is kept under build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-20}"
targets=(system_ini_fuzz selection_fuzz)

bash scripts/ensure.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
findings=build/fuzz/findings
mkdir -p "$findings"

failed=0
for target in "${targets[@]}"; do
    echo "== fuzzing $target for $seconds s =="
    cp -r "tests/fuzz/corpus/$target" "$work/$target"
    if build/fuzz/tests/fuzz/"$target" -max_total_time="$seconds" -timeout=10 \
        -artifact_prefix="$findings/$target-" "$work/$target" >"$work/$target.log" 2>&1; then
        grep -E '^(#[0-9]+[[:space:]]+DONE|Done )' "$work/$target.log" || true
    else
        failed=1
        tail -n 40 "$work/$target.log"
        echo "$target: found a failing input, kept under $findings/"
    fi
done
exit "$failed"
