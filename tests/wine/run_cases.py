#!/usr/bin/env python3
"""Runs the shipped refresh.exe and the diagnostic refcheck.exe under Wine, case by case, and
compares each run with refresh-sim.

    run_cases.py [--counts FILE] HOST_BUILD_DIR WINDOWS_BUILD_DIR [CASE ...]

For every case of the table below, one machine is described once and handed to both sides: Wine
gets an Xvfb screen, system.ini in C:\\windows, the registry value and the mapping-driver double
(run_case.sh), and the program runs under the emulating debugger on the adapter model; refresh-sim
gets the same machine as options. For refresh.exe the message boxes (text, caption, type),
standard output (byte for byte, CR LF line ends included), exit code and every adapter access in
order must be identical.

Then refcheck.exe runs on every machine of the table. Its only port writes must be index writes
(0x3D4, 0x3D6), each followed at once by a read of its data port, with no other read and no window
store; those pairs must be refresh-sim's. Its standard output must be refresh-sim's followed by
refresh-sim's report, each line ended by CR LF; its message boxes (the utility's own) refresh-sim's;
its exit code 0. It also runs once with /? and once with an unknown option (REFCHECK_OPTION_RUNS).
The rule for its accesses must refuse refresh.exe's own (refcheck-rule, on refresh-sim's trace).

Last, a trial of one rate and its undoing (window-trial, tests/wine/window_trial.cpp): the register
window's loads must answer the adapter model's bytes, and the adapter must end as it began.
A CASE argument names a machine (both programs run on it), one of those runs, refcheck-rule or
window-trial.

One Wine prefix serves the whole run: in WINE_TEST_RUN_DIR when set (the caller removes it),
otherwise in a temporary folder removed at the end. Prints one line per case and "N passed,
M failed" (also written to --counts FILE as "N M"); exits 1 on any failure.
"""

import collections
import json
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
from wine_session import RUN_CASE, proof_arguments, run, wine_session  # noqa: E402

# system.ini texts. "lf" is the usual Windows 98 layout with the served driver's line under
# [boot.description]; "crlf" the same with DOS line ends; "nodriver" lacks that line.
SYSTEM_INI_LINES = [
    "[boot]",
    "display.drv=pnpdrvr.drv",
    "[boot.description]",
    "keyboard.typ=Standard 101/102-Key or Microsoft Natural Keyboard",
    "display.drv=Lumarel series",
    "[386Enh]",
    "display=*vdd",
]
SYSTEM_INI = {
    "lf": "".join(line + "\n" for line in SYSTEM_INI_LINES),
    "crlf": "".join(line + "\r\n" for line in SYSTEM_INI_LINES),
    "nodriver": "".join(line + "\n" for line in SYSTEM_INI_LINES if line != "display.drv=Lumarel series"),
}
NO_INI = None

# RefreshRate under HKCC\Display\Settings: a text, or the whole key missing.
NO_KEY = object()

# Bits per pixel Wine reports for an X screen depth (no 24-bit depth is reachable: 24 shows as 32).
WINE_BPP = {8: 8, 15: 16, 16: 16, 24: 32}


# What Wine answers GetWindowsDirectoryA with: run_case.sh writes system.ini there, and the
# diagnostic's report names the path it built from it.
WINE_WINDOWS_DIRECTORY = "C:\\windows"

# The index ports of the two register files the utility reads; the data port is the next one.
INDEX_PORTS = (0x3D4, 0x3D6)
CRTC_INDEX_PORT = 0x3D4

# The index registers as the diagnostic's runs find them: values no run leaves there by chance, so
# that one not put back shows.
REFCHECK_INDEXES = {"crtc-index": 0x5A, "ext-index": 0xA5}
REFCHECK_PRESETS = [w for name, value in REFCHECK_INDEXES.items() for w in ("--set", "%s=0x%02x" % (name, value))]

