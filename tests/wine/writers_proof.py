"""One writer on the adapter, off the straight path: the installed watcher, the chooser and the
removal under Wine, as Windows 98, each job a session of its own from the package unpacked and
installed (package.INSTALLED), the watcher started as its Run value says under the debugger
following the runs of the utility it starts, the chooser under a debugger of its own.

1. busy: a run of the utility waits on its message box (the mapping driver's control call fails in
   the watcher's runs, and the debugger holds the box) when the chooser starts: the chooser says
   another program is at the adapter and no trial can start; once the run is over, a trial of 85
   Hz starts and goes back;
2. keep-then-try: Keep, then another trial at once, while the watcher's run for the new
   RefreshRate is due: the run waits until the second trial has gone back, and it is refresh-sim's
   for the rate kept;
3. killed: the chooser ended by End Task during a trial: the watcher's run follows within 3 s, and
   it is refresh-sim's for the stored rate;
4. removal-held: the package removed while a run of the utility waits on its box: the removal ends
   only after the run, and after the end of the session and the next start nothing of the package
   is left;
5. run-value-gone: the Run value deleted by hand, the session ended and Windows started again:
   LUMWATCH.EXE is still there, and the Uninstall entry's command then removes the package whole."""

import json
import ntpath
import os

import choose_proof
import package
from choose_proof import CHOOSER, QUESTION, ROW, TITLE, chooser_start
from package import INSTALLED, UTILITY_FILE, WAIT_MS, debugged_watcher, wait_for_run
from watch_proof import BOX_CLASS, SESSION_MS, SLOW_ROW, overlaps, utility_run
from wine_pool import Job, Proof

# The watcher's runs wait this long on their box: time for the chooser to start and look meanwhile.
BOX_HOLD_MS = 20000
BUSY_TEXT = "Another program of this package is at the adapter"
# Within this long after the chooser has gone, the watcher's run puts the stored rate back.
KILLED_RUN_WITHIN_MS = 3000
# The chooser looks at the adapter again every half second while another program is at it: after
# this long it has seen the run end.
LOOK_AGAIN_MS = 2000
SCREEN = (1024, 768)


def session_start(watch_line, out="watcher.json"):
    """The watcher's start, and its start run begun."""
    return [debugged_watcher(out, watch_line, timeout_ms=SESSION_MS), "wait-window %d" % WAIT_MS, wait_for_run()[0]]


def session_end():
    return ["end-session", "wait-gone %d" % WAIT_MS]


def trial_of(rate, answer):
    """The chooser's steps: rate selected, tried, and the question answered by the button answer."""
    return ["select %s|%s Hz" % (TITLE, rate), "click %s|&Try" % TITLE, "wait-title %d %s" % (WAIT_MS, QUESTION),
            "sync %d %s" % (WAIT_MS, QUESTION), "click %s|&%s" % (QUESTION, answer),
            "wait-no-title %d %s" % (choose_proof.QUESTION_GONE_MS, QUESTION), "sync %d %s" % (WAIT_MS, TITLE)]


def chooser_ends():
    return ["close " + TITLE, "wait-exit %d" % WAIT_MS]


def children_of(results, name):
    return (results.get(name) or {}).get("children", [])


