#!/usr/bin/env bash
# Proves the shipped executables and their package: installs Wine and Xvfb when
# missing, builds refresh.exe, lumwatch.exe, lumset.exe and refcheck.exe with the release zip, the
# test tools and refresh-sim, checks the executables themselves (check_win95_exe.py), then runs
# every Wine proof in one pool of workers side by side (run_proofs.py): the case table against
# refresh-sim, the package installed, started and removed as a user would, the installed watcher
# through its sessions, the installed chooser's trials. Removes the Wine prefixes and stops Xvfb
# and wineserver however it ends.
#
#   run_all.sh HOST_BUILD_DIR WINDOWS_BUILD_DIR
#
# Each folder is configured with its preset (host, windows) when it is not yet, and built;
# WINE_TEST_BUILT=1 says both are built already (scripts/test.sh builds them), so that a build of
# the host folder's other targets may go on meanwhile. WINE_TEST_WORKERS sets the number of Wine
# sessions side by side (default: the processors and one more). Ends with "wine: N passed, M
# failed" and exits 1 on any failure.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
[ $# -eq 2 ] || { sed -n '2,16s/^# \{0,1\}//p' "$0" >&2; exit 2; }
host_dir=$1 windows_dir=$2
started=$SECONDS

bash "$root/scripts/ensure.sh" --wine || exit 1

# --- builds ---------------------------------------------------------------------------------
build() {  # build PRESET DIR [TARGET]
    local preset=$1 dir=$2
    shift 2
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        (cd "$root" && cmake --preset "$preset" -B "$dir" >/dev/null) || return 1
    fi
    cmake --build "$dir" -j2 "$@" >"$dir/wine-build.log" 2>&1 || { cat "$dir/wine-build.log" >&2; return 1; }
}
if [ "${WINE_TEST_BUILT:-}" != 1 ]; then
    build windows "$windows_dir" || { echo "run_all: the windows build failed" >&2; exit 1; }
    build host "$host_dir" --target refresh-sim || { echo "run_all: the host build failed" >&2; exit 1; }
fi
host_dir=$(cd "$host_dir" && pwd) windows_dir=$(cd "$windows_dir" && pwd)

# --- the executable itself --------------------------------------------------------------------
passed=0 failed=0
result() {  # result STATUS NAME
    if [ "$1" = 0 ]; then passed=$((passed + 1)); echo "PASS $2"
    else failed=$((failed + 1)); echo "FAIL $2"; fi
}

python3 "$here/check_win95_exe.py" "$windows_dir/refresh.exe"
result $? "refresh.exe loads on Windows 95 (PE, layout, imports, instructions, resources, size)"

# The diagnostic, a console program without resources, under the same checks otherwise; its one
# port write instruction is the index write its register reads need.
# 24 KiB: the report's words, the monitor reader and the line frequencies take it past 20 KiB.
refcheck_checks=(--console --no-resources --max-bytes 24576 --max-out 1)
python3 "$here/check_win95_exe.py" "${refcheck_checks[@]}" "$windows_dir/refcheck.exe"
result $? "refcheck.exe loads on Windows 95 (PE, console, layout, imports, instructions, no resources, size, one out)"

# The watcher: a GUI program without resources, at most 8 KiB, with no port access at all.
python3 "$here/check_win95_exe.py" --no-resources --max-bytes 8192 --max-out 0 "$windows_dir/lumwatch.exe"
result $? "lumwatch.exe loads on Windows 95 (PE, layout, imports, instructions, no resources, size, no out)"

# The rate chooser: a GUI program without resources (it builds its two dialogs' templates when it
# shows them), at most 16 KiB; it writes the adapter through the utility's real primitives.
python3 "$here/check_win95_exe.py" --no-resources --max-bytes 16384 "$windows_dir/lumset.exe"
result $? "lumset.exe loads on Windows 95 (PE, layout, imports, instructions, no resources, size)"

# ... and a diagnostic linked with the utility's real primitives, its own drifted out of reach,
# is refused for its port writes.
out=$(python3 "$here/check_win95_exe.py" "${refcheck_checks[@]}" "$windows_dir/tests/wine/refcheck-mislinked.exe")
status=$?
[ "$status" = 1 ] && grep -q 'port write instructions, at most 1' <<<"$out"
result $? "check_win95_exe.py refuses a diagnostic linked with the real port primitives (refcheck-mislinked.exe)"

# The checker must refuse an ordinary MinGW program: console subsystem, msvcrt.dll, CMOV, TLS.
out=$(python3 "$here/check_win95_exe.py" "$windows_dir/tests/wine/debugger.exe")
status=$?
[ "$status" = 1 ] && grep -q 'subsystem is 3' <<<"$out" && grep -q 'imports from msvcrt.dll' <<<"$out" &&
    grep -q 'cmov' <<<"$out" && grep -q 'has a TLS directory' <<<"$out"
result $? "check_win95_exe.py refuses an ordinary MinGW program (debugger.exe)"

# ... and copies of refresh.exe altered in each way the checks are there for.
python3 "$here/check_win95_exe.py" --refuse-altered "$windows_dir/refresh.exe"
result $? "check_win95_exe.py refuses refresh.exe altered (layout, protections, imports, size)"

# The diagnostic's options must not let a GUI program with resources through.
out=$(python3 "$here/check_win95_exe.py" --console --no-resources "$windows_dir/refresh.exe")
status=$?
[ "$status" = 1 ] && grep -q 'subsystem is 2, want 3' <<<"$out" && grep -q 'has a resource directory' <<<"$out"
result $? "check_win95_exe.py --console --no-resources refuses a GUI program with resources (refresh.exe)"

# --- the proofs under Wine -------------------------------------------------------------------------
# One folder holds every worker's and every base prefix's run folder.
WINE_TEST_RUN_DIR=$(mktemp -d "${TMPDIR:-/tmp}/wine-run.XXXXXX")
export WINE_TEST_RUN_DIR
driver=
cleanup() {
    local run
    for run in "$WINE_TEST_RUN_DIR"/*/; do
        [ ! -d "$run" ] || WINE_TEST_RUN_DIR=$run "$here/run_case.sh" --stop
    done
    rm -rf "$WINE_TEST_RUN_DIR"
}
# On a signal the driver is told to stop first, which ends its sessions cleanly.
stop() {
    if [ -n "$driver" ]; then
        kill -TERM "$driver" 2>/dev/null
        wait "$driver"
    fi
    exit "$1"
}
trap cleanup EXIT
trap 'stop 129' HUP
trap 'stop 130' INT
trap 'stop 143' TERM

# The driver runs in the background, so that a signal reaches the traps above while it runs; its
# "N M" counts join the total. -B: no __pycache__ left in the source tree.
python3 -B "$here/run_proofs.py" --counts "$WINE_TEST_RUN_DIR/counts" \
    ${WINE_TEST_WORKERS:+--workers "$WINE_TEST_WORKERS"} "$host_dir" "$windows_dir" &
driver=$!
wait "$driver"
driver=
counts=$(cat "$WINE_TEST_RUN_DIR/counts" 2>/dev/null)
if [ -n "$counts" ]; then
    passed=$((passed + ${counts% *})) failed=$((failed + ${counts#* }))
else
    failed=$((failed + 1))
    echo "FAIL run_proofs.py ended without its summary"
fi

echo "wine: took $((SECONDS - started)) s"
echo "wine: $passed passed, $failed failed"
[ "$failed" = 0 ]