# A trial of 85 Hz at 1024x768, 16 bit, and its undoing (tests/wine/window_trial.cpp), on an adapter
# whose every register the sequence writes, both index registers and the window's bytes hold odd
# values no table holds: the window's loads must answer the model's bytes, and the adapter must end
# as it began.
WINDOW_TRIAL = "window-trial"
WINDOW_BASE = 0x60000000
WINDOW_TRIAL_WINDOW = [0x57, 0x5B, 0x5F, 0x6F]  # bytes w+0 .. w+3
WINDOW_TRIAL_REGISTERS = dict(
    [("crtc-index", 0x3B), ("ext-index", 0x5D), ("ext:0x09", 0x63), ("misc", 0xE7)]
    + [("crtc:0x%02x" % index, value) for index, value in zip(
        [0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x10, 0x11, 0x12, 0x13, 0x15, 0x16, 0x30, 0x31, 0x32, 0x33],
        [0x01, 0x05, 0x09, 0x0D, 0x11, 0x15, 0x19, 0x1D, 0x21, 0xA5, 0x29, 0x2D, 0x31, 0x35, 0x39, 0x3D, 0x41, 0x45])]
    + [("ext:0x%02x" % (0xC8 + k), value) for k, value in enumerate([0x47, 0x4B, 0x4F, 0x53])]
    + [("window:%d" % k, value) for k, value in enumerate(WINDOW_TRIAL_WINDOW)])
WINDOW_TRIAL_PRESETS = [w for name, value in WINDOW_TRIAL_REGISTERS.items()
                        for w in ("--set", "%s=0x%02x" % (name, value))]

# name, X screen WxHxDEPTH, RefreshRate, system.ini, mapping driver, extended CRTC 0x75,
# and the number of accesses the case must make (so a row that sets up the wrong machine on both
# sides alike is caught): 54 port accesses and 4 window stores for a full run, 2 for the skip read
# alone (also where the table's record is all zero: no key leaves the rate text empty, and 1600x1200
# holds zeros at its first empty entry).
Case = collections.namedtuple("Case", "name screen rate ini driver crtc75 accesses")

# fmt: off
CASES = [Case(*row) for row in [
    ("typical",         "1024x768x16",  "85",   "lf",       "ok",          0x00, 58),
    ("640x480x8-120",   "640x480x8",    "120",  "lf",       "ok",          0x00, 58),
    ("800x600x16-75",   "800x600x16",   "75",   "lf",       "ok",          0x00, 58),
    ("1280x1024x16-72", "1280x1024x16", "72",   "lf",       "ok",          0x00, 58),
    ("1600x1200-no-key","1600x1200x16", NO_KEY, "lf",       "ok",          0x00, 2),
    ("depth-32",        "1024x768x24",  "85",   "lf",       "ok",          0x00, 2),
    ("skip-bit-set",    "1024x768x16",  "85",   "lf",       "ok",          0x20, 2),
    ("no-system-ini",   "1024x768x16",  "85",   NO_INI,     "ok",          0x00, 0),
    ("crlf-system-ini", "1024x768x16",  "85",   "crlf",     "ok",          0x00, 58),
    ("no-driver-line",  "1024x768x16",  "85",   "nodriver", "ok",          0x00, 0),
    ("vxd-missing",     "1024x768x16",  "85",   "lf",       "missing",     0x00, 54),
    ("vxd-ioctl-fails", "1024x768x16",  "85",   "lf",       "ioctl-fails", 0x00, 54),
    ("vxd-null-window", "1024x768x16",  "85",   "lf",       "null-window", 0x00, 54),
    ("vxd-no-output",   "1024x768x16",  "85",   "lf",       "no-output",   0x00, 54),
]]
# fmt: on

# The machine of the runs that need no particular one.
TYPICAL = next(c for c in CASES if c.name == "typical")

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


def machine_args(case, ini_files):
    """The one machine of a table row, as run_case.sh options and as refresh-sim options."""
    screen, rate, ini, driver, crtc75 = case.screen, case.rate, case.ini, case.driver, case.crtc75
    width, height, depth = screen.split("x")
    wine = ["--screen", screen, "--vxd", driver, "--set", "crtc:0x75=0x%02x" % crtc75]
    sim = ["--json", "--screen", width + "x" + height, "--bpp", str(WINE_BPP[int(depth)]),
           "--driver", driver, "--crtc75", "0x%02x" % crtc75]
    if rate is NO_KEY:
        wine += ["--refresh", "nokey"]
        sim += ["--no-settings-key"]
    else:
        wine += ["--refresh", rate]
        sim += ["--rate", rate]
    if ini is NO_INI:
        wine += ["--no-system-ini"]
        sim += ["--no-system-ini"]
    else:
        wine += ["--system-ini", ini_files[ini]]
        sim += ["--system-ini", ini_files[ini]]
    return wine, sim


