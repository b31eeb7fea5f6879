#!/usr/bin/env bash
# Checks the Wine harness itself against probe_target.exe: port emulation,
# window stores, the mapping-driver double's modes, message boxes, stdout,
# exit codes, what the driver script sets up (screen, registry, system.ini),
# and the Windows 95 image checks.  Prints "N passed, N failed".
#
#   selftest.sh            (installs what is missing, builds, runs)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/../../scripts/ensure-wine.sh" || exit 1
"$here/build.sh" || exit 1

work=$(mktemp -d "${TMPDIR:-/tmp}/wine-selftest.XXXXXX")
export WINE_TEST_RUN_DIR=$work/run
trap '"$here/run_case.sh" --stop; rm -rf "$work"' EXIT

passed=0 failed=0
check() {  # check NAME CONDITION-DESCRIPTION -- result of the last test
    if [ "$1" = 0 ]; then passed=$((passed + 1)); else
        failed=$((failed + 1)); echo "FAIL: $2"; fi
}

# run NAME [run_case options] [-- probe words]: result in $work/NAME.json
run() {
    local name=$1; shift
    "$here/run_case.sh" "$@" >"$work/$name.json" 2>"$work/$name.err"
    echo $? >"$work/$name.status"
}
probe=$here/build/probe_target.exe

status_is() { [ "$(cat "$work/$1.status")" = "$2" ]; check $? "$1: status $(cat "$work/$1.status"), want $2 ($(head -c 300 "$work/$1.err"))"; }
has() { grep -qF -- "$2" "$work/$1.json"; check $? "$1: no $2"; }
# The accesses in order, one per line, must be exactly the given lines.
accesses_are() {
    local name=$1 want got
    want=$(cat)
    got=$(grep -o '{"op": [^}]*}' "$work/$name.json")
    [ "$got" = "$want" ]
    check $? "$name: accesses differ:$(diff <(echo "$want") <(echo "$got") | sed 's/^/    /')"
}

# --- ports, window, stdout, exit, environment ---------------------------------
printf '[boot]\r\ndisplay.drv=probe.drv\r\n' >"$work/system.ini"
run main --screen 800x600x24 --refresh 85 --system-ini "$work/system.ini" \
    --set crtc:0x75=0x12 --set port:0x3c2=0x10 "$probe"
status_is main 0
has main '{"exitCode": 7,'
has main '"messageBoxes": [],'
# CR LF from the C runtime's text mode; the last line only arrives if exit()
# flushes stdout.
has main '"stdout": "win9x=1 refresh=85 display.drv=probe.drv string=probe resource\r\ncrtc75=12 status=10\r\nwindow 60000000 size 00010000 got 8\r\ndone",'
has main '"screen": {"width": 800, "height": 600, "bitsPerPixel": 32,'
has main '{"code": 3, "inSize": 0, "outSize": 8, "ok": true, "error": 0, "base": 1610612736, "size": 65536}'
has main '"error": null}'
accesses_are main <<'EOF'
{"op": "out", "port": 980, "value": 117}
{"op": "in", "port": 981, "value": 18}
{"op": "out", "port": 981, "value": 18}
{"op": "in", "port": 962, "value": 16}
{"op": "out", "port": 962, "value": 227}
{"op": "store", "address": 1610612739, "value": 18}
{"op": "store", "address": 1610612738, "value": 165}
{"op": "store", "address": 1610612737, "value": 90}
{"op": "store", "address": 1610612736, "value": 0}
EOF

# Word and dword port forms split into byte accesses, immediate port forms.
run wide --screen 640x480x8 "$probe" -- wide
status_is wide 0
has wide '"screen": {"width": 640, "height": 480, "bitsPerPixel": 8,'
has wide 'wide=2075 imm=ff\r\n'
accesses_are wide <<'EOF'
{"op": "out", "port": 980, "value": 117}
{"op": "in", "port": 981, "value": 0}
{"op": "out", "port": 981, "value": 16}
{"op": "in", "port": 962, "value": 255}
{"op": "out", "port": 962, "value": 227}
{"op": "out", "port": 980, "value": 117}
{"op": "out", "port": 981, "value": 32}
{"op": "in", "port": 980, "value": 117}
{"op": "in", "port": 981, "value": 32}
{"op": "out", "port": 964, "value": 17}
{"op": "out", "port": 965, "value": 34}
{"op": "out", "port": 966, "value": 51}
{"op": "out", "port": 967, "value": 68}
{"op": "in", "port": 128, "value": 255}
{"op": "out", "port": 128, "value": 92}
{"op": "store", "address": 1610612739, "value": 0}
{"op": "store", "address": 1610612738, "value": 165}
{"op": "store", "address": 1610612737, "value": 90}
{"op": "store", "address": 1610612736, "value": 0}
EOF

# --- registry value states and screen depths ------------------------------------
#   name       options                        expected fragment
while IFS='|' read -r name opts want; do
    # shellcheck disable=SC2086
    run "$name" $opts "$probe"
    status_is "$name" 0
    has "$name" "$want"
done <<'EOF'
novalue|--refresh none|refresh=(no value) display.drv=(none)
nokey|--refresh nokey|refresh=(no key)
depth15|--screen 1024x768x15|"bitsPerPixel": 16,
EOF

# --- mapping-driver double ---------------------------------------------------
#   name     vxd options              exit  expected fragment
while IFS='|' read -r name opts code want; do
    # shellcheck disable=SC2086
    run "$name" $opts "$probe"
    status_is "$name" 0
    has "$name" "{\"exitCode\": $code,"
    has "$name" "$want"
    ! grep -q '"op": "store"' "$work/$name.json"
    check $? "$name: stores recorded without a window"
done <<'EOF'
absent|--vxd absent|2|open failed 2\r\n
fail|--vxd fail --vxd-error 0x1F|3|{"code": 3, "inSize": 0, "outSize": 8, "ok": false, "error": 31, "base": 0, "size": 0}
null|--vxd null|4|window at 0, got 8\r\n
EOF

# --- message boxes -------------------------------------------------------------
run box "$probe" -- box
status_is box 0
has box '{"text": "text", "caption": "", "type": 0, "dismissed": true}],'
has box '{"exitCode": 7,'

run boxerr "$probe" -- boxerr
status_is boxerr 0
has boxerr '{"text": "Line one\r\n\"quoted\" back\\slash\ttab", "caption": "Probe", "type": 16, "dismissed": true}],'

# --- runs that end badly ----------------------------------------------------------
run string "$probe" -- string
status_is string 1
has string '"error": "INS/OUTS at 0x'

run crash "$probe" -- crash
status_is crash 0
has crash '{"exitCode": 3221225477,'
has crash '"crash": {"code": 3221225477,'
has crash '{"op": "store", "address": 1610612736, "value": 0}'

run hang --timeout 1500 "$probe" -- hang
status_is hang 1
has hang '"error": "timeout after 1500 ms"}'

# --- Windows 95 image checks -----------------------------------------------------
"$here/check_win95_exe.sh" --max-bytes 12288 "$probe" >"$work/check.out"
check $? "probe_target.exe fails the Windows 95 checks: $(cat "$work/check.out")"
# The checker must reject an ordinary MinGW build (msvcrt, CMOV, console).
! "$here/check_win95_exe.sh" "$here/build/debugger.exe" >"$work/check2.out"
check $? "check_win95_exe.sh accepted debugger.exe"
grep -q 'imports from msvcrt.dll' "$work/check2.out"
check $? "check_win95_exe.sh did not name msvcrt.dll"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
