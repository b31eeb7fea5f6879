#!/usr/bin/env python3
"""Proves the installed watcher LUMWATCH.EXE under Wine, as Windows 98, in one session.

    run_watch.py [--counts FILE] HOST_BUILD_DIR WINDOWS_BUILD_DIR

The zip is unpacked and installed as run_package.py does. Then one Wine session, the "typical"
machine of run_cases.py in a virtual desktop of its screen's size (where a program may set the mode
and Wine broadcasts WM_DISPLAYCHANGE to every top-level window, hidden ones included), in which
watchsteps.exe plays the user and Windows (STEPS): it starts the watcher as its Run value says,
under the emulating debugger with --follow, so that every run of the utility the watcher starts is
debugged as well, on an adapter model of its own, with the mapping-driver double beside it. Then:

1. the watcher alone makes no adapter access, and starts nothing;
2. RefreshRate set to "75" and the mode to 800x600: exactly one run of the utility follows, and its
   accesses, message boxes, standard output and exit code are refresh-sim's on that machine;
3. a broadcast resume (PBT_APMRESUMESUSPEND): one more run, again refresh-sim's;
4. three mode changes inside the watcher's delay: one run, refresh-sim's on the last mode;
5. a suspend query (PBT_APMQUERYSUSPEND) is answered as DefWindowProcA answers, not refused, and
   starts nothing;
6. a second watcher, started as the Run value says, exits at once with 0, and one watcher is left;
7. at the end of the session (WM_QUERYENDSESSION, a WM_ENDSESSION broadcast) the watcher exits
   with code 0, and it has started the utility exactly three times.

It reports the time from each event to the run the debugger sees created, and the watcher's
working set (GetProcessMemoryInfo from watchsteps.exe, as Wine counts it). Then the package is
removed and Windows started again (wineboot -r): registry and Windows folder must be as before the
install.

One Wine prefix serves the whole run: in WINE_TEST_RUN_DIR when set (the caller removes it),
otherwise in a temporary folder removed at the end. Prints one line per check and "N passed,
M failed" (also written to --counts FILE as "N M"); exits 1 on any failure.
"""

import json
import os
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
import run_cases  # noqa: E402  (the machine table, the comparison with refresh-sim)
import run_package  # noqa: E402  (the install, the registry and the Windows folder)
import wine_session  # noqa: E402  (the Wine prefix, run_case.sh, the tally)
from wine_state import reg_string  # noqa: E402  (the registry's string values)

MACHINE = run_package.MACHINE
# What a full run of the utility makes (the typical machine's count): each run here must be one, so
# that two runs that stopped early alike are no proof.
FULL_RUN_ACCESSES = MACHINE.accesses
RATE = "75"
MODE = (800, 600)
# The burst: three modes, each set well inside the watcher's two seconds after the last; the run
# must see the last.
BURST = [(640, 480), (800, 600), (1024, 768)]
BURST_GAP_MS = 300
PBT_APMRESUMESUSPEND = 7
BROADCAST_QUERY_DENY = 0x424D5144
# After each event: the watcher's two seconds (kSettleMilliseconds) and a run of the utility, about
# two seconds under qemu, with room to spare.
AFTER_EVENT_MS = 9000
# The watcher alone, and after the suspend query: long enough that a run would have come.
QUIET_MS = 5000
# A second watcher must be gone in this time, its start under qemu included.
SECOND_WATCHER_MS = 10000
SESSION_MS = 240000

# In the prefix: the test tools and the session's files.
TOOLS = "C:\\tools"
WATCH = "C:\\watch"
DESKTOP = "lumwatch"


def quoted(words):
    return " ".join('"%s"' % w if " " in w else w for w in words)


def steps(watch_words):
    """The session, as watchsteps.exe reads it."""
    debugger = ("%s\\debugger.exe --follow --out %s\\result.json --timeout %d --set crtc:0x75=0x%02x -- %s"
                % (TOOLS, WATCH, SESSION_MS, MACHINE.crtc75, quoted(watch_words)))
    lines = ["start " + debugger, "wait-window 60000", "sleep %d" % QUIET_MS, "count", "memory",
             "rate " + RATE, "mode %dx%d" % MODE, "sleep %d" % AFTER_EVENT_MS,
             "power %d" % PBT_APMRESUMESUSPEND, "sleep %d" % AFTER_EVENT_MS]
    for k, mode in enumerate(BURST):
        lines += (["sleep %d" % BURST_GAP_MS] if k else []) + ["mode %dx%d" % mode]
    lines += ["sleep %d" % AFTER_EVENT_MS, "query-suspend", "sleep %d" % QUIET_MS,
              "run %d %s" % (SECOND_WATCHER_MS, quoted(watch_words)), "count",
              "end-session", "wait-exit 60000", "count"]
    return lines