def describe(access):
    if access is None:
        return "(none)"
    if access["op"] == "store":
        plain = "store 0x%08X <- 0x%02X" % (access["address"], access["value"])
    elif access["op"] == "load":
        plain = "load 0x%08X -> 0x%02X" % (access["address"], access["value"])
    elif access["op"] == "out":
        plain = "out 0x%04X <- 0x%02X" % (access["port"], access["value"])
    else:
        plain = "in 0x%04X -> 0x%02X" % (access["port"], access["value"])
    return "%s  (%s)" % (json.dumps(access), plain)


def boxes(result):
    return [(b["text"], b["caption"], b["type"]) for b in result["messageBoxes"]]


def unclean_run(wine):
    """What made a Wine run other than a clean one, one text each."""
    found = []
    if wine.get("error") is not None:
        found.append("the debugger cut the run short: %s" % wine["error"])
    if wine.get("crash") is not None:
        found.append("the program crashed: %s" % json.dumps(wine["crash"]))
    if any(not b.get("dismissed") for b in wine["messageBoxes"]):
        found.append("a message box was not dismissed")
    return found


def output_difference(wine, host):
    """The standard outputs side by side; of a longer text, the first line that differs."""
    wine_lines, host_lines = wine.splitlines(True), host.splitlines(True)
    if len(wine_lines) <= 1 and len(host_lines) <= 1:
        return "standard output:\n      wine: %r\n      host: %r" % (wine, host)
    at = next(i for i in range(max(len(wine_lines), len(host_lines)))
              if wine_lines[i : i + 1] != host_lines[i : i + 1])
    return ("standard output differs first at line %d (wine wrote %d lines, host %d):\n      wine: %r\n"
            "      host: %r" % (at + 1, len(wine_lines), len(host_lines), "".join(wine_lines[at : at + 1]),
                                "".join(host_lines[at : at + 1])))


def differences(wine, sim):
    """What differs between the Wine run and refresh-sim, one text per difference."""
    found = unclean_run(wine)
    if wine["exitCode"] != sim["exitCode"]:
        found.append("exit code: wine %d, host %d" % (wine["exitCode"], sim["exitCode"]))
    if boxes(wine) != boxes(sim):
        found.append("message boxes:\n      wine: %r\n      host: %r" % (boxes(wine), boxes(sim)))
    if wine["stdout"] != sim["stdout"]:
        found.append(output_difference(wine["stdout"], sim["stdout"]))
    wa, sa = wine["accesses"], sim["accesses"]
    if wa != sa:
        at = next(i for i in range(max(len(wa), len(sa)))
                  if i >= len(wa) or i >= len(sa) or wa[i] != sa[i])
        text = "accesses differ first at #%d (wine made %d, host %d):" % (at, len(wa), len(sa))
        if at > 0:
            text += "\n      both: %s" % describe(wa[at - 1])  # the index write before it, as a rule
        text += "\n      wine: %s\n      host: %s" % (describe(wa[at] if at < len(wa) else None),
                                                     describe(sa[at] if at < len(sa) else None))
        found.append(text)
    return found


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
    _, sim_args = machine_args(TYPICAL, ini_files)
    status, out, err = run([sim_path] + sim_args)
    if status != 0:
        return ["refresh-sim failed (%d): %s" % (status, err.strip())]
    faults = dry_run_faults(json.loads(out)["accesses"])
    return ["the rule does not refuse the utility's accesses of one kind: %s" % kind for kind in
            ("a port write that is no index write", "an index write without a read", "a window store")
            if not any(kind in fault for fault in faults)]


