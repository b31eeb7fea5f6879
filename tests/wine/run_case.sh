#!/usr/bin/env bash
# Runs one Windows program under the emulating debugger in Wine, headless,
# and prints the debugger's JSON result on stdout.
#
#   run_case.sh [options] PROGRAM.exe [-- PROGRAM-ARGS...]
#   run_case.sh [options] --in-place 'C:\DIR\PROGRAM.EXE' [-- PROGRAM-ARGS...]
#   run_case.sh [options] --wine -- COMMAND [ARGS...]
#   run_case.sh --boot            make the run's prefix (wineboot) when there is none
#   run_case.sh --stop            stop the run's wineserver and Xvfb (end of a run)
#
# Options:
#   --screen WxHxD      Xvfb screen (default 1024x768x16)
#   --refresh VALUE     HKCC\Display\Settings RefreshRate (REG_SZ), as
#                       written, " and \ included (no line break); "none"
#                       deletes the value, "nokey" deletes the whole key
#                       (default: none)
#   --system-ini FILE   copied byte for byte to C:\windows\system.ini
#                       (default: a minimal one)
#   --no-system-ini     no system.ini in C:\windows
#   --vxd MODE          the mapping driver, by refresh-sim's --driver names: ok
#                       (default), ioctl-fails, null-window, no-output
#                       (succeeds without writing its answer), or missing (no
#                       physwin.vxd beside the program: the open fails with
#                       error 2)
#   --set PRESET        register of the adapter model before the run,
#                       KIND[:INDEX]=VALUE (repeatable), e.g. crtc:0x75=0x20
#   --timeout MS        debugger's limit for the program (default 30000)
#   --command-line TEXT the command line the program gets, as it stands (default:
#                       its path and PROGRAM-ARGS, quoted where needed)
#   --win98 NAME.EXE    also run the program of that file name as Windows 98
#                       (repeatable), as PROGRAM and COMMAND are: for programs
#                       that a --wine command starts in turn
#   --in-place          PROGRAM is the Windows path of a program already in
#                       the prefix: it runs where it stands, and the double is
#                       put beside it for the run only
#   --wine              no debugger: after the same setup, run "wine COMMAND
#                       ARGS..." in the prefix, as Windows 98, within the
#                       --timeout; its standard output and exit status are
#                       the script's own
#   --keep              leave Wine and Xvfb running after a clean run, for the
#                       next --keep run in the same run folder on the same
#                       screen: it skips their start and Wine's own (a few
#                       seconds under qemu). Any other run, a --keep run on
#                       another screen, and --stop end them first.
#
# Environment:
#   WINE_TEST_RUN_DIR   folder holding the Wine prefix of a whole test run.
#                       Created on first use and kept, so later cases reuse
#                       the prefix; the caller removes it after "--stop". A
#                       prefix copied there from another run folder (with its
#                       .ready) is used as it is.
#                       Unset: a temporary one is made and removed.
#   WINE_TEST_BUILD     folder with debugger.exe and physwin.vxd: tests/wine
#                       of a windows-preset build folder (required)
#
# Exit status: the debugger's (0 the program ran to its end, 1 the run was
# cut short, 2 it could not start), 3 when the environment is not right
# (no X server, the screen Wine sees differs from the one asked for).
set -euo pipefail

die() { echo "run_case: $*" >&2; exit 3; }

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win32
# Where 32-bit programs run under qemu-user, Wine's own get the library that gives signals the
# trap numbers qemu leaves out (scripts/ensure.sh --wine builds it); $LIB picks the 32-bit one.
trapno=/usr/local/lib/wine-qemu-trapno
if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && [ -f "$trapno/lib/i386-linux-gnu/libtrapno.so" ]; then
    export QEMU_SET_ENV="LD_PRELOAD=$trapno/\$LIB/libtrapno.so"
fi