def read_log(path):
    """{step name: [log entries in order]}."""
    log = {}
    with open(path) as f:
        for line in f:
            entry = json.loads(line)
            log.setdefault(entry["step"], []).append(entry)
    return log


def runs_between(children, start, end):
    return [c for c in children if start <= c["process"]["startTick"] < end]


def depth_of(bpp):
    """The X depth whose bits per pixel Wine reports as bpp (run_cases.WINE_BPP, the other way)."""
    return next(d for d, b in sorted(run_cases.WINE_BPP.items()) if b == bpp)


def utility_run(child, utility, mode, sim_path, ini_files):
    """What is wrong with one run of the utility: not the installed one, not on the mode the
    session set, or other than refresh-sim's on that machine."""
    found = []
    if child["process"]["program"].lower() != utility.lower():
        found.append("the run is of %s, not %s" % (child["process"]["program"], utility))
    screen = child["screen"]
    if (screen["width"], screen["height"]) != mode:
        found.append("the run found the screen at %dx%d, the session set %dx%d"
                     % (screen["width"], screen["height"], mode[0], mode[1]))
    row = MACHINE._replace(name="watch", rate=RATE, screen="%dx%dx%d" % (
        screen["width"], screen["height"], depth_of(screen["bitsPerPixel"])))
    sim_args = run_cases.machine_args(row, ini_files)[1]
    status, out, err = wine_session.run([sim_path] + sim_args)
    if status != 0:
        return found + ["refresh-sim failed (%d): %s" % (status, err.strip())]
    sim = json.loads(out)
    found += run_cases.differences(child, sim)
    if len(sim["accesses"]) != FULL_RUN_ACCESSES:
        found.append("refresh-sim makes %d accesses on that machine, a full run %d"
                     % (len(sim["accesses"]), FULL_RUN_ACCESSES))
    return found


def one_run(children, start, end, after_tick, utility, mode, sim_path, ini_files):
    """(what is wrong, the run's delay in ms after after_tick) for a span that must hold one run."""
    runs = runs_between(children, start, end)
    if len(runs) != 1:
        return ["%d runs of the utility followed, want 1" % len(runs)], None
    return (utility_run(runs[0], utility, mode, sim_path, ini_files),
            runs[0]["process"]["startTick"] - after_tick)


def session(s, env, tools, watch_words, utility):
    """Runs the session; (log, debugger result, what went wrong)."""
    drive_c = os.path.join(s.prefix, "drive_c")
    tools_dir, watch_dir = os.path.join(drive_c, "tools"), os.path.join(drive_c, "watch")
    for folder in (tools_dir, watch_dir):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
    for name in ("debugger.exe", "watchsteps.exe"):
        shutil.copy(os.path.join(tools, name), tools_dir)
    with open(os.path.join(watch_dir, "steps.txt"), "w", newline="") as f:
        f.write("".join(line + "\r\n" for line in steps(watch_words)))
    # The utility loads the double from its own folder, the Windows folder: there for this session
    # only.
    vxd = os.path.join(os.path.dirname(run_package.host_path(s.windows, utility.split("\\")[-1])),
                       "physwin.vxd")
    if os.path.exists(vxd):
        return None, None, ["a physwin.vxd is in the Windows folder already"]
    shutil.copy(os.path.join(tools, "physwin.vxd"), vxd)
    try:
        width, height, _ = MACHINE.screen.split("x")
        command = ([wine_session.RUN_CASE] + s.machine + ["--timeout", str(SESSION_MS + 60000)] +
                   [w for path in (utility, watch_words[0]) for w in ("--win98", path.split("\\")[-1])] +
                   ["--wine", "--", "explorer", "/desktop=%s,%sx%s" % (DESKTOP, width, height),
                    TOOLS + "\\watchsteps.exe", WATCH + "\\steps.txt", WATCH + "\\log.txt"])
        status, _, err = wine_session.run(command, env=env)
    finally:
        os.remove(vxd)
    found = []
    if status != 0:
        found.append("run_case.sh failed (%d): %s" % (status, " | ".join(err.strip().splitlines()[-5:])))
    log = result = None
    try:
        log = read_log(os.path.join(watch_dir, "log.txt"))
        with open(os.path.join(watch_dir, "result.json")) as f:
            result = json.load(f)
    except (OSError, ValueError) as e:
        found.append("the session left no complete record: %s" % e)
    for folder in (tools_dir, watch_dir):
        shutil.rmtree(folder, ignore_errors=True)
    return log, result, found


