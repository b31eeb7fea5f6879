#!/usr/bin/env python3
"""Proves the installed watcher LUMWATCH.EXE under Wine, as Windows 98.

    run_watch.py [--counts FILE] HOST_BUILD_DIR WINDOWS_BUILD_DIR

The zip is unpacked and installed as run_package.py does. First, in one session with the watcher
running, the package is removed and installed again before the next start: after the end of that
session and the next start (wineboot -r) the package is installed as before. Then one Wine session,
the "typical" machine of run_cases.py in a virtual desktop of its screen's size (where a program may
set the mode and Wine broadcasts WM_DISPLAYCHANGE to every top-level window, hidden ones included),
in which watchsteps.exe plays the user and Windows (steps()): it starts the watcher as its Run
value says, under the emulating debugger with --follow, so that every run of the utility the
watcher starts is debugged as well, on an adapter model of its own, with the mapping-driver double
beside it. Then:

1. the watcher runs the utility once at its start (the start run is its own), refresh-sim's, and
   itself makes no adapter access;
2. RefreshRate alone set to another rate, no mode change: one run within 3 s, refresh-sim's at the
   new rate;
3. RefreshRate and a mode change: exactly one run, refresh-sim's on that machine;
4. a broadcast resume from suspend (7), then one from standby (8): one run each;
5. three mode changes inside the watcher's delay: one run, refresh-sim's on the last mode;
6. a suspend query (PBT_APMQUERYSUSPEND) is answered as DefWindowProcA answers, not refused, and
   starts nothing;
7. a second watcher, started as the Run value says, exits at once with 0, and one watcher is left;
8. at the end of the session (WM_QUERYENDSESSION, a WM_ENDSESSION broadcast) the watcher exits
   with code 0, having started those runs and no more, no two of them at once.

Then a session in which each run of the utility waits on its message box (the mapping driver's
control call fails; the debugger holds the box 6 s) while two more events come: the runs never
overlap, and the last event still gets its run; and one in which two watchers start at the same
moment: one is left. Last, the package is removed, the session ended and Windows started again:
registry and Windows folder as before the install. It reports the time from each event to the run
the debugger sees created, and the watcher's working set (GetProcessMemoryInfo from
watchsteps.exe, as Wine counts it).

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
RATE_ALONE = "60"
RATE_ALONE_WITHIN_MS = 3000
RATE = "75"
MODE = (800, 600)
START_MODE = (1024, 768)
# The burst: three modes, each set well inside the watcher's two seconds after the last; the run
# must see the last.
BURST = [(640, 480), (800, 600), (1024, 768)]
BURST_GAP_MS = 300
PBT_APMRESUMESUSPEND = 7
PBT_APMRESUMESTANDBY = 8
BROADCAST_QUERY_DENY = 0x424D5144
# After each event: the watcher's two seconds (kSettleMilliseconds) and a run of the utility, about
# two seconds under qemu, with room to spare.
AFTER_EVENT_MS = 9000
# The watcher's start run, and after the suspend query: long enough that a run would have come.
QUIET_MS = 7000
# A second watcher must be gone in this time, its start under qemu included.
SECOND_WATCHER_MS = 10000
SESSION_MS = 300000
# The slow runs: the mapping driver's control call fails, and the debugger holds the box this long.
SLOW_ROW = next(c for c in run_cases.CASES if c.name == "vxd-ioctl-fails")
BOX_HOLD_MS = 6000
# Where two watchers start at once: a folder without the utility, so their start run starts nothing.
TWO_FOLDER = "watch2"


def steps(watch_line):
    """The main session, as watchsteps.exe reads it."""
    lines = [run_package.debugged_watcher("result.json", watch_line, timeout_ms=SESSION_MS),
             "wait-window 60000", "sleep %d" % QUIET_MS, "count", "memory",
             "rate " + RATE_ALONE, "sleep %d" % AFTER_EVENT_MS,
             "rate " + RATE, "mode %dx%d" % MODE, "sleep %d" % AFTER_EVENT_MS,
             "power %d" % PBT_APMRESUMESUSPEND, "sleep %d" % AFTER_EVENT_MS,
             "power %d" % PBT_APMRESUMESTANDBY, "sleep %d" % AFTER_EVENT_MS]
    for k, mode in enumerate(BURST):
        lines += (["sleep %d" % BURST_GAP_MS] if k else []) + ["mode %dx%d" % mode]
    lines += ["sleep %d" % AFTER_EVENT_MS, "query-suspend", "sleep %d" % QUIET_MS,
              "run %d %s" % (SECOND_WATCHER_MS, watch_line), "count",
              "end-session", "wait-exit 60000", "count"]
    return lines


def runs_between(children, start, end):
    return [c for c in children if start <= c["process"]["startTick"] < end]


def depth_of(bpp):
    """The X depth whose bits per pixel Wine reports as bpp (run_cases.WINE_BPP, the other way)."""
    return next(d for d, b in sorted(run_cases.WINE_BPP.items()) if b == bpp)


def utility_run(child, utility, mode, sim_path, ini_files, rate, row=MACHINE):
    """What is wrong with one run of the utility: not the installed one, not on the mode the
    session set, or other than refresh-sim's on that machine."""
    found = []
    if child["process"]["program"].lower() != utility.lower():
        found.append("the run is of %s, not %s" % (child["process"]["program"], utility))
    screen = child["screen"]
    if (screen["width"], screen["height"]) != mode:
        found.append("the run found the screen at %dx%d, the session set %dx%d"
                     % (screen["width"], screen["height"], mode[0], mode[1]))
    row = row._replace(rate=rate, screen="%dx%dx%d" % (
        screen["width"], screen["height"], depth_of(screen["bitsPerPixel"])))
    sim_args = run_cases.machine_args(row, ini_files)[1]
    status, out, err = wine_session.run([sim_path] + sim_args)
    if status != 0:
        return found + ["refresh-sim failed (%d): %s" % (status, err.strip())]
    sim = json.loads(out)
    found += run_cases.differences(child, sim)
    # Each run must be a full one (the row's count), so that two runs that stopped early alike are
    # no proof.
    if len(sim["accesses"]) != row.accesses:
        found.append("refresh-sim makes %d accesses on that machine, a full run %d"
                     % (len(sim["accesses"]), row.accesses))
    return found


