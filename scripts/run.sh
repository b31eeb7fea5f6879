#!/usr/bin/env bash
# The main job: build the host face and the Windows executable, then run the utility on the
# simulator's built-in default machine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/ensure-deps.sh
cmake --preset host >/dev/null
cmake --build --preset host >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null

if [ -x build/host/tools/refresh-sim ]; then
    build/host/tools/refresh-sim
fi
exe=$(ls build/windows/*.exe 2>/dev/null | head -n 1 || true)
if [ -n "$exe" ]; then
    echo "Windows executable: $exe ($(stat -c %s "$exe") bytes)"
else
    echo "Windows build: product objects in build/windows (no executable yet)"
fi
