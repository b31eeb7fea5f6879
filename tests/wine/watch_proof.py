"""The installed watcher's proof: LUMWATCH.EXE under Wine, as Windows 98, each job from the package
unpacked and installed (package.INSTALLED).

In one session with the watcher running, the package is removed and installed again before the
next start: after the end of that session and the next start (wineboot -r) the package is
installed as before. The main session is the "typical" machine of the case table in a virtual
desktop of its screen's size (where a program may set the mode and Wine broadcasts
WM_DISPLAYCHANGE to every top-level window, hidden ones included), in which watchsteps.exe plays
the user and Windows (steps()): it starts the watcher as its Run value says, under the emulating
debugger with --follow, so that every run of the utility the watcher starts is debugged as well, on
an adapter model of its own, with the mapping-driver double beside it. Then:

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

After each event the session waits for the run and its end, and then as long as the watcher would
take to start another (package.RUN_WOULD_START_MS), so that a run too many shows in the event's
span. Then a session in which each run of the utility waits on its message box (the mapping
driver's control call fails; the debugger holds the box 6 s) while two more events come: the runs
never overlap, and the last event still gets its run; and one in which two watchers start at the
same moment: one is left. With a monitor of 30-64 kHz in the registry (machines.monitor_reg(),
imported in the session) and RefreshRate "85", the watcher starts no run at its start (1024 x 768:
68.7 kHz) nor after a mode change to 1280 x 1024 (90.6 kHz), and one after a change to 800 x 600
(53.6 kHz), refresh-sim's; the main session, without the monitor, has its start run for "85" at
1024 x 768. Last, the package is removed, the session ended and Windows started
again: registry and Windows folder as before the install. It reports the time from each event to
the run the debugger sees created, and the watcher's working set (GetProcessMemoryInfo from
watchsteps.exe, as Wine counts it)."""

import json
import os
import shutil

import comparisons
import machines
import package
from package import (INSTALLED, RUN_WOULD_START_MS, UTILITY, WAIT_MS, debugged_watcher, session_with_watcher,
                     wait_for_run)
from wine_pool import Job, Proof

MACHINE = package.MACHINE
RATE_ALONE = "60"
# The watcher's two seconds and its start of the run: within 3 s on Windows; under qemu on a busy
# machine the start of a process takes up to a second more (seen: 3,105 ms).
RATE_ALONE_WITHIN_MS = 4000
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
# A second watcher must be gone in this time, its start under qemu included.
SECOND_WATCHER_MS = 10000
SESSION_MS = 300000
# The slow runs: the mapping driver's control call fails, and the debugger holds the box this long.
SLOW_ROW = machines.case("vxd-ioctl-fails")
BOX_HOLD_MS = 6000
# The window class of a message box: the only dialog of the session.
BOX_CLASS = "#32770"
# Where two watchers start at once: a folder without the utility, so their start run starts nothing.
TWO_FOLDER = "watch2"


def after_event():
    """The run an event gets, and time enough for one more that must not come."""
    return wait_for_run() + ["sleep %d" % RUN_WOULD_START_MS]


def steps(watch_line):
    """The main session, as watchsteps.exe reads it."""
    lines = ([debugged_watcher("result.json", watch_line, timeout_ms=SESSION_MS), "wait-window %d" % WAIT_MS] +
             after_event() + ["count", "memory", "rate " + RATE_ALONE] + after_event() +
             ["rate " + RATE, "mode %dx%d" % MODE] + after_event() +
             ["power %d" % PBT_APMRESUMESUSPEND] + after_event() + ["power %d" % PBT_APMRESUMESTANDBY] + after_event())
    for k, mode in enumerate(BURST):
        lines += (["sleep %d" % BURST_GAP_MS] if k else []) + ["mode %dx%d" % mode]
    lines += after_event() + ["query-suspend", "sleep %d" % RUN_WOULD_START_MS,
                              "run %d %s" % (SECOND_WATCHER_MS, watch_line), "count",
                              "end-session", "wait-exit %d" % WAIT_MS, "count"]
    return lines


def runs_between(children, start, end):
    return [c for c in children if start <= c["process"]["startTick"] < end]


def utility_run(child, mode, sim_path, ini_files, rate, row=MACHINE):
    """What is wrong with one run of the utility: not the installed one, not on the mode the
    session set, or other than refresh-sim's on that machine."""
    found = []
    if child["process"]["program"].lower() != UTILITY.lower():
        found.append("the run is of %s, not %s" % (child["process"]["program"], UTILITY))
    screen = child["screen"]
    if (screen["width"], screen["height"]) != mode:
        found.append("the run found the screen at %dx%d, the session set %dx%d"
                     % (screen["width"], screen["height"], mode[0], mode[1]))
    row = row._replace(rate=rate, screen="%dx%dx%d" % (
        screen["width"], screen["height"], machines.depth_of(screen["bitsPerPixel"])))
    more, sim = machines.simulate(sim_path, machines.machine_args(row, ini_files)[1])
    if more:
        return found + more
    found += comparisons.differences(child, sim)
    # Each run must be a full one (the row's count), so that two runs that stopped early alike are
    # no proof.
    if len(sim["accesses"]) != row.accesses:
        found.append("refresh-sim makes %d accesses on that machine, a full run %d"
                     % (len(sim["accesses"]), row.accesses))
    return found