def prove(zip_path, sim_path, tools, env, ini_files, report):
    s = run_package.Session(env, ini_files)
    found = s.wine(run_package.UNINSTALL_COMMAND)  # makes the prefix when there is none
    s.unpack(zip_path)
    clean = s.state()
    install = run_package.INSTALL_VERB.replace("%1", run_package.INF_PATH)
    found += s.wine(install)
    run_values = s.state()[0].get(run_package.RUN_KEY, {})
    watch_line = reg_string(run_values.get(run_package.WATCH_RUN_VALUE, '""')) or ""
    utility_line = reg_string(run_values.get(run_package.RUN_VALUE, '""')) or ""
    watch_words = run_package.command_words(watch_line)
    utility_words = run_package.command_words(utility_line)
    if not watch_words or not utility_words:
        found.append("no Run values to start: %r, %r" % (watch_line, utility_line))
    if found:
        report("the package installed", found)
        return
    utility = utility_words[0]

    log, result, found = session(s, env, tools, watch_words, utility)
    steps_logged = {name: len(entries) for name, entries in (log or {}).items()}
    want_logged = {}
    for line in steps(watch_words):
        name = line.split(" ")[0]
        if name != "sleep":
            want_logged[name] = want_logged.get(name, 0) + 1
    if log and steps_logged != want_logged:
        found.append("steps logged %s, want %s" % (steps_logged, want_logged))
    if log and not log["wait-window"][0]["found"]:
        found.append("the watcher's window never came")
    report("the watcher, started as its Run value says (%s) under the debugger following the "
           "processes it starts, through one session in a virtual desktop" % watch_line, found)
    if found:
        return
    children = result["children"]
    mode_entries, power = log["mode"], log["power"][0]
    query, second, counts = log["query-suspend"][0], log["run"][0], log["count"]

    # 1. Alone: from its start to the first event.
    found = run_cases.unclean_run(result)
    for what in ("accesses", "driverCalls", "changedRegisters", "messageBoxes"):
        if result[what]:
            found.append("the watcher itself: %s %s" % (what, json.dumps(result[what][:3])))
    early = runs_between(children, 0, mode_entries[0]["before"])
    if early:
        found.append("%d run(s) started before any event" % len(early))
    if counts[0]["watchers"] != 1:
        found.append("%d watcher windows, want 1" % counts[0]["watchers"])
    memory = log["memory"][0]
    if not memory["ok"]:
        found.append("no memory counters of the watcher")
    report("the watcher alone: no adapter access, no mapping-driver call, no message box, no run "
           "in %.1f s" % ((mode_entries[0]["before"] - log["wait-window"][0]["tick"]) / 1000.0), found,
           lambda: "; working set %d KiB (peak %d KiB, pagefile %d KiB) as Wine counts it, "
           "watchsteps.exe's own %d KiB" % (memory["workingSet"] // 1024, memory["peakWorkingSet"] // 1024,
                                           memory["pagefileUsage"] // 1024, memory["ownWorkingSet"] // 1024))

    # 2. RefreshRate and a mode change.
    first = mode_entries[0]
    found = [] if log["rate"][0]["status"] == 0 and first["result"] == 0 else [
        "setting RefreshRate (%d) or the mode (%d) failed" % (log["rate"][0]["status"], first["result"])]
    more, delay = one_run(children, first["before"], power["tick"], first["before"], utility, MODE,
                          sim_path, ini_files)
    report("RefreshRate \"%s\", mode %dx%d: one run of the utility, refresh-sim's on that machine"
           % ((RATE,) + MODE), found + more,
           lambda: "; started %d ms after ChangeDisplaySettingsA was called (%d ms after it returned)"
           % (delay, delay - (first["tick"] - first["before"])))

    # 3. A resume.
    burst = mode_entries[1:]
    found = [] if power["sent"] else ["the broadcast was not sent"]
    more, delay = one_run(children, power["tick"], burst[0]["before"], power["tick"], utility, MODE,
                          sim_path, ini_files)
    report("a broadcast resume (PBT_APMRESUMESUSPEND): one more run, refresh-sim's", found + more,
           lambda: "; started %d ms after the broadcast" % delay)

    # 4. A burst of mode changes.
    found = ["setting mode %dx%d failed (%d)" % (m + (e["result"],)) for m, e in zip(BURST, burst)
             if e["result"] != 0]
    gaps = [b["before"] - a["tick"] for a, b in zip(burst, burst[1:])]
    if len(burst) != len(BURST) or any(g >= 2000 for g in gaps):
        found.append("the mode changes were not inside the delay: gaps %s ms" % gaps)
    more, delay = one_run(children, burst[0]["before"], query["tick"], burst[-1]["tick"], utility,
                          BURST[-1], sim_path, ini_files)
    report("%d mode changes %s ms apart: one run, refresh-sim's on the last mode (%dx%d)"
           % ((len(BURST), gaps) + BURST[-1]), found + more,
           lambda: "; started %d ms after the last change returned" % delay)

    # 5. A suspend query.
    found = []
    if not query["sent"]:
        found.append("the query was not answered")
    if query["answer"] == BROADCAST_QUERY_DENY:
        found.append("the watcher refused the suspend (BROADCAST_QUERY_DENY)")
    if query["answer"] != query["defaultAnswer"]:
        found.append("answer %#x, DefWindowProcA's %#x" % (query["answer"], query["defaultAnswer"]))
    later = runs_between(children, query["tick"], 1 << 32)
    if later:
        found.append("%d run(s) after the query" % len(later))
    report("a suspend query is not refused: answered %#x, as DefWindowProcA answers; no run follows"
           % query["answer"], found)

    # 6. A second watcher.
    found = []
    if not (second["ok"] and second["ended"] and second["exitCode"] == 0):
        found.append("the second watcher: %s" % json.dumps(second))
    if counts[1]["watchers"] != 1:
        found.append("%d watcher windows after it, want 1" % counts[1]["watchers"])
    report("a second watcher exits with 0 (in %s ms, its start included), one watcher left"
           % second.get("took", "?"), found)

    # 7. The end of the session.
    end, wait = log["end-session"][0], log["wait-exit"][0]
    found = []
    if not (end["sent"] and end["queryAnswer"]):
        found.append("WM_QUERYENDSESSION was refused or not answered: %s" % json.dumps(end))
    if not (wait["ended"] and wait["exitCode"] == 0):
        found.append("the debugger did not end cleanly: %s" % json.dumps(wait))
    if result["exitCode"] != 0:
        found.append("the watcher's exit code %d, want 0" % result["exitCode"])
    if result["process"]["exitTick"] < counts[1]["tick"]:
        found.append("the watcher ended before the end of the session")
    if counts[2]["watchers"] != 0:
        found.append("%d watcher windows after the end, want 0" % counts[2]["watchers"])
    runs = len(children)
    if runs != 3 or any(c["exitCode"] != 0 or c["error"] or c["crash"] for c in children):
        found.append("%d processes started, want the 3 runs of the utility, each ending with 0" % runs)
    report("at the end of the session the watcher exits with code 0; it started the utility 3 times",
           found)

    found = s.wine(run_package.UNINSTALL_COMMAND) + s.wine(run_package.RESTART)
    now = s.state()
    found += run_package.compare("before the install", clean, now)
    report("removed and Windows started again: registry and Windows folder as before the install",
           found)


def main(argv):
    host_dir, windows_dir, counts_file, _ = wine_session.proof_arguments(argv, __doc__)
    sim_path = os.path.join(host_dir, "tools", "refresh-sim")
    tools = os.path.join(windows_dir, "tests", "wine")
    zip_path = os.path.join(windows_dir, run_package.ZIP_NAME)
    for path in (sim_path, zip_path, os.path.join(tools, "debugger.exe"), os.path.join(tools, "watchsteps.exe"),
                 os.path.join(tools, "physwin.vxd")):
        if not os.path.isfile(path):
            sys.stderr.write("run_watch: %s missing: build both presets first\n" % path)
            return 2

    with wine_session.wine_session(tools, "watcher proof", counts_file) as (env, run_dir, tally):
        report = wine_session.step_reporter(tally, "watch")
        ini_files = run_cases.write_system_inis(run_dir)
        prove(zip_path, sim_path, tools, env, ini_files, report)
    return 1 if tally.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