def busy(b, w, report):
    s = package.Session(w.env, w.ini_files, b.tools)
    lines = (session_start(w.facts["watch_line"]) + ["wait-class %d %s" % (WAIT_MS, BOX_CLASS),
                                                     "env PHYSWIN_MODE ok", chooser_start("choose.json"),
                                                     "wait-title %d %s" % (WAIT_MS, TITLE), "sync %d %s" % (WAIT_MS, TITLE),
                                                     "texts " + TITLE, "click %s|&Try" % TITLE, "sleep 1000",
                                                     "wait-no-title 1 " + QUESTION, "wait-processes %d 0 %s" % (
                                                         BOX_HOLD_MS + WAIT_MS, UTILITY_FILE),
                                                     "sleep %d" % LOOK_AGAIN_MS, "sync %d %s" % (WAIT_MS, TITLE)] +
             trial_of(choose_proof.RATE, "Go back") + ["texts " + TITLE] + chooser_ends() + session_end())
    log, results, found = s.steps(lines, outs=["watcher.json", "choose.json"], row=SLOW_ROW, timeout_ms=SESSION_MS,
                                  extra_env={"DEBUGGER_BOX_HOLD_MS": str(BOX_HOLD_MS), "PHYSWIN_MODE": SLOW_ROW.driver})
    if log and not found:
        runs = children_of(results, "watcher.json")
        if not log["wait-class"][0]["found"]:
            found.append("the start run's box never came")
        before = log["texts"][0]["texts"]
        if not any(BUSY_TEXT in t for t in before):
            found.append("while the run waits on its box the chooser does not say the adapter is busy: %s" % before)
        if log["click"][0]["ok"]:
            found.append("Try could be pressed while the run went on")
        if not log["wait-no-title"][0]["found"]:
            found.append("a question came while the run went on")
        if not (log["click"][1]["ok"] and log["wait-title"][1]["found"]):
            found.append("after the run no trial could start: %s" % json.dumps(log["texts"][-1]))
        if runs:
            first = runs[0]["process"]
            if log["wait-title"][1]["tick"] < first["exitTick"]:
                found.append("the trial's question came at %d, before the run ended at %d"
                             % (log["wait-title"][1]["tick"], first["exitTick"]))
        else:
            found.append("no run of the utility was seen")
        result = results.get("choose.json")
        if result and result["changedRegisters"]:
            found.append("the trial did not go back: %s" % result["changedRegisters"])
    report("a run of the utility waiting on its box: the chooser says the adapter is busy and tries "
           "nothing; after the run a trial starts and goes back", found)


def keep_then_try(b, w, report):
    s = package.Session(w.env, w.ini_files, b.tools)
    lines = (session_start(w.facts["watch_line"]) + [wait_for_run()[1], chooser_start("choose.json"),
                                                     "wait-title %d %s" % (WAIT_MS, TITLE), "sync %d %s" % (WAIT_MS, TITLE)] +
             trial_of(choose_proof.RATE, "Keep") + trial_of("75", "Go back") + ["read-rate"] + chooser_ends() +
             wait_for_run() + session_end())
    log, results, found = s.steps(lines, outs=["watcher.json"], row=ROW, timeout_ms=SESSION_MS)
    if log and not found:
        runs = children_of(results, "watcher.json")
        if log["read-rate"][0].get("value") != choose_proof.RATE:
            found.append("RefreshRate %r after Keep, want %r" % (log["read-rate"][0].get("value"), choose_proof.RATE))
        if not all(c["ok"] for c in log["click"]) or not all(t["found"] for t in log["wait-title"][1:]):
            found.append("a trial did not start or end as the user asked: %s, %s" % (log["click"], log["wait-title"]))
        found += overlaps(runs)
        if len(runs) != 2:
            found.append("%d runs of the utility, want the start run and the one for the kept rate" % len(runs))
        else:
            later = runs[1]
            # The second trial's answer: the run for the kept rate may start only once it has gone back.
            go_back = log["click"][3]["tick"]
            if later["process"]["startTick"] < go_back:
                found.append("the watcher's run started at %d, during the second trial (answered at %d)"
                             % (later["process"]["startTick"], go_back))
            found += utility_run(later, SCREEN, b.sim, w.ini_files, choose_proof.RATE, ROW)
    report("Keep, then another trial at once: the watcher's run waits until that trial has gone back, "
           "and sets the rate kept, refresh-sim's", found)