def refcheck_differences(wine, sim):
    """What differs between the diagnostic's Wine run and what it must do on refresh-sim's machine:
    make only the utility's register reads, print the utility's own output and then the report, show
    the utility's message boxes and end with exit code 0."""
    reads = index_reads(sim["accesses"])
    crtc_index = REFCHECK_INDEXES["crtc-index"]
    framed = ([{"op": "in", "port": CRTC_INDEX_PORT, "value": crtc_index}] + reads
              + [{"op": "out", "port": CRTC_INDEX_PORT, "value": crtc_index}]) if reads else []
    expected = dict(sim, exitCode=0, accesses=framed,
                    stdout=sim["stdout"] + "".join(line + "\r\n" for line in sim["report"]))
    faults = dry_run_faults(wine["accesses"])
    if len(faults) > 5:
        faults[5:] = ["... and %d more such accesses" % (len(faults) - 5)]
    if wine.get("changedRegisters"):
        faults.append("the adapter is not as before: %s changed" % ", ".join(wine["changedRegisters"]))
    return faults + differences(wine, expected)


def write_system_inis(folder):
    """The system.ini texts as files in folder: {key of SYSTEM_INI: path}."""
    ini_files = {}
    for key, text in SYSTEM_INI.items():
        ini_files[key] = os.path.join(folder, "system-%s.ini" % key)
        with open(ini_files[key], "w", newline="") as f:
            f.write(text)
    return ini_files


def run_case(case, sim_path, exe, ini_files, env, options=(), args=(), sim_options=(), compare=differences):
    """Differences of one machine's Wine run from refresh-sim, and refresh-sim's result. options go
    to run_case.sh (for instance --in-place), args to the program, sim_options to refresh-sim;
    compare(wine, sim) gives the differences."""
    want_accesses = case.accesses
    wine_args, sim_args = machine_args(case, ini_files)
    status, out, err = run([sim_path] + sim_args + list(sim_options))
    if status != 0:
        return ["refresh-sim failed (%d): %s" % (status, err.strip())], None
    sim = json.loads(out)

    program = list(options) + [exe] + (["--"] + list(args) if args else [])
    status, out, err = run([RUN_CASE] + wine_args + program, env=env)
    if status != 0 or not out.strip():
        return ["run_case.sh failed (%d): %s" % (status, " | ".join(err.strip().splitlines()[-5:]))], sim
    wine = json.loads(out)

    found = compare(wine, sim)
    if len(sim["accesses"]) != want_accesses:
        found.append("the case is not the machine it names: %d accesses, the table expects %d"
                     % (len(sim["accesses"]), want_accesses))
    return found, sim


def run_refcheck_option(option_run, exe, ini_files, env):
    """What is wrong with one of REFCHECK_OPTION_RUNS under Wine, one text each."""
    _, argument, want_exit, want_output, output_ok = option_run
    wine_args, _ = machine_args(TYPICAL, ini_files)
    if isinstance(argument, dict):
        program = ["--command-line", argument["command line"], exe]
    else:
        program = [exe, "--", argument]
    status, out, err = run([RUN_CASE] + wine_args + program, env=env)
    if status != 0 or not out.strip():
        return ["run_case.sh failed (%d): %s" % (status, " | ".join(err.strip().splitlines()[-5:]))]
    wine = json.loads(out)
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
    wine_args, _ = machine_args(TYPICAL, ini_files)
    status, out, err = run([RUN_CASE] + wine_args + WINDOW_TRIAL_PRESETS + [exe], env=env)
    if status != 0 or not out.strip():
        return ["run_case.sh failed (%d): %s" % (status, " | ".join(err.strip().splitlines()[-5:]))], None
    wine = json.loads(out)
    found = unclean_run(wine)
    if wine["exitCode"] != 0:
        found.append("exit code %d, want 0" % wine["exitCode"])
    top_down = [WINDOW_BASE + k for k in (3, 2, 1, 0)]
    loads = [a for a in wine["accesses"] if a["op"] == "load"]
    want = [{"op": "load", "address": address, "value": WINDOW_TRIAL_WINDOW[address - WINDOW_BASE]}
            for address in top_down]
    if loads != want:
        found.append("the window's loads:\n      wine: %s\n      want: %s" % (loads, want))
    stores = [a for a in wine["accesses"] if a["op"] == "store"]
    if [a["address"] for a in stores] != top_down * 2:
        found.append("the window's stores are not the trial's four and the write back's four: %s" % stores)
    if wine["changedRegisters"]:
        found.append("not as found at the end: %s" % ", ".join(wine["changedRegisters"]))
    return found, wine