def one_run(children, start, end, after_tick, utility, mode, sim_path, ini_files, rate=RATE):
    """(what is wrong, the run's delay in ms after after_tick) for a span that must hold one run."""
    runs = runs_between(children, start, end)
    if len(runs) != 1:
        return ["%d runs of the utility followed, want 1" % len(runs)], None
    return (utility_run(runs[0], utility, mode, sim_path, ini_files, rate),
            runs[0]["process"]["startTick"] - after_tick)


def overlaps(children):
    """A text for each run that started before the one before it had ended."""
    spans = sorted((c["process"]["startTick"], c["process"]["exitTick"]) for c in children)
    return ["a run started at %d, before the one started at %d had ended (at %d)" % (b[0], a[0], a[1])
            for a, b in zip(spans, spans[1:]) if b[0] < a[1]]


def prove(zip_path, sim_path, tools, env, ini_files, report):
    s = run_package.Session(env, ini_files)
    found = s.wine(run_package.UNINSTALL_SECTION)  # makes the prefix when there is none
    s.unpack(zip_path)
    clean = s.state()
    install = run_package.INSTALL_VERB.replace("%1", run_package.INF_PATH)
    found += s.wine(install)
    installed = s.state()
    watch_line = reg_string(installed[0].get(run_package.RUN_KEY, {}).get(run_package.WATCH_RUN_VALUE, '""')) or ""
    uninstall = reg_string(installed[0].get(run_package.UNINSTALL_ENTRY, {}).get("UninstallString", '""')) or ""
    if not watch_line or not uninstall:
        found.append("no Run value or Uninstall entry: %r, %r" % (watch_line, uninstall))
    if found:
        report("the package installed", found)
        return
    utility = run_package.UTILITY

    # Removed and installed again before the next start, with the watcher running.
    _, found = run_package.session_with_watcher(
        s, tools, watch_line, ["run 120000 " + uninstall, "run 120000 " + install])
    _, ours, _ = run_package.wininit_left(s.windows)
    if ours:
        found.append("WININIT.INI names the watcher for deletion, though the package is installed")
    found += s.wine(run_package.RESTART)
    found += run_package.compare("installed, after the next start", installed, s.state())
    report("removed and installed again in one session, with the watcher running: after its end and "
           "the next start the package is installed as before, LUMWATCH.EXE included", found)

    log, results, found = s.steps(tools, steps(watch_line), outs=["result.json"], timeout_ms=SESSION_MS)
    result = results.get("result.json")
    steps_logged = {name: len(entries) for name, entries in (log or {}).items()}
    want_logged = {}
    for line in steps(watch_line):
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
    rates, modes, power = log["rate"], log["mode"], log["power"]
    query, second, counts = log["query-suspend"][0], log["run"][0], log["count"]

    # 1. Its start.
    found = run_cases.unclean_run(result)
    for what in ("accesses", "driverCalls", "changedRegisters", "messageBoxes"):
        if result[what]:
            found.append("the watcher itself: %s %s" % (what, json.dumps(result[what][:3])))
    if counts[0]["watchers"] != 1:
        found.append("%d watcher windows, want 1" % counts[0]["watchers"])
    more, delay = one_run(children, 0, rates[0]["tick"], log["start"][0]["tick"], utility, START_MODE,
                          sim_path, ini_files, MACHINE.rate)
    memory = log["memory"][0]
    if not memory["ok"]:
        found.append("no memory counters of the watcher")
    report("at its start the watcher runs the utility once, refresh-sim's; itself no adapter access, "
           "no mapping-driver call, no message box", found + more,
           lambda: "; run %d ms after the start; working set %d KiB (peak %d KiB, pagefile %d KiB) as "
           "Wine counts it, watchsteps.exe's own %d KiB" % (
               delay, memory["workingSet"] // 1024, memory["peakWorkingSet"] // 1024,
               memory["pagefileUsage"] // 1024, memory["ownWorkingSet"] // 1024))

    # 2. A new rate alone.
    found = [] if rates[0]["status"] == 0 else ["setting RefreshRate failed (%d)" % rates[0]["status"]]
    more, delay = one_run(children, rates[0]["tick"], rates[1]["tick"], rates[0]["tick"], utility, START_MODE,
                          sim_path, ini_files, RATE_ALONE)
    if delay is not None and delay > RATE_ALONE_WITHIN_MS:
        more.append("the run came %d ms after the new rate, want at most %d" % (delay, RATE_ALONE_WITHIN_MS))
    report("RefreshRate \"%s\" alone, no mode change: one run within %.0f s, refresh-sim's at that rate"
           % (RATE_ALONE, RATE_ALONE_WITHIN_MS / 1000.0), found + more,
           lambda: "; started %d ms after RefreshRate was written" % delay)

    # 3. RefreshRate and a mode change.
    first = modes[0]
    found = [] if rates[1]["status"] == 0 and first["result"] == 0 else [
        "setting RefreshRate (%d) or the mode (%d) failed" % (rates[1]["status"], first["result"])]
    more, delay = one_run(children, rates[1]["tick"], power[0]["tick"], first["before"], utility, MODE,
                          sim_path, ini_files)
    report("RefreshRate \"%s\", mode %dx%d: one run of the utility, refresh-sim's on that machine"
           % ((RATE,) + MODE), found + more,
           lambda: "; started %d ms after ChangeDisplaySettingsA was called (%d ms after it returned)"
           % (delay, delay - (first["tick"] - first["before"])))

    # 4. Resumes.
    burst = modes[1:]
    for k, (event, end) in enumerate(((PBT_APMRESUMESUSPEND, power[1]["tick"]),
                                      (PBT_APMRESUMESTANDBY, burst[0]["before"]))):
        found = [] if power[k]["sent"] else ["the broadcast was not sent"]
        more, delay = one_run(children, power[k]["tick"], end, power[k]["tick"], utility, MODE, sim_path, ini_files)
        report("a broadcast resume (event %d): one more run, refresh-sim's" % event, found + more,
               lambda: "; started %d ms after the broadcast" % delay)

    # 5. A burst of mode changes.
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

    # 6. A suspend query.
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

    # 7. A second watcher.
    found = []
    if not (second["ok"] and second["ended"] and second["exitCode"] == 0):
        found.append("the second watcher: %s" % json.dumps(second))
    if counts[1]["watchers"] != 1:
        found.append("%d watcher windows after it, want 1" % counts[1]["watchers"])
    report("a second watcher exits with 0 (in %s ms, its start included), one watcher left"
           % second.get("took", "?"), found)

    # 8. The end of the session.
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
    if runs != 6 or any(c["exitCode"] != 0 or c["error"] or c["crash"] for c in children):
        found.append("%d processes started, want the 6 runs of the utility, each ending with 0" % runs)
    found += overlaps(children)
    report("at the end of the session the watcher exits with code 0; it started the utility 6 times, "
           "never two at once", found)

    # Runs that wait on their box, and events meanwhile.
    slow = ["wait-window 60000", "sleep 3500", "mode %dx%d" % MODE, "sleep 1000",
            "power %d" % PBT_APMRESUMESTANDBY, "sleep %d" % (3 * BOX_HOLD_MS + 8000), "end-session", "wait-exit 60000"]
    log, results, found = s.steps(
        tools, [run_package.debugged_watcher("slow.json", watch_line, timeout_ms=SESSION_MS)] + slow,
        outs=["slow.json"], row=SLOW_ROW,
        extra_env={"DEBUGGER_BOX_HOLD_MS": str(BOX_HOLD_MS), "PHYSWIN_MODE": SLOW_ROW.driver})
    children = (results.get("slow.json") or {}).get("children", [])
    if not found:
        found += overlaps(children)
        if len(children) != 2:
            found.append("%d runs, want the start run and one after the events" % len(children))
        else:
            run1, run2 = children
            events = [log["mode"][0]["before"], log["power"][0]["tick"]]
            if not all(run1["process"]["startTick"] < t < run1["process"]["exitTick"] for t in events):
                found.append("the events did not come while the first run went on: %s, run %s"
                             % (events, run1["process"]))
            if run2["process"]["startTick"] < max(events):
                found.append("the second run started before the last event")
            for run, mode in ((run1, START_MODE), (run2, MODE)):
                found += utility_run(run, utility, mode, sim_path, ini_files, MACHINE.rate, SLOW_ROW)
    report("each run waiting %d s on its box (the control call fails), a mode change and a resume "
           "meanwhile: the runs never overlap, and the last event gets its run, refresh-sim's"
           % (BOX_HOLD_MS // 1000), found)

    # Two watchers at the same moment, where no utility is to start.
    two = os.path.join(s.prefix, "drive_c", TWO_FOLDER)
    shutil.rmtree(two, ignore_errors=True)
    os.makedirs(two)
    shutil.copy(run_package.host_path(s.windows, run_package.WATCH_FILE), os.path.join(two, "LUMWATCH.EXE"))
    log, _, found = s.steps(tools, ["start-two C:\\%s\\LUMWATCH.EXE" % TWO_FOLDER, "sleep 8000", "count",
                                    "end-session", "wait-gone 30000"])
    shutil.rmtree(two, ignore_errors=True)
    if log and not (log["start-two"][0]["ok"] and log["count"][0]["watchers"] == 1 and log["wait-gone"][0]["gone"]):
        found.append("two watchers started at once: %s, %s" % (log["start-two"], log["count"]))
    report("two watchers started at the same moment: one is left", found)

    _, found = run_package.session_with_watcher(s, tools, watch_line, ["run 120000 " + uninstall])
    found += s.wine(run_package.RESTART)
    found += run_package.compare("before the install", clean, s.state())
    report("removed, the session ended and Windows started again: registry and Windows folder as "
           "before the install", found)


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
