"""The case table's proof: the shipped refresh.exe and the diagnostic refcheck.exe under Wine, case
by case, against refresh-sim; a trial of one rate and its undoing; run_case.sh's registry value.

For every case of the table (machines.CASES), one machine is described once and handed to both
sides: Wine gets an Xvfb screen, system.ini in C:\\windows, the registry value and the
mapping-driver double (run_case.sh), and the program runs under the emulating debugger on the
adapter model; refresh-sim gets the same machine as options. For refresh.exe the message boxes
(text, caption, type), standard output (byte for byte, CR LF line ends included), exit code and
every adapter access in order must be identical.

Then refcheck.exe runs on every machine of the table. Its only port writes must be index writes
(0x3D4, 0x3D6), each followed at once by a read of its data port, with no other read and no window
store; those pairs must be refresh-sim's. Its standard output must be refresh-sim's followed by
refresh-sim's report, each line ended by CR LF; its message boxes (the utility's own) refresh-sim's;
its exit code 0. It also runs once with /? and once with an unknown option (REFCHECK_OPTION_RUNS).
The rule for its accesses must refuse refresh.exe's own (refcheck-rule, on refresh-sim's trace).

Last, a trial of one rate and its undoing (window-trial, tests/wine/window_trial.cpp) on the
registers at values no table holds: the register window's loads must answer the adapter model's
bytes, and the adapter must end as it began; and run_case.sh --refresh must hand the registry a
value holding " and \\ as written (refresh-value).

A job's name is its line's: a case's name selects both programs' runs on it."""

import json
import os
import re
import time

import comparisons
import machines
from comparisons import boxes, describe, differences, unclean_run
from wine_pool import Job, Proof
from wine_session import RUN_CASE, RUN_LIMIT_MS, failure, run, run_case_sh

# What Wine answers GetWindowsDirectoryA with: run_case.sh writes system.ini there, and the
# diagnostic's report names the path it built from it.
WINE_WINDOWS_DIRECTORY = "C:\\windows"

# The index ports of the two register files the utility reads; the data port is the next one.
INDEX_PORTS = (0x3D4, 0x3D6)
CRTC_INDEX_PORT = 0x3D4

# The index registers as the diagnostic's runs find them: values no run leaves there by chance, so
# that one not put back shows.
REFCHECK_INDEXES = {"crtc-index": 0x5A, "ext-index": 0xA5}
REFCHECK_PRESETS = machines.presets(REFCHECK_INDEXES.items())

# A trial of 85 Hz at 1024x768, 16 bit, and its undoing (tests/wine/window_trial.cpp), on an adapter
# whose every register the sequence writes, both index registers and the window's bytes hold odd
# values no table holds: the window's loads must answer the model's bytes, and the adapter must end
# as it began.
WINDOW_TRIAL = "window-trial"
WINDOW_BASE = 0x60000000

# The diagnostic's runs with an argument, on the typical machine, with no adapter access, no
# mapping-driver call and no message box: name, argument or whole command line, exit code, what
# standard output must be. A command line names the program by a path that is not the real one:
# the program finds its own name in it, whatever stands before.
REFCHECK_HELP = "LUMCHECK shows what LUMRATE.EXE would do"
REFCHECK_OPTION_RUNS = [
    # One screen of an MS-DOS Prompt window, 80x25, with the prompt after it and no line wrapped.
    ("refcheck-help", "/?", 0, "the help, at most 24 lines of at most 79 columns",
     lambda out: (out.startswith(REFCHECK_HELP) and out.endswith("\r\n") and out.count("\n") <= 24
                  and all(len(line) <= 79 for line in out.split("\r\n")))),
    ("refcheck-unknown-option", "/x", 2, "one line",
     lambda out: out.endswith("\r\n") and out.count("\n") == 1),
    # Unquoted paths with a blank or slashes in them are no switch.
    ("refcheck-help-path-with-blank", {"command line": "C:\\My Tools\\refcheck.exe /?"}, 0, "the help",
     lambda out: out.startswith(REFCHECK_HELP)),
    ("refcheck-help-slashed-path", {"command line": "C:/My/refcheck/?"}, 0, "the help",
     lambda out: out.startswith(REFCHECK_HELP)),
]

# The test of the rule for the diagnostic's accesses, on refresh.exe's trace.
REFCHECK_RULE = "refcheck-rule"

# run_case.sh --refresh with a value its .reg file must escape; Wine's own reg.exe reads it back.
REFRESH_VALUE = "refresh-value"
ESCAPED_RATE = '6"0\\5\\'

# A run of the case table takes about this long with its worker's session running (seconds).
CASE_WEIGHT = 4


def index_read_at(accesses, i):
    """Whether accesses[i] is an index write with a read of its data port right after it."""
    return (i + 1 < len(accesses) and accesses[i]["op"] == "out" and accesses[i]["port"] in INDEX_PORTS
            and accesses[i + 1]["op"] == "in" and accesses[i + 1]["port"] == accesses[i]["port"] + 1)