def main(argv):
    host_dir, windows_dir, counts_file, names = proof_arguments(
        argv, __doc__, "a case, a run of the diagnostic with an argument, or refcheck-rule (all when none)")
    only = set(names)
    sim_path = os.path.join(host_dir, "tools", "refresh-sim")
    exe = os.path.join(windows_dir, "refresh.exe")
    refcheck = os.path.join(windows_dir, "refcheck.exe")
    tools = os.path.join(windows_dir, "tests", "wine")
    trial = os.path.join(tools, "windowtrial.exe")
    for path in (sim_path, exe, refcheck, trial, os.path.join(tools, "debugger.exe"),
                 os.path.join(tools, "physwin.vxd")):
        if not os.path.isfile(path):
            sys.stderr.write("run_cases: %s missing: build both presets first\n" % path)
            return 2
    unknown = (only - {c.name for c in CASES} - {r[0] for r in REFCHECK_OPTION_RUNS} - {REFCHECK_RULE}
               - {WINDOW_TRIAL})
    if unknown:
        sys.stderr.write("run_cases: no such case: %s\n" % ", ".join(sorted(unknown)))
        return 2

    with wine_session(tools, "wine cases", counts_file) as (env, run_dir, tally):
        def report(name, took, found, passing, width=18):
            tally.report("%-*s %5.1fs" % (width, name, took), found, passing)

        ini_files = write_system_inis(run_dir)
        for case in CASES:
            if only and case.name not in only:
                continue
            t0 = time.monotonic()
            found, sim = run_case(case, sim_path, exe, ini_files, env)
            report(case.name, time.monotonic() - t0, found, lambda: "%2d accesses, %d box(es), exit %d: %s" % (
                len(sim["accesses"]), len(sim["messageBoxes"]), sim["exitCode"], sim["summary"]))

        # The diagnostic: its names are longer.
        if not only or REFCHECK_RULE in only:
            t0 = time.monotonic()
            found = dry_run_rule_refuses(sim_path, ini_files)
            report(REFCHECK_RULE, time.monotonic() - t0, found, width=27,
                   passing=lambda: "refuses refresh.exe's data-port writes, lone index writes, window stores")
        for case in CASES:
            if only and case.name not in only:
                continue
            t0 = time.monotonic()
            found, sim = run_case(case, sim_path, refcheck, ini_files, env, options=REFCHECK_PRESETS,
                                  sim_options=["--windows-directory", WINE_WINDOWS_DIRECTORY],
                                  compare=refcheck_differences)
            report("refcheck " + case.name, time.monotonic() - t0, found, width=27,
                   passing=lambda: "%d of %2d accesses made, %d box(es), %2d report lines: %s" % (
                       len(index_reads(sim["accesses"])), len(sim["accesses"]), len(sim["messageBoxes"]),
                       len(sim["report"]), sim["report"][-1]))
        for option_run in REFCHECK_OPTION_RUNS:
            if only and option_run[0] not in only:
                continue
            t0 = time.monotonic()
            found = run_refcheck_option(option_run, refcheck, ini_files, env)
            report(option_run[0], time.monotonic() - t0, found, width=27,
                   passing=lambda: "%s: exit %d, %s" % (
                       option_run[1]["command line"] if isinstance(option_run[1], dict)
                       else "refcheck " + option_run[1], option_run[2], option_run[3]))

        if not only or WINDOW_TRIAL in only:
            t0 = time.monotonic()
            found, wine = run_window_trial(trial, ini_files, env)
            report(WINDOW_TRIAL, time.monotonic() - t0, found, width=27,
                   passing=lambda: "%d accesses, 4 window loads answered by the model, all as found at the end"
                   % len(wine["accesses"]))
    return 1 if tally.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