def one_run(children, start, end, after_tick, mode, sim_path, ini_files, rate=RATE):
    """(what is wrong, the run's delay in ms after after_tick) for a span that must hold one run."""
    runs = runs_between(children, start, end)
    if len(runs) != 1:
        return ["%d runs of the utility followed, want 1" % len(runs)], None
    return utility_run(runs[0], mode, sim_path, ini_files, rate), runs[0]["process"]["startTick"] - after_tick


def overlaps(children):
    """A text for each run that started before the one before it had ended."""
    spans = sorted((c["process"]["startTick"], c["process"]["exitTick"]) for c in children)
    return ["a run started at %d, before the one started at %d had ended (at %d)" % (b[0], a[0], a[1])
            for a, b in zip(spans, spans[1:]) if b[0] < a[1]]


def reinstalled(b, w, report):
    """Removed and installed again before the next start, with the watcher running."""
    s = package.Session(w.env, w.ini_files, b.tools)
    f = w.facts
    _, found = session_with_watcher(s, f["watch_line"], ["run 120000 " + f["uninstall"], "run 120000 " + package.INSTALL])
    _, ours, _ = package.wininit_left(s.windows)
    if ours:
        found.append("WININIT.INI names the watcher for deletion, though the package is installed")
    found += s.wine(package.RESTART)
    found += package.compare("installed, after the next start", f["installed"], s.state())
    report("removed and installed again in one session, with the watcher running: after its end and "
           "the next start the package is installed as before, LUMWATCH.EXE included", found)


