#!/usr/bin/env bash
# Installs what the host build, the tests and the Windows cross-build need, with apt-get, only
# when something is missing. Runs as root on a Debian machine; quiet and quick when all is there.
set -euo pipefail

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for pkg in cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev \
           g++-mingw-w64-i686 binutils-mingw-w64-i686 clang libclang-rt-dev clang-format python3 git; do
    have_pkg "$pkg" || need+=("$pkg")
done

if ((${#need[@]})); then
    echo "installing: ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q >/dev/null
    apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null
fi