def index_reads(accesses):
    """The register reads among a run's accesses, each with its index write: what the diagnostic
    makes of the utility's run for real."""
    return [a for i in range(len(accesses)) if index_read_at(accesses, i) for a in accesses[i : i + 2]]


def index_saved_and_restored(accesses):
    """The accesses between the diagnostic's read of the CRTC index register and its writing back of
    the same value, and what is wrong with that frame, if anything."""
    if not accesses:
        return [], []
    first, last = accesses[0], accesses[-1]
    if not (first["op"] == "in" and first["port"] == CRTC_INDEX_PORT):
        return accesses, ["the first access is not a read of the CRTC index register: %s" % describe(first)]
    if not (last["op"] == "out" and last["port"] == CRTC_INDEX_PORT and last["value"] == first["value"]):
        return accesses[1:], ["the CRTC index register is not written back as read (0x%02X): %s"
                              % (first["value"], describe(last))]
    return accesses[1:-1], []


def dry_run_faults(accesses):
    """Each access of the diagnostic's Wine run that is not part of a register read, one text each."""
    accesses, found = index_saved_and_restored(accesses)
    i = 0
    while i < len(accesses):
        if index_read_at(accesses, i):
            i += 2
            continue
        access = accesses[i]
        if access["op"] == "store":
            what = "a window store"
        elif access["op"] == "load":
            what = "a window load"
        elif access["op"] == "out" and access["port"] in INDEX_PORTS:
            what = "an index write without a read of its data port right after it"
        elif access["op"] == "out":
            what = "a port write that is no index write"
        else:
            what = "a port read without its index write right before it"
        found.append("access #%d is %s: %s" % (i, what, describe(access)))
        i += 1
    return found


def dry_run_rule_refuses(sim_path, ini_files):
    """The rule of dry_run_faults, tried on the utility's own accesses on the typical machine: it
    must refuse a data-port write, an index write without its read and a window store."""
    found, sim = machines.simulate(sim_path, machines.machine_args(machines.TYPICAL, ini_files)[1])
    if found:
        return found
    faults = dry_run_faults(sim["accesses"])
    return ["the rule does not refuse the utility's accesses of one kind: %s" % kind for kind in
            ("a port write that is no index write", "an index write without a read", "a window store")
            if not any(kind in fault for fault in faults)]


def refcheck_differences(wine, sim):
    """What differs between the diagnostic's Wine run and what it must do on refresh-sim's machine:
    make only the utility's register reads, print the report alone (it quotes the utility's own
    words: LUMCHECK shows no box and prints nothing of LUMRATE's) and end with exit code 0."""
    reads = index_reads(sim["accesses"])
    crtc_index = REFCHECK_INDEXES["crtc-index"]
    framed = ([{"op": "in", "port": CRTC_INDEX_PORT, "value": crtc_index}] + reads
              + [{"op": "out", "port": CRTC_INDEX_PORT, "value": crtc_index}]) if reads else []
    expected = dict(sim, exitCode=0, accesses=framed, messageBoxes=[],
                    stdout="".join(line + "\r\n" for line in sim["report"]))
    faults = dry_run_faults(wine["accesses"])
    if len(faults) > 5:
        faults[5:] = ["... and %d more such accesses" % (len(faults) - 5)]
    if wine.get("changedRegisters"):
        faults.append("the adapter is not as before: %s changed" % ", ".join(wine["changedRegisters"]))
    return faults + differences(wine, expected)


def run_refcheck_option(option_run, exe, ini_files, env):
    """What is wrong with one of REFCHECK_OPTION_RUNS under Wine, one text each."""
    _, argument, want_exit, want_output, output_ok = option_run
    wine_args, _ = machines.machine_args(machines.TYPICAL, ini_files)
    if isinstance(argument, dict):
        program = ["--command-line", argument["command line"], exe]
    else:
        program = [exe, "--", argument]
    found, wine = run_case_sh(["--keep"] + wine_args + program, env)
    if found:
        return found
    found = unclean_run(wine)
    if wine["exitCode"] != want_exit:
        found.append("exit code %d, want %d" % (wine["exitCode"], want_exit))
    if not output_ok(wine["stdout"]):
        found.append("standard output is not %s: %r" % (want_output, wine["stdout"]))
    if wine["accesses"]:
        found.append("%d adapter accesses, the first %s"
                     % (len(wine["accesses"]), describe(wine["accesses"][0])))
    if wine["driverCalls"]:
        found.append("asked the mapping driver: %s" % json.dumps(wine["driverCalls"]))
    if wine["messageBoxes"]:
        found.append("message boxes: %r" % boxes(wine))
    return found


