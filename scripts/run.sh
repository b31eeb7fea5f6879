#!/usr/bin/env bash
# The main job: build the host face and the Windows executable, then run the utility on the
# simulator's built-in default machine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/ensure.sh
cmake --preset host >/dev/null
cmake --build --preset host >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null

build/host/tools/refresh-sim
for exe in build/windows/refresh.exe build/windows/lumwatch.exe build/windows/lumset.exe build/windows/refcheck.exe; do
    echo "Windows executable: $exe ($(stat -c %s "$exe") bytes)"
done