# wineserver keeps its socket folder under TMPDIR (when there is no /run/user/UID): inside the run
# folder, it goes with it.
# Ends what a run left running: a session kept by --keep, or Wine and the X server of a run that
# was killed outright. Wine first, so nothing keeps a dead display.
end_session() {  # end_session RUN_FOLDER
    if [ -d "$1/prefix" ]; then
        WINEPREFIX="$1/prefix" wineserver -k 2>/dev/null || true
        WINEPREFIX="$1/prefix" wineserver -w 2>/dev/null || true
    fi
    if [ -f "$1/xvfb.pid" ]; then
        kill "$(cat "$1/xvfb.pid")" 2>/dev/null || true
        rm -f "$1/xvfb.pid"
    fi
    rm -f "$1/session"
}
if [ "${1:-}" = "--stop" ]; then
    [ -n "${WINE_TEST_RUN_DIR:-}" ] || die "--stop needs WINE_TEST_RUN_DIR"
    export TMPDIR=$WINE_TEST_RUN_DIR/tmp
    end_session "$WINE_TEST_RUN_DIR"
    exit 0
fi

build=${WINE_TEST_BUILD:?run_case: set WINE_TEST_BUILD to the folder with debugger.exe and physwin.vxd}
screen=1024x768x16 refresh=none system_ini= no_system_ini= vxd=ok timeout=30000
sets=() exe= args=() in_place= wine_only= win98=() keep= boot=
while [ $# -gt 0 ]; do
    case $1 in
        --screen) screen=$2; shift 2 ;;
        --refresh) refresh=$2; shift 2 ;;
        --system-ini) system_ini=$2; shift 2 ;;
        --no-system-ini) no_system_ini=1; shift ;;
        --vxd) vxd=$2; shift 2 ;;
        --set) sets+=(--set "$2"); shift 2 ;;
        --timeout) timeout=$2; shift 2 ;;
        --command-line) sets+=(--command-line "$2"); shift 2 ;;
        --win98) win98+=("$2"); shift 2 ;;
        --in-place) in_place=1; shift ;;
        --wine) wine_only=1; shift ;;
        --keep) keep=1; shift ;;
        --boot) boot=1; shift ;;
        --) shift; args=("$@"); break ;;
        -*) die "unknown option $1" ;;
        *) [ -z "$exe" ] || die "two programs given"; exe=$1; shift ;;
    esac
done
if [ -n "$boot" ]; then
    [ -z "$exe$wine_only$keep" ] || die "--boot takes no program"
elif [ -n "$wine_only" ]; then
    [ -z "$exe" ] && [ ${#args[@]} -gt 0 ] || die "--wine takes its command after --"
    exe=${args[0]}
else
    [ -n "$exe" ] || die "no program given"
    [ -n "$in_place" ] || [ -f "$exe" ] || die "no such program: $exe"
fi
[ -z "$keep" ] || [ -z "$wine_only$in_place" ] || die "--keep is for a program run from its own folder"
[ -z "$keep$boot" ] || [ -n "${WINE_TEST_RUN_DIR:-}" ] || die "--keep and --boot need WINE_TEST_RUN_DIR"
[[ $screen =~ ^([0-9]+)x([0-9]+)x(8|15|16|24)$ ]] || die "bad --screen $screen"
want_w=${BASH_REMATCH[1]} want_h=${BASH_REMATCH[2]} depth=${BASH_REMATCH[3]}
# What Wine reports for each X depth.
case $depth in 8) want_bpp=8 ;; 15|16) want_bpp=16 ;; 24) want_bpp=32 ;; esac
case $vxd in ok|ioctl-fails|null-window|no-output|missing) ;; *) die "bad --vxd $vxd" ;; esac
[[ $refresh != *[$'\r\n']* ]] || die "--refresh VALUE cannot hold a line break: a .reg file line ends there"
for f in debugger.exe physwin.vxd; do
    [ -f "$build/$f" ] || die "$build/$f missing: build the windows preset first"
done

