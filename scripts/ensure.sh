#!/usr/bin/env bash
# Installs what the builds and the tests need, with apt-get, only what is missing: quiet and quick
# when everything is there. Runs as root on a Debian machine (or with sudo).
#
#   ensure.sh          the host build, its tests, the fuzz targets and the Windows cross-build
#   ensure.sh --wine   and what the Wine proofs need besides: Wine (32-bit) and Xvfb
#
# Where the kernel does not run 32-bit programs (a VM whose kernel leaves them out: "Exec format
# error"), --wine makes them run under qemu-user instead, which takes three more things, checked
# on every call:
#   - qemu-i386 registered for 32-bit x86 programs with binfmt_misc (the registration does not
#     outlive a reboot). qemu 8.1 or later: Wine reserves its address space with
#     MAP_FIXED_NOREPLACE, which older qemu ignores, and Wine never comes up. Bookworm has 7.2, its
#     backports 10.
#   - wine64, for its 64-bit wineserver: the emulated one cannot write into a debugged process, and
#     the tests' debugger gets no process to debug.
#   - scripts/qemu-trapno.c, preloaded into the 32-bit Wine processes (tests/wine/run_case.sh sets
#     QEMU_SET_ENV): qemu leaves the trap number out of signal contexts, which Wine needs to tell a
#     privileged instruction, a page fault, a breakpoint and a single step apart.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
trapno_dir=/usr/local/lib/wine-qemu-trapno  # run_case.sh names it too

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

installed() {
    dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null | grep -qx installed
}

arch_i386() {
    dpkg --print-foreign-architectures | grep -qx i386 && return 0
    $SUDO dpkg --add-architecture i386
    updated=
}

updated=
install_missing() {  # install_missing PACKAGE...
    local missing=() p
    for p in "$@"; do
        installed "$p" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "ensure: installing ${missing[*]}" >&2
    [ -n "$updated" ] || { $SUDO apt-get update -qq; updated=1; }
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The host build, the tests and the Windows cross-build.
install_missing cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev \
    g++-mingw-w64-i686 binutils-mingw-w64-i686 clang libclang-rt-dev clang-format python3 git
[ "${1:-}" = --wine ] || exit 0

# Wine (32-bit) and the X server the Wine proofs run it on.
arch_i386
install_missing wine wine32:i386 xvfb

# --- 32-bit programs under qemu-user, where the kernel does not run them ------------------------
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/qemu-i386" ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    exit 0  # the kernel runs them
fi

qemu_ok() {
    installed qemu-user-static &&
        dpkg --compare-versions "$(dpkg-query -W -f='${Version}' qemu-user-static)" ge 1:8.1
}
if ! qemu_ok; then
    suite=()
    candidate=$(apt-cache policy qemu-user-static | sed -n 's/^ *Candidate: //p')
    if ! dpkg --compare-versions "${candidate:-0}" ge 1:8.1; then
        codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
        list=/etc/apt/sources.list.d/$codename-backports.sources
        if [ ! -e "$list" ]; then
            # Backports from the archive the machine already takes its release from, as its own
            # apt sources name it.
            archive=$(apt-get indextargets --no-release-info --format '$(REPO_URI) $(RELEASE)' |
                awk -v release="$codename" '$2 == release { print $1; exit }')
            [ -n "$archive" ] || { echo "ensure: no apt source for $codename to take backports from" >&2; exit 1; }
            printf 'Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
                "$archive" "$codename" | $SUDO tee "$list" >/dev/null
            updated=
        fi
        suite=(-t "$codename-backports")
    fi
    [ -n "$updated" ] || { $SUDO apt-get update -qq; updated=1; }
    echo "ensure: installing qemu-user-static ${suite[*]}" >&2
    $SUDO apt-get install -y -qq --no-install-recommends "${suite[@]}" qemu-user-static >/dev/null
fi
install_missing wine64 gcc-multilib

[ -e "$binfmt/register" ] || $SUDO mount -t binfmt_misc binfmt_misc "$binfmt"
if [ ! -e "$binfmt/qemu-i386" ]; then
    # ELF, 32-bit, little-endian, executable or shared object, i386; "F": qemu is opened now, so
    # that it serves in every mount namespace and chroot.
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:F" | $SUDO tee "$binfmt/register" >/dev/null
fi
/lib/ld-linux.so.2 --version >/dev/null 2>&1 || {
    echo "ensure: 32-bit programs do not run, not even under qemu-i386" >&2
    exit 1
}

# The trap-number library: the 32-bit one for Wine, an empty 64-bit one so that the wineserver
# Wine starts finds something under the same name ($LIB picks the folder).
lib32=$trapno_dir/lib/i386-linux-gnu/libtrapno.so lib64=$trapno_dir/lib/x86_64-linux-gnu/libtrapno.so
if [ ! -f "$lib32" ] || [ ! -f "$lib64" ] || [ "$here/qemu-trapno.c" -nt "$lib32" ]; then
    tmp=$(mktemp -d)
    gcc -m32 -O2 -fPIC -shared -fno-stack-protector -Wall -Werror -o "$tmp/32.so" "$here/qemu-trapno.c" -ldl
    echo 'int wine_qemu_trapno_stub;' | gcc -x c -shared -o "$tmp/64.so" -
    $SUDO install -D -m 644 "$tmp/32.so" "$lib32"
    $SUDO install -D -m 644 "$tmp/64.so" "$lib64"
    rm -rf "$tmp"
fi
