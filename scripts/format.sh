#!/usr/bin/env bash
# Keeps the house style: formats every tracked C++ file in place, or with --check only reports the
# files clang-format would change and fails.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
    clang-format --dry-run -Werror "${files[@]}"
    echo "format: ${#files[@]} files in the house style"
else
    clang-format -i "${files[@]}"
fi