# --- run folder and prefix ----------------------------------------------------
own_run=
if [ -z "${WINE_TEST_RUN_DIR:-}" ]; then
    WINE_TEST_RUN_DIR=$(mktemp -d "${TMPDIR:-/tmp}/wine-run.XXXXXX")
    own_run=1
fi
run=$WINE_TEST_RUN_DIR
export TMPDIR=$run/tmp
mkdir -p "$TMPDIR"
export WINEPREFIX=$run/prefix
case_tmp=$(mktemp -d "$run/case.XXXXXX")
placed_vxd= leave_running=

cleanup() {
    [ -z "$placed_vxd" ] || rm -f "$placed_vxd"
    [ -n "$leave_running" ] || end_session "$run"
    rm -rf "$case_tmp"
    [ -z "$own_run" ] || rm -rf "$run"
}
trap cleanup EXIT
# Leave through exit on a signal, so that the cleanup above runs.
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# Cases of one run share the prefix, its registry and C:\windows: one at a
# time. Nothing started here gets the lock's descriptor (9>&-): Wine's own programs and a kept
# X server outlive the script and would hold the lock.
exec 9>"$run/lock"
flock 9

if [ ! -f "$WINEPREFIX/.ready" ]; then
    rm -rf "$WINEPREFIX"
    DISPLAY= wineboot -i >"$run/wineboot.log" 2>&1 9>&- || die "wineboot failed, see $run/wineboot.log"
    wineserver -w
    touch "$WINEPREFIX/.ready"
fi
[ -z "$boot" ] || exit 0

# --- X server and Wine: a session kept by --keep, or new ones -------------------------------
kept_screen= kept_display=
[ ! -f "$run/session" ] || read -r kept_screen kept_display <"$run/session"
if [ -n "$keep" ] && [ "$kept_screen" = "$screen" ] && [ -f "$run/xvfb.pid" ] &&
    kill -0 "$(cat "$run/xvfb.pid")" 2>/dev/null; then
    export DISPLAY=$kept_display
