#!/usr/bin/env bash
# Checks that a PE image can load and run on Windows 95:
#   - 32-bit GUI image, OS and subsystem version 4.0
#   - imports only from KERNEL32, USER32, GDI32, ADVAPI32 and crtdll.dll
#   - no instruction newer than the Pentium in any code section (CMOV,
#     FCMOV/FCOMI, MMX/SSE, SYSENTER, ...).  UD2 is let through: older CPUs
#     raise the same invalid-opcode fault for it, which is all GCC wants.
#   - optionally: at most --max-bytes bytes
# Lists the resources when wrestool (icoutils) is there.
#
#   check_win95_exe.sh [--max-bytes N] FILE.exe
# Prints one line per finding and exits 1 if there is any.
set -euo pipefail

max=
if [ "${1:-}" = "--max-bytes" ]; then max=$2; shift 2; fi
exe=${1:?usage: check_win95_exe.sh [--max-bytes N] FILE.exe}
OBJDUMP=${OBJDUMP:-i686-w64-mingw32-objdump}

bad=0
fail() { echo "check_win95_exe: $exe: $*"; bad=1; }

headers=$("$OBJDUMP" -p "$exe")
field() { awk -v k="$1" '$1 == k { print $2; exit }' <<<"$headers"; }

[ "$(field Magic)" = 010b ] || fail "not a PE32 image"
[ "$(field Subsystem)" = 00000002 ] || fail "subsystem $(field Subsystem), want 2 (Windows GUI)"
for k in MajorOSystemVersion MajorSubsystemVersion; do
    [ "$(field $k)" = 4 ] || fail "$k is $(field $k), want 4"
done
for k in MinorOSystemVersion MinorSubsystemVersion; do
    [ "$(field $k)" = 0 ] || fail "$k is $(field $k), want 0"
done

while read -r dll; do
    case ${dll,,} in
        kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|crtdll.dll) ;;
        *) fail "imports from $dll" ;;
    esac
done < <(awk '/DLL Name:/ { print $3 }' <<<"$headers")
awk '/^Entry d / && $3 != "00000000" { exit 1 }' <<<"$headers" || fail "has delay imports"

# Mnemonics of the Pentium Pro and later, and MMX/SSE/AVX registers.
# objdump disassembles executable sections only.
newer='cmov|fcmov|fcomip?|fucomip?|sysenter|sysexit|rdpmc|emms|fxsave|fxrstor|ldmxcsr|stmxcsr|prefetch|movnt|[lms]fence|clflush|popcnt|lzcnt|tzcnt|movbe|cmpxchg16b|endbr32'
found=$("$OBJDUMP" -d --no-show-raw-insn "$exe" |
    grep -E "^ +[0-9a-f]+:	(($newer)|[^ ]+ +.*%[xy]?mm[0-9])" || true)
if [ -n "$found" ]; then
    fail "instructions newer than the Pentium:"
    head -20 <<<"$found" | sed 's/^/    /'
fi

if [ -n "$max" ]; then
    size=$(stat -c %s "$exe")
    [ "$size" -le "$max" ] || fail "$size bytes, more than $max"
fi

if command -v wrestool >/dev/null; then
    wrestool -l "$exe" 2>/dev/null | sed "s|^|resource: |" || true
fi
exit $bad