def run_window_trial(exe, ini_files, env):
    """What is wrong with the trial and its undoing under Wine, one text each."""
    registers = machines.unlike_every_table()
    window = machines.window_bytes(registers)
    wine_args, _ = machines.machine_args(machines.TYPICAL, ini_files)
    found, wine = run_case_sh(["--keep"] + wine_args + machines.presets(registers) + [exe], env)
    if found:
        return found, None
    found = unclean_run(wine)
    if wine["exitCode"] != 0:
        found.append("exit code %d, want 0" % wine["exitCode"])
    top_down = [WINDOW_BASE + k for k in (3, 2, 1, 0)]
    loads = [a for a in wine["accesses"] if a["op"] == "load"]
    want = [{"op": "load", "address": address, "value": window[address - WINDOW_BASE]} for address in top_down]
    if loads != want:
        found.append("the window's loads:\n      wine: %s\n      want: %s" % (loads, want))
    stores = [a for a in wine["accesses"] if a["op"] == "store"]
    if [a["address"] for a in stores] != top_down * 2:
        found.append("the window's stores are not the trial's four and the write back's four: %s" % stores)
    if wine["changedRegisters"]:
        found.append("not as found at the end: %s" % ", ".join(wine["changedRegisters"]))
    return found, wine


def refresh_value_as_written(env):
    """What is wrong with the value run_case.sh --refresh hands the registry, read back by reg.exe."""
    status, out, err = run([RUN_CASE, "--timeout", str(RUN_LIMIT_MS), "--refresh", ESCAPED_RATE, "--wine", "--",
                            "reg", "query", "HKEY_CURRENT_CONFIG\\Display\\Settings", "/v", "RefreshRate"], env=env)
    if status != 0:
        return [failure("run_case.sh", status, err)]
    got = [m.group(1) for m in re.finditer(r"^\s*RefreshRate\s+REG_SZ\s+(.*)$", out.replace("\r", ""), re.M)]
    return [] if got == [ESCAPED_RATE] else ["reg query: %s" % (got[0] if got else out)]


def timed(name, width, work, passing=None):
    """A job's run: work(w) gives (what went wrong, what passing(result) describes), reported as
    one line with the time it took."""

    def run_job(w):
        t0 = time.monotonic()
        found, result = work(w)
        w.report("%-*s %5.1fs" % (width, name, time.monotonic() - t0), found,
                 passing and (lambda: passing(result)))

    return run_job


def proof(b):
    exe = os.path.join(b.windows, "refresh.exe")
    refcheck = os.path.join(b.windows, "refcheck.exe")
    trial = os.path.join(b.tools, "windowtrial.exe")

    def case_job(case, program, width, name, **kw):
        def work(w):
            return comparisons.run_case(case, b.sim, program, w.ini_files, w.env, options=["--keep"] + kw.get(
                "options", []), sim_options=kw.get("sim_options", ()), compare=kw.get("compare", differences))

        return Job(name, timed(name, width, work, kw["passing"]), weight=CASE_WEIGHT, shares=True,
                   screen=case.screen, names={case.name})

    jobs = [case_job(c, exe, 18, c.name, passing=lambda sim: "%2d accesses, %d box(es), exit %d: %s" % (
        len(sim["accesses"]), len(sim["messageBoxes"]), sim["exitCode"], sim["summary"])) for c in machines.CASES]
    # The diagnostic: its names are longer.
    jobs.append(Job(REFCHECK_RULE, timed(REFCHECK_RULE, 27, lambda w: (dry_run_rule_refuses(b.sim, w.ini_files), None),
                                         lambda _: "refuses refresh.exe's data-port writes, lone index writes, "
                                         "window stores"), base=None, weight=0))
    jobs += [case_job(c, refcheck, 27, "refcheck " + c.name, options=REFCHECK_PRESETS,
                      sim_options=["--windows-directory", WINE_WINDOWS_DIRECTORY], compare=refcheck_differences,
                      passing=lambda sim: "%d of %2d accesses made, LUMRATE's %d box(es) quoted, %2d report lines: %s" % (
                          len(index_reads(sim["accesses"])), len(sim["accesses"]), len(sim["messageBoxes"]),
                          len(sim["report"]), sim["report"][-1])) for c in machines.CASES]
    for option_run in REFCHECK_OPTION_RUNS:
        name, argument, want_exit, want_output, _ = option_run
        shown = argument["command line"] if isinstance(argument, dict) else "refcheck " + argument
        jobs.append(Job(name, timed(name, 27, lambda w, o=option_run: (run_refcheck_option(o, refcheck, w.ini_files,
                                                                                            w.env), None),
                                    lambda _, s=shown, e=want_exit, o=want_output: "%s: exit %d, %s" % (s, e, o)),
                        weight=CASE_WEIGHT, shares=True, screen=machines.TYPICAL.screen))
    jobs.append(Job(WINDOW_TRIAL, timed(WINDOW_TRIAL, 27, lambda w: run_window_trial(trial, w.ini_files, w.env),
                                        lambda wine: "%d accesses, 4 window loads answered by the model, all as "
                                        "found at the end" % len(wine["accesses"])),
                    weight=CASE_WEIGHT, shares=True, screen=machines.TYPICAL.screen))

    def refresh_value(w):
        w.report("run_case.sh --refresh passes a value holding \" and \\ to the registry as written",
                 refresh_value_as_written(w.env))

    jobs.append(Job(REFRESH_VALUE, refresh_value, weight=CASE_WEIGHT + 4, shares=True))
    return Proof("wine cases", jobs, needs=[b.sim, exe, refcheck, trial, os.path.join(b.tools, "debugger.exe"),
                                            os.path.join(b.tools, "physwin.vxd")])