def killed(b, w, report):
    s = package.Session(w.env, w.ini_files, b.tools)
    lines = (session_start(w.facts["watch_line"]) + [wait_for_run()[1], chooser_start("choose.json"),
                                                     "wait-title %d %s" % (WAIT_MS, TITLE), "sync %d %s" % (WAIT_MS, TITLE),
                                                     "select %s|%s Hz" % (TITLE, choose_proof.RATE), "click %s|&Try" % TITLE,
                                                     "wait-title %d %s" % (WAIT_MS, QUESTION), "sync %d %s" % (WAIT_MS, QUESTION),
                                                     "kill " + ntpath.basename(CHOOSER)] + wait_for_run() +
             ["read-rate"] + session_end())
    log, results, found = s.steps(lines, outs=["watcher.json"], row=ROW, timeout_ms=SESSION_MS)
    delay = None
    if log and not found:
        runs = children_of(results, "watcher.json")
        if log["kill"][0]["killed"] != 1:
            found.append("%d choosers ended, want 1" % log["kill"][0]["killed"])
        if log["read-rate"][0].get("value") != ROW.rate:
            found.append("RefreshRate %r, want %r" % (log["read-rate"][0].get("value"), ROW.rate))
        found += overlaps(runs)
        if len(runs) != 2:
            found.append("%d runs of the utility, want the start run and the one after the chooser's end" % len(runs))
        else:
            delay = runs[1]["process"]["startTick"] - log["kill"][0]["tick"]
            if not 0 <= delay <= KILLED_RUN_WITHIN_MS:
                found.append("the run started %d ms after the chooser's end, want within %d" % (delay, KILLED_RUN_WITHIN_MS))
            found += utility_run(runs[1], SCREEN, b.sim, w.ini_files, ROW.rate, ROW)
    report("the chooser ended by End Task during a trial: the watcher's run follows within %.0f s, "
           "refresh-sim's for the stored rate" % (KILLED_RUN_WITHIN_MS / 1000.0), found,
           lambda: "; %d ms after the end" % delay)


def removal_held(b, w, report):
    s = package.Session(w.env, w.ini_files, b.tools)
    lines = (session_start(w.facts["watch_line"]) + ["wait-class %d %s" % (WAIT_MS, BOX_CLASS),
                                                     "run %d %s" % (BOX_HOLD_MS + WAIT_MS, w.facts["uninstall"])] +
             session_end())
    log, results, found = s.steps(lines, outs=["watcher.json"], row=SLOW_ROW, timeout_ms=SESSION_MS,
                                  extra_env={"DEBUGGER_BOX_HOLD_MS": str(BOX_HOLD_MS), "PHYSWIN_MODE": SLOW_ROW.driver})
    if log and not found:
        runs = children_of(results, "watcher.json")
        removal = log["run"][0]
        if not (removal["ok"] and removal["ended"] and removal["exitCode"] == 0):
            found.append("the removal did not end with 0: %s" % json.dumps(removal))
        elif runs and removal["tick"] < runs[0]["process"]["exitTick"]:
            found.append("the removal ended at %d, before the run it waited for (ended at %d)"
                         % (removal["tick"], runs[0]["process"]["exitTick"]))
        if len(runs) != 1:
            found.append("%d runs of the utility, want the start run alone" % len(runs))
        found += s.wine(package.RESTART)
        found += package.compare("before the install", w.facts["clean"], s.state())
    report("removed while a run of the utility waits on its box: the removal waits for the run; after "
           "the end of the session and the next start nothing of the package is left", found)


def run_value_gone(b, w, report):
    s = package.Session(w.env, w.ini_files, b.tools)
    delete = 'reg delete "%s" /v %s /f' % (package.RUN_KEY, package.WATCH_RUN_VALUE)
    _, found = package.session_with_watcher(s, w.facts["watch_line"], ["run 60000 " + delete])
    found += s.wine(package.RESTART)
    if not os.path.isfile(package.host_path(s.windows, package.WATCH_FILE)):
        found.append("LUMWATCH.EXE is gone after the next start, the Uninstall entry's command with it")
    # No watcher runs in the next session: the removal starts one for the rest of it.
    log, _, more = s.steps(["run 120000 " + w.facts["uninstall"], "wait-window %d" % WAIT_MS] + session_end())
    found += more
    if log and not (log["run"][0].get("exitCode") == 0 and log["wait-gone"][0]["gone"]):
        found.append("the removal in the next session: %s, %s" % (log["run"][0], log["wait-gone"][0]))
    found += s.wine(package.RESTART)
    found += package.compare("before the install", w.facts["clean"], s.state())
    report("the Run value deleted by hand, the session ended and Windows started again: LUMWATCH.EXE "
           "is there, and the Uninstall entry's command removes the package whole", found)


def proof(b):
    def job(name, prove, weight):
        return Job("writers-" + name, lambda w: prove(b, w, w.steps("writers")), base=INSTALLED, weight=weight)

    return Proof("one writer proof", [job("busy", busy, 45), job("keep-then-try", keep_then_try, 40),
                                      job("killed", killed, 30), job("removal-held", removal_held, 45),
                                      job("run-value-gone", run_value_gone, 30)],
                 needs=[b.sim, os.path.join(b.windows, package.ZIP_NAME)] + package.tool_files(b.tools))