def main_session(b, w, report):
    s = package.Session(w.env, w.ini_files, b.tools)
    sim_path, ini_files, watch_line = b.sim, w.ini_files, w.facts["watch_line"]
    log, results, found = s.steps(steps(watch_line), outs=["result.json"], timeout_ms=SESSION_MS)
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
    found = comparisons.unclean_run(result)
    for what in ("accesses", "driverCalls", "changedRegisters", "messageBoxes"):
        if result[what]:
            found.append("the watcher itself: %s %s" % (what, json.dumps(result[what][:3])))
    if counts[0]["watchers"] != 1:
        found.append("%d watcher windows, want 1" % counts[0]["watchers"])
    more, delay = one_run(children, 0, rates[0]["tick"], log["start"][0]["tick"], START_MODE,
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
    more, delay = one_run(children, rates[0]["tick"], rates[1]["tick"], rates[0]["tick"], START_MODE,
                          sim_path, ini_files, RATE_ALONE)
    if delay is not None and delay > RATE_ALONE_WITHIN_MS:
        more.append("the run came %d ms after the new rate, want at most %d" % (delay, RATE_ALONE_WITHIN_MS))
    report("RefreshRate \"%s\" alone, no mode change: one run within %.0f s (3 s and qemu's start), refresh-sim's at that rate"
           % (RATE_ALONE, RATE_ALONE_WITHIN_MS / 1000.0), found + more,
           lambda: "; started %d ms after RefreshRate was written" % delay)

    # 3. RefreshRate and a mode change.
    first = modes[0]
    found = [] if rates[1]["status"] == 0 and first["result"] == 0 else [
        "setting RefreshRate (%d) or the mode (%d) failed" % (rates[1]["status"], first["result"])]
    more, delay = one_run(children, rates[1]["tick"], power[0]["tick"], first["before"], MODE, sim_path, ini_files)
    report("RefreshRate \"%s\", mode %dx%d: one run of the utility, refresh-sim's on that machine"
           % ((RATE,) + MODE), found + more,
           lambda: "; started %d ms after ChangeDisplaySettingsA was called (%d ms after it returned)"
           % (delay, delay - (first["tick"] - first["before"])))

    # 4. Resumes.
    burst = modes[1:]
    for k, (event, end) in enumerate(((PBT_APMRESUMESUSPEND, power[1]["tick"]),
                                      (PBT_APMRESUMESTANDBY, burst[0]["before"]))):
        found = [] if power[k]["sent"] else ["the broadcast was not sent"]
        more, delay = one_run(children, power[k]["tick"], end, power[k]["tick"], MODE, sim_path, ini_files)
        report("a broadcast resume (event %d): one more run, refresh-sim's" % event, found + more,
               lambda: "; started %d ms after the broadcast" % delay)

    # 5. A burst of mode changes.
    found = ["setting mode %dx%d failed (%d)" % (m + (e["result"],)) for m, e in zip(BURST, burst)
             if e["result"] != 0]
    gaps = [b_["before"] - a["tick"] for a, b_ in zip(burst, burst[1:])]
    if len(burst) != len(BURST) or any(g >= 2000 for g in gaps):
        found.append("the mode changes were not inside the delay: gaps %s ms" % gaps)
    more, delay = one_run(children, burst[0]["before"], query["tick"], burst[-1]["tick"], BURST[-1], sim_path,
                          ini_files)
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


def slow_runs(b, w, report):
    """Runs that wait on their box, and events meanwhile: the mode change and the resume come while
    the start run's box is up, and the session ends once the run they get is over."""
    s = package.Session(w.env, w.ini_files, b.tools)
    slow = (["wait-window %d" % WAIT_MS, "wait-class %d %s" % (WAIT_MS, BOX_CLASS), "mode %dx%d" % MODE, "sleep 1000",
             "power %d" % PBT_APMRESUMESTANDBY, wait_for_run()[1]] + after_event() +
            ["end-session", "wait-exit %d" % WAIT_MS])
    log, results, found = s.steps(
        [debugged_watcher("slow.json", w.facts["watch_line"], timeout_ms=SESSION_MS)] + slow,
        outs=["slow.json"], row=SLOW_ROW,
        extra_env={"DEBUGGER_BOX_HOLD_MS": str(BOX_HOLD_MS), "PHYSWIN_MODE": SLOW_ROW.driver})
    children = (results.get("slow.json") or {}).get("children", [])
    if not found:
        found += overlaps(children)
        if len(children) != 2:
            found.append("%d runs, want the start run and one after the events" % len(children))
        else:
            run1, run2 = children
            if not log["wait-class"][0]["found"]:
                found.append("the start run's box never came")
            events = [log["mode"][0]["before"], log["power"][0]["tick"]]
            if not all(run1["process"]["startTick"] < t < run1["process"]["exitTick"] for t in events):
                found.append("the events did not come while the first run went on: %s, run %s"
                             % (events, run1["process"]))
            if run2["process"]["startTick"] < max(events):
                found.append("the second run started before the last event")
            for run, mode in ((run1, START_MODE), (run2, MODE)):
                found += utility_run(run, mode, b.sim, w.ini_files, MACHINE.rate, SLOW_ROW)
    report("each run waiting %d s on its box (the control call fails), a mode change and a resume "
           "meanwhile: the runs never overlap, and the last event gets its run, refresh-sim's"
           % (BOX_HOLD_MS // 1000), found)


def two_watchers(b, w, report):
    """Two watchers at the same moment, where no utility is to start: once one of them has left,
    the other's window is the only one."""
    s = package.Session(w.env, w.ini_files, b.tools)
    two = os.path.join(s.prefix, "drive_c", TWO_FOLDER)
    shutil.rmtree(two, ignore_errors=True)
    os.makedirs(two)
    shutil.copy(package.host_path(s.windows, package.WATCH_FILE), os.path.join(two, "LUMWATCH.EXE"))
    log, _, found = s.steps(["start-two C:\\%s\\LUMWATCH.EXE" % TWO_FOLDER, "wait-processes %d 1 LUMWATCH.EXE" % WAIT_MS,
                             "wait-window %d" % WAIT_MS, "count", "end-session", "wait-gone %d" % WAIT_MS])
    shutil.rmtree(two, ignore_errors=True)
    if log and not (log["start-two"][0]["ok"] and log["count"][0]["watchers"] == 1 and log["wait-gone"][0]["gone"]):
        found.append("two watchers started at once: %s, %s, %s" % (log["start-two"], log["wait-processes"], log["count"]))
    report("two watchers started at the same moment: one is left", found)


# With the monitor of machines.monitor_reg() and RefreshRate "85": the start's screen and
# MONITOR_BEYOND take timings of a line frequency above the monitor's, MONITOR_WITHIN one inside its
# ranges. The X screen holds the largest: Wine's virtual desktop takes no mode larger than its screen.
MONITOR_RATE = "85"
MONITOR_BEYOND = (1280, 1024)
MONITOR_WITHIN = (800, 600)
MONITOR_ROW = MACHINE._replace(name="monitor", screen="%dx%dx16" % MONITOR_BEYOND, rate=MONITOR_RATE)


def monitor(b, w, report):
    """The monitor imported in the session, RefreshRate "85" stored: the watcher starts no run at its
    start nor after a mode change where the stored rate's timing is beyond the monitor, and one
    where it is within, refresh-sim's. After a mode change where none may come, the session waits as
    long as a run would take to come."""
    s = package.Session(w.env, w.ini_files, b.tools)
    lines = (package.MONITOR_STEPS + [debugged_watcher("monitor.json", w.facts["watch_line"], timeout_ms=SESSION_MS),
                                      "wait-window %d" % WAIT_MS, "sleep %d" % RUN_WOULD_START_MS,
                                      "mode %dx%d" % MONITOR_BEYOND, "sleep %d" % RUN_WOULD_START_MS,
                                      "mode %dx%d" % MONITOR_WITHIN] + after_event() +
             ["end-session", "wait-exit %d" % WAIT_MS])
    log, results, found = s.steps(lines, outs=["monitor.json"], timeout_ms=SESSION_MS, row=MONITOR_ROW,
                                  files=package.MONITOR_FILES)
    found += package.monitor_imported(log)
    if not found and not log["wait-window"][0]["found"]:
        found.append("the watcher's window never came")
    if not found and [(m["result"], m["width"], m["height"]) for m in log["mode"]] != [
            (0,) + MONITOR_BEYOND, (0,) + MONITOR_WITHIN]:
        found.append("the modes were not set: %s" % json.dumps(log["mode"]))
    # Each screen where this proof takes it (README.md's line frequencies against the monitor's
    # ranges), and the utility acting at each, so that a missing run is the watcher's judgement.
    khz = {}
    for screen in (START_MODE, MONITOR_BEYOND, MONITOR_WITHIN):
        khz[screen] = machines.line_frequency(screen[0], screen[1], MONITOR_RATE)
        if machines.beyond_monitor(khz[screen], int(MONITOR_RATE)) != (screen != MONITOR_WITHIN):
            found.append("%d x %d at %s Hz (%.1f kHz) is not where this proof takes it"
                         % (screen + (MONITOR_RATE, khz[screen])))
        more, sim = machines.simulate(b.sim, machines.machine_args(
            MONITOR_ROW._replace(screen="%dx%dx16" % screen), w.ini_files)[1])
        if more or len(sim["accesses"]) != MONITOR_ROW.accesses:
            found.append("the utility would not set a timing at %d x %d: %s" % (screen + (more or sim["summary"],)))
    result = results.get("monitor.json")
    if not found:
        found += comparisons.unclean_run(result)
        if not (log["wait-exit"][0].get("ended") and result["exitCode"] == 0):
            found.append("the watcher did not end with 0 at the end of the session: %s" % json.dumps(log["wait-exit"]))
    report("the monitor (%.1f-%.1f kHz, %d-%d Hz) imported in the session, RefreshRate \"%s\": the watcher "
           "under the debugger, with mode changes to %d x %d and %d x %d"
           % (machines.MONITOR_KHZ + machines.MONITOR_HZ + (MONITOR_RATE,) + MONITOR_BEYOND + MONITOR_WITHIN) +
           ", then the end of the session: the watcher ends with 0", found)
    if found:
        return
    children = result["children"]
    beyond, within = log["mode"]

    spans = [("at its start, at", START_MODE, 0, beyond["before"]),
             ("after the mode change to", MONITOR_BEYOND, beyond["before"], within["before"])]
    for when, screen, start, end in spans:
        runs = runs_between(children, start, end)
        report("%s %d x %d (%s Hz needs %.1f kHz, beyond the monitor): no run of the utility"
               % ((when,) + screen + (MONITOR_RATE, khz[screen])),
               ["%d runs followed" % len(runs)] if runs else [])

    more, delay = one_run(children, within["before"], 1 << 32, within["before"], MONITOR_WITHIN, b.sim, w.ini_files,
                          MONITOR_RATE)
    report("after the mode change to %d x %d (%.1f kHz, within): one run, refresh-sim's"
           % (MONITOR_WITHIN + (khz[MONITOR_WITHIN],)), more,
           lambda: "; started %d ms after ChangeDisplaySettingsA was called" % delay)


def removed(b, w, report):
    s = package.Session(w.env, w.ini_files, b.tools)
    _, found = session_with_watcher(s, w.facts["watch_line"], ["run 120000 " + w.facts["uninstall"]])
    found += s.wine(package.RESTART)
    found += package.compare("before the install", w.facts["clean"], s.state())
    report("removed, the session ended and Windows started again: registry and Windows folder as "
           "before the install", found)


def proof(b):
    def job(name, prove, weight):
        return Job("watch-" + name, lambda w: prove(b, w, w.steps("watch")), base=INSTALLED, weight=weight)

    return Proof("watcher proof", [job("reinstalled", reinstalled, 35), job("session", main_session, 70),
                                   job("slow-runs", slow_runs, 40), job("two-watchers", two_watchers, 15),
                                   job("monitor", monitor, 30),
                                   job("removed", removed, 20)],
                 needs=[b.sim, os.path.join(b.windows, package.ZIP_NAME)] + package.tool_files(b.tools))