else
    end_session "$run"
    # No standard output of the script's own: a kept X server must not hold the caller's pipe.
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset \
        3>"$case_tmp/display" >/dev/null 2>"$run/xvfb.log" 9>&- &
    xvfb_pid=$!
    echo "$xvfb_pid" >"$run/xvfb.pid"
    for _ in $(seq 100); do
        [ -s "$case_tmp/display" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || die "Xvfb exited: $(cat "$run/xvfb.log")"
        sleep 0.05
    done
    [ -s "$case_tmp/display" ] || die "Xvfb did not come up"
    export DISPLAY=":$(tr -dc 0-9 <"$case_tmp/display")"
    [ -S "/tmp/.X11-unix/X${DISPLAY#:}" ] || die "no socket for $DISPLAY"
    if [ -n "$keep" ]; then
        # A server that stays when the last program ends, Wine's own programs (services, the
        # desktop) with it, and holds no pipe of the caller's.
        wineserver -p </dev/null >/dev/null 2>&1 9>&-
        echo "$screen $DISPLAY" >"$run/session"
    fi
fi

# --- registry and C:\windows ---------------------------------------------------------
# Wine picks per-program settings by the file name, extension included; a command given without
# one ("RunDll") runs NAME.exe.
exe_name=${exe##*[\\/]}
[[ $exe_name == *.* ]] || exe_name=$exe_name.exe
{
    printf 'REGEDIT4\r\n\r\n'
    for name in "$exe_name" ${win98[@]+"${win98[@]}"}; do
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s]\r\n"Version"="win98"\r\n\r\n' "$name"
    done
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug]\r\n"Debugger"=""\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n\r\n'
    case $refresh in
        nokey) printf '[-HKEY_CURRENT_CONFIG\\Display\\Settings]\r\n' ;;
        none) printf '[HKEY_CURRENT_CONFIG\\Display\\Settings]\r\n"RefreshRate"=-\r\n' ;;
        *)
            # In a quoted REGEDIT4 string a backslash and a double quote are escaped with a
            # backslash; everything else stands for itself.
            value=${refresh//\\/\\\\}
            value=${value//\"/\\\"}
            printf '[HKEY_CURRENT_CONFIG\\Display\\Settings]\r\n"RefreshRate"="%s"\r\n' "$value"
            ;;
    esac
} >"$WINEPREFIX/drive_c/case.reg"
wine regedit /S 'C:\case.reg' >"$case_tmp/regedit.log" 2>&1 9>&- || die "regedit failed: $(cat "$case_tmp/regedit.log")"

if [ -n "$no_system_ini" ]; then
    rm -f "$WINEPREFIX/drive_c/windows/system.ini"
elif [ -n "$system_ini" ]; then
    cp "$system_ini" "$WINEPREFIX/drive_c/windows/system.ini"
else
    printf '[boot]\r\nshell=Explorer.exe\r\n\r\n[386Enh]\r\n\r\n[drivers]\r\n' \
        >"$WINEPREFIX/drive_c/windows/system.ini"
fi

# Programs run in the background while the script waits for them, so that a signal reaches the
# traps at once and the cleanup ends Wine, rather than after the program.
if [ -n "$wine_only" ]; then
    status=0
    timeout "$(((timeout + 999) / 1000))" wine "${args[@]}" 2>"$case_tmp/wine.err" 9>&- &
    wait $! || status=$?
    [ "$status" = 0 ] || cat "$case_tmp/wine.err" >&2
    exit $status
fi

# --- the program's folder ----------------------------------------------------------
dir=$WINEPREFIX/drive_c/case
rm -rf "$dir" "$WINEPREFIX/drive_c/tools"
mkdir -p "$dir" "$WINEPREFIX/drive_c/tools"
if [ -n "$in_place" ]; then
    # Wine loads physwin.vxd from the program's own folder: put the double there for this run.
    host_exe=$(wine winepath.exe -u "$exe" 2>/dev/null 9>&-) || die "winepath failed for $exe"
    [ -f "$host_exe" ] || die "no such program in the prefix: $exe"
    if [ "$vxd" != missing ]; then
        placed_vxd=$(dirname "$host_exe")/physwin.vxd
        [ ! -e "$placed_vxd" ] || { placed_vxd=; die "a physwin.vxd is already beside $exe"; }
        cp "$build/physwin.vxd" "$placed_vxd"
    fi
    target=$exe
else
    cp "$exe" "$dir/$exe_name"
    [ "$vxd" = missing ] || cp "$build/physwin.vxd" "$dir/physwin.vxd"
    target="C:\\case\\$exe_name"
fi
cp "$build/debugger.exe" "$WINEPREFIX/drive_c/tools/debugger.exe"

status=0
PHYSWIN_MODE=$vxd \
    wine 'C:\tools\debugger.exe' --out 'C:\case\result.json' --timeout "$timeout" \
    "${sets[@]}" -- "$target" "${args[@]}" \
    >"$case_tmp/debugger.out" 2>"$case_tmp/debugger.err" 9>&- &
wait $! || status=$?
[ -f "$dir/result.json" ] || {
    cat "$case_tmp/debugger.err" >&2
    echo "run_case: the debugger wrote no result (status $status)" >&2
    exit $((status ? status : 2))
}
cat "$dir/result.json"

# Wine falls back to 1024x768x32 without complaint when it cannot use the
# display: make that a failure rather than a silently wrong case.
seen=$(python3 -c 'import json, sys
s = json.load(open(sys.argv[1]))["screen"]
print("%dx%d at %d bits per pixel" % (s["width"], s["height"], s["bitsPerPixel"]))' "$dir/result.json" || true)
want="${want_w}x${want_h} at $want_bpp bits per pixel"
[ "$seen" = "$want" ] || die "Wine sees ${seen:-no screen}, asked for $want (X screen $screen)"
[ "$status" != 0 ] || leave_running=$keep
exit $status
