#!/usr/bin/env bash
# Install what the Wine-based tests need: Wine (32-bit), Xvfb, icoutils
# (wrestool, to look at the exe's resources) and the i686 MinGW compiler.
# Does nothing when everything is already there; runs apt-get only for the
# missing packages.  Needs root (or sudo) when something is missing.
set -euo pipefail

want=(wine wine32:i386 xvfb icoutils g++-mingw-w64-i686)

installed() {
    dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null | grep -qx installed
}

missing=()
for p in "${want[@]}"; do
    installed "$p" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
echo "ensure-wine: installing ${missing[*]}" >&2
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
