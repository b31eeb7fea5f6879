#!/usr/bin/env python3
"""Proves the release zip LUMRATE.ZIP under Wine, as Windows 98: unpacked as a user would,
installed through LUMRATE.INF by Explorer's Install verb, the program started where it was
installed, removed by the command of its Uninstall entry (LUMWATCH /REMOVE), and the watcher's file
at the next start of Windows, whether the watcher ran at the removal or had been ended.

    run_package.py [--counts FILE] HOST_BUILD_DIR WINDOWS_BUILD_DIR

Every Wine session (run_case.sh) is the "typical" machine of run_cases.py: same screen, system.ini
and RefreshRate, so sessions differ only in what the package does. After each session the
registry (as Wine saved it) and the Windows folder (names, sizes, contents) are read and compared
with an earlier state. Before the first install, files of another program with generic names
(FOREIGN: REFRESH.EXE in the Windows folder, INF\REFRESH.INF) are put there; they belong to the
state every later one is compared with, and after each step they must still hold their bytes. The
checks, in order:

1. the zip holds exactly PACKAGE; LUMRATE.EXE, LUMWATCH.EXE and LUMCHECK.EXE are byte for byte
   the refresh.exe, lumwatch.exe and refcheck.exe of the build; the text files are CR LF and
   printable ASCII throughout;
2. the uninstall section, run with nothing installed, changes nothing;
3. the Install verb copies LUMRATE.EXE and LUMWATCH.EXE into the Windows folder and LUMRATE.INF
   into its INF folder and adds the watcher's Run value and the Uninstall entry, and nothing else;
4. the program, started where it was installed, under the emulating debugger with the
   mapping-driver double beside it, does what refresh-sim does on the same machine
   (run_cases.run_case), and changes no file and no registry value;
5. in one session (watchsteps.exe) with the watcher running under the debugger, and WININIT.INI
   holding another program's pending deletes and replacement: the Uninstall entry's command leaves
   the registry as before the install at once, and the Windows folder but for LUMWATCH.EXE, in
   use; at the end of the session the watcher adds one line naming itself to WININIT.INI's
   [rename], every other byte as it was; after the next start of Windows (wineboot -r) nothing of
   the package is left;
6. the same with the watcher ended first (WM_CLOSE, as End Task): the removal starts a watcher for
   the rest of the session, which does the same;
7. installed twice, they are as after one install;
8. installed, with the installed LUMRATE.INF then deleted, the Uninstall entry's command removes
   nothing; installed again and removed, the end of the session and the next start leave nothing.

WININIT.BAK, which Windows (and Wine's wineboot) leaves after it has done what WININIT.INI said,
is left out of every comparison: it is the record of a start, not part of the package.

One Wine prefix serves the whole run: in WINE_TEST_RUN_DIR when set (the caller removes it),
otherwise in a temporary folder removed at the end. Prints one line per check and "N passed,
M failed" (also written to --counts FILE as "N M"); exits 1 on any failure.
"""

import hashlib
import json
import os
import re
import shutil
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
import run_cases  # noqa: E402  (the machine table, the comparison with refresh-sim)
import wine_session  # noqa: E402  (the Wine prefix, run_case.sh, the tally)
from wine_state import (  # noqa: E402  (the registry and the Windows folder)
    describe_folder_changes, describe_reg_changes, listing, reg_changes, reg_string, registry)

# The zip the windows build makes, its entries in order, which of them are text, and which are the
# programs the case table proves (file names in the build folder).
ZIP_NAME = "LUMRATE.ZIP"
PACKAGE = ["LUMRATE.EXE", "LUMWATCH.EXE", "LUMSET.EXE", "LUMCHECK.EXE", "LUMRATE.INF", "README.TXT"]
TEXT = {"LUMRATE.INF", "README.TXT"}
BUILT = {"LUMRATE.EXE": "refresh.exe", "LUMWATCH.EXE": "lumwatch.exe", "LUMSET.EXE": "lumset.exe",
         "LUMCHECK.EXE": "refcheck.exe"}

# Where the user unpacks the zip, and Explorer's Install verb for an .inf file on Windows 95/98
# (HKCR\inffile\shell\install\command), %1 being the file's path.
UNPACKED = "LUMRATE"
INF_PATH = "C:\\LUMRATE\\LUMRATE.INF"
INSTALL_VERB = "rundll.exe setupx.dll,InstallHinfSection DefaultInstall 132 %1"
# The same command for the uninstall section, for step 2 (nothing installed yet to find the INF),
# and the one the watcher runs for the Uninstall entry, which finds the installed INF by its name.
UNINSTALL_UNPACKED = "rundll.exe setupx.dll,InstallHinfSection DefaultUninstall 132 %1"
UNINSTALL_SECTION = "rundll.exe setupx.dll,InstallHinfSection DefaultUninstall 4 LUMRATE.INF"

# What the install must add, and the command Add/Remove Programs runs on Windows 95/98.
WINDOWS_DIR = "C:\\windows"
CURRENT_VERSION = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion"
RUN_KEY = CURRENT_VERSION + "\\Run"
WATCH_RUN_VALUE = "LumarelWatch"
UNINSTALL_ENTRY = CURRENT_VERSION + "\\Uninstall\\LumarelRefresh"
UNINSTALL_COMMAND = WINDOWS_DIR + "\\LUMWATCH.EXE /REMOVE"
UTILITY = WINDOWS_DIR + "\\LUMRATE.EXE"
# Paths below the Windows folder, in lower case as listing() gives them: entry of the zip.
INSTALLED_FILES = {"lumrate.exe": "LUMRATE.EXE", "lumwatch.exe": "LUMWATCH.EXE", "lumset.exe": "LUMSET.EXE",
                   "inf/lumrate.inf": "LUMRATE.INF"}
# The one Run value and the command line it must hold: the watcher runs the utility itself.
RUN_LINES = {WATCH_RUN_VALUE: WINDOWS_DIR + "\\LUMWATCH.EXE"}

# The watcher's file is in use when the package is removed: the removal leaves it, and at the end
# of the session the watcher puts a line into the [rename] section of WININIT.INI that deletes it
# at the next start of Windows. Windows then renames the file to WININIT.BAK, and so does
# wineboot -r, Wine's restart: that record of a start is left out of every comparison of the
# Windows folder.
WATCH_FILE = "lumwatch.exe"
WININIT = "wininit.ini"
WININIT_DELETE = "NUL=" + RUN_LINES[WATCH_RUN_VALUE]
# SETUP.INI is what Setup hands to GRPCONV, which makes the Start menu entries it names and then
# deletes it; Wine has no GRPCONV, so the file stays. It is left out of the comparisons of the
# Windows folder and its lines are checked on their own (START_MENU_LINES).
NOT_COMPARED_FILES = {"wininit.bak", "setup.ini"}
SETUP_INI = "setup.ini"
START_MENU_LINES = {
    "install": ["[progman.groups]", "lumrate=Accessories", "[lumrate]",
                '"Lumarel Refresh Rate","C:\\windows\\LUMSET.EXE"'],
    "removal": ["[lumrate]", '"Lumarel Refresh Rate"'],
}
RESTART = "wineboot -r"
# Another program's pending work in WININIT.INI: two deletes (the key repeated) and a replacement.
FOREIGN_WININIT = (b"[rename]\r\nNUL=C:\\OTHERAPP\\OLD1.DLL\r\nNUL=C:\\OTHERAPP\\OLD2.DLL\r\n"
                   b"C:\\OTHERAPP\\APP.EXE=C:\\OTHERAPP\\APP.NEW\r\n")

# In the prefix: the test tools and a watchsteps.exe session's files.
TOOLS = "C:\\tools"
WATCH = "C:\\watch"
DESKTOP = "lumwatch"

# Another program's files under the generic names this package must not touch, with bytes of
# their own: path below the Windows folder as written, contents.
FOREIGN = {
    "REFRESH.EXE": b"MZ another program's REFRESH.EXE, not this package's\r\n",
    "INF/REFRESH.INF": b"; another program's REFRESH.INF, not this package's\r\n"
                       b"[Version]\r\nSignature=\"$CHICAGO$\"\r\n",
}

MACHINE = run_cases.TYPICAL


# --- Wine sessions -----------------------------------------------------------------------------


def command_words(line):
    """A command line split as Windows splits it: blanks, with double quotes around a word that
    holds blanks. wine joins the words again with one blank: the same command line."""
    return [w.replace('"', "") for w in re.findall(r'(?:"[^"]*"|[^\s"])+', line)]


class Session:
    """Wine sessions through run_case.sh in one prefix, every one as the same machine, and what
    the registry and the Windows folder hold after each."""

    def __init__(self, env, ini_files):
        self.env = env
        self.prefix = os.path.join(env["WINE_TEST_RUN_DIR"], "prefix")
        self.windows = os.path.join(self.prefix, "drive_c", "windows")
        self.ini_files = ini_files
        self.machine = run_cases.machine_args(MACHINE, ini_files)[0]

    def wine(self, line):
        """Runs a command line in a session of its own; what went wrong, if anything."""
        command = [wine_session.RUN_CASE] + self.machine + ["--wine", "--"] + command_words(line)
        status, _, err = wine_session.run(command, env=self.env)
        if status != 0:
            last = " | ".join(err.strip().splitlines()[-5:])
            return ["%s: run_case.sh failed (%d): %s" % (line, status, last)]
        return []

    def unpack(self, zip_path):
        """Unpacks the zip where the user does, over whatever an earlier run left there."""
        unpacked = os.path.join(self.prefix, "drive_c", UNPACKED)
        shutil.rmtree(unpacked, ignore_errors=True)
        with zipfile.ZipFile(zip_path) as z:
            z.extractall(unpacked)

    def state(self):
        """(registry, Windows folder) as the last session left them."""
        return registry(self.prefix), listing(self.windows, NOT_COMPARED_FILES)

    def steps(self, tools, lines, outs=(), timeout_ms=240000, extra_env=None, row=None, files=None, keep=()):
        """One session in a virtual desktop of the machine's screen size, played by watchsteps.exe
        (lines, as it reads them), with debugger.exe beside it in TOOLS and the mapping-driver
        double in the Windows folder for the session only. (log {step: [entries]}, {name: JSON of
        WATCH\\name} for each name in outs, what went wrong). row: another machine of run_cases'
        table than MACHINE, the same screen (its mapping driver, above all). files: {name: bytes}
        put into WATCH for the session; keep: names of WATCH copied into self.kept afterwards."""
        drive_c = os.path.join(self.prefix, "drive_c")
        tools_dir, watch_dir = os.path.join(drive_c, "tools"), os.path.join(drive_c, "watch")
        for folder in (tools_dir, watch_dir):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
        for name in ("debugger.exe", "watchsteps.exe"):
            shutil.copy(os.path.join(tools, name), tools_dir)
        with open(os.path.join(watch_dir, "steps.txt"), "w", newline="") as f:
            f.write("".join(line + "\r\n" for line in lines))
        for name, data in (files or {}).items():
            with open(os.path.join(watch_dir, name), "wb") as f:
                f.write(data)
        # The utility loads the double from its own folder, the Windows folder.
        vxd = host_path(self.windows, "physwin.vxd")
        if os.path.exists(vxd):
            return None, {}, ["a physwin.vxd is in the Windows folder already"]
        missing = (row or MACHINE).driver == "missing"  # the open then fails with error 2
        if not missing:
            shutil.copy(os.path.join(tools, "physwin.vxd"), vxd)
        try:
            width, height, _ = MACHINE.screen.split("x")
            machine = run_cases.machine_args(row, self.ini_files)[0] if row else self.machine
            command = ([wine_session.RUN_CASE] + machine + ["--timeout", str(timeout_ms + 60000)] +
                       [w for name in ("LUMRATE.EXE", "LUMWATCH.EXE", "LUMSET.EXE") for w in ("--win98", name)] +
                       ["--wine", "--", "explorer", "/desktop=%s,%sx%s" % (DESKTOP, width, height),
                        TOOLS + "\\watchsteps.exe", WATCH + "\\steps.txt", WATCH + "\\log.txt"])
            status, _, err = wine_session.run(command, env=dict(self.env, **(extra_env or {})))
        finally:
            if not missing:
                os.remove(vxd)
        found = []
        if status != 0:
            found.append("run_case.sh failed (%d): %s" % (status, " | ".join(err.strip().splitlines()[-5:])))
        log, results = None, {}
        try:
            log = read_log(os.path.join(watch_dir, "log.txt"))
            for name in outs:
                with open(os.path.join(watch_dir, name)) as f:
                    results[name] = json.load(f)
        except (OSError, ValueError) as e:
            found.append("the session left no complete record: %s" % e)
        self.kept = os.path.join(os.path.dirname(self.prefix), "kept")
        os.makedirs(self.kept, exist_ok=True)
        for name in keep:
            if os.path.isfile(os.path.join(watch_dir, name)):
                shutil.copy(os.path.join(watch_dir, name), self.kept)
        for folder in (tools_dir, watch_dir):
            shutil.rmtree(folder, ignore_errors=True)
        return log, results, found


def read_log(path):
    """{step name: [log entries in order]} of a watchsteps.exe log."""
    log = {}
    with open(path) as f:
        for line in f:
            entry = json.loads(line)
            log.setdefault(entry["step"], []).append(entry)
    return log


def quoted(words):
    return " ".join('"%s"' % w if " " in w else w for w in words)


def debugged_watcher(out, watch_line, presets="", timeout_ms=240000):
    """The watchsteps.exe step that starts the watcher as its Run value says, under the debugger
    following every run of the utility it starts; the debugger's result goes to WATCH\\out."""
    return ("start %s\\debugger.exe --follow --out %s\\%s --timeout %d --set crtc:0x75=0x%02x%s -- %s"
            % (TOOLS, WATCH, out, timeout_ms, MACHINE.crtc75, presets, quoted(command_words(watch_line))))


# --- the checks --------------------------------------------------------------------------------


def check_zip(zip_path, exe):
    found = []
    with zipfile.ZipFile(zip_path) as z:
        names = z.namelist()
        if names != PACKAGE:
            found.append("entries %s, want %s" % (names, PACKAGE))
        contents = {n: z.read(n) for n in names}
    for name, built in BUILT.items():
        with open(os.path.join(os.path.dirname(exe), built), "rb") as f:
            if contents.get(name) != f.read():
                found.append("%s is not the %s the Wine proof runs" % (name, built))
    for name in TEXT & set(contents):
        data = contents[name]
        bare = data.replace(b"\r\n", b"")
        if b"\r" in bare or b"\n" in bare or not data.endswith(b"\r\n"):
            found.append("%s: not CR LF throughout" % name)
        if any(b > 0x7E or (b < 0x20 and b not in b"\r\n") for b in data):
            found.append("%s: a byte outside printable ASCII" % name)
    return found, contents


def check_install(clean, installed, contents):
    """What one install must have added to the registry and the Windows folder, and nothing else."""
    (base_reg, base_dir), (reg, folder) = clean, installed
    found = []
    added, removed, changed = reg_changes(base_reg, reg)
    want = {(RUN_KEY, name) for name in RUN_LINES} | {
        (UNINSTALL_ENTRY, None), (UNINSTALL_ENTRY, "DisplayName"), (UNINSTALL_ENTRY, "UninstallString")}
    if added != want or removed or changed:
        found += describe_reg_changes(base_reg, reg)
        found.append("the install must add exactly the Run values and the Uninstall entry")
    for name, want_line in RUN_LINES.items():
        run_line = reg_string(reg.get(RUN_KEY, {}).get(name, '""'))
        if run_line is None or command_words(run_line) != [want_line]:
            found.append("Run value %s %r, want %r" % (name, run_line, want_line))
    entry = reg.get(UNINSTALL_ENTRY, {})
    if not reg_string(entry.get("DisplayName", '""')):
        found.append("the Uninstall entry has no DisplayName text")
    if reg_string(entry.get("UninstallString", '""')) != UNINSTALL_COMMAND:
        found.append("UninstallString %r, want %r" % (entry.get("UninstallString"), UNINSTALL_COMMAND))
    want_folder = dict(base_dir)
    want_folder.update({path: (len(contents[name]), hashlib.sha256(contents[name]).hexdigest())
                        for path, name in INSTALLED_FILES.items() if name in contents})
    if folder != want_folder:
        found += describe_folder_changes(want_folder, folder)
        found.append("the install must add exactly %s" % ", ".join(sorted(INSTALLED_FILES)))
    return found


def start_menu_findings(windows, when):
    """The lines of SETUP.INI that make (at the install) or remove (at the removal) the chooser's
    Start menu entry, each as GRPCONV reads it (a line without a value, as Wine writes it, with
    "=" after it)."""
    path = host_path(windows, SETUP_INI)
    lines = []
    if os.path.isfile(path):
        with open(path, "rb") as f:
            lines = [l.strip().rstrip("=") for l in f.read().decode("latin-1").splitlines()]
    missing = [l for l in START_MENU_LINES[when] if l not in lines]
    return ["SETUP.INI lacks %r after the %s: %r" % (missing, when, lines)] if missing else []


def compare(what, before, after):
    found = describe_reg_changes(before[0], after[0]) + describe_folder_changes(before[1], after[1])
    return found + ["not as %s" % what] if found else []


def host_path(windows, path):
    """Where Wine finds path (names between /) below the Windows folder: each name matched without
    regard to case with one on the disk, as Wine matches it, or kept as given when there is none."""
    found = windows
    for name in path.split("/"):
        names = {n.lower(): n for n in os.listdir(found)} if os.path.isdir(found) else {}
        found = os.path.join(found, names.get(name.lower(), name))
    return found


def place_foreign(windows):
    for path, data in FOREIGN.items():
        target = host_path(windows, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(data)


def foreign_changes(folder, step):
    """The other program's files, each as it was put there, after a step; one text per change."""
    found = []
    for path, data in FOREIGN.items():
        want = (len(data), hashlib.sha256(data).hexdigest())
        if folder.get(path.lower()) != want:
            found.append("%s changed another program's %s\\%s"
                         % (step, WINDOWS_DIR, path.replace("/", "\\")))
    return found


# The watcher's start run, under the debugger: done well within this time, so that a session's
# removal does not meet it.
START_RUN_MS = 5000


def wininit_left(windows):
    """(WININIT.INI's bytes or None, how many lines of ours it holds, its bytes without them)."""
    path = host_path(windows, WININIT)
    if not os.path.isfile(path):
        return None, 0, None
    with open(path, "rb") as f:
        data = f.read()
    lines = data.split(b"\r\n")
    ours = [l for l in lines if l.strip().upper() == WININIT_DELETE.upper().encode()]
    return data, len(ours), b"\r\n".join(l for l in lines if l not in ours)


def session_with_watcher(s, tools, watch_line, middle, files=None):
    """One session: the watcher started as its Run value says, under the debugger, its start run
    left to end; then the middle steps; then the end of the session, after which no watcher is
    left. (log, what went wrong)."""
    lines = ([debugged_watcher("watcher.json", watch_line), "wait-window 60000", "sleep %d" % START_RUN_MS] +
             middle + ["end-session", "wait-gone 30000", "wait-exit 30000"])
    log, _, found = s.steps(tools, lines, files=files)
    if not log:
        return log, found
    if not log["wait-window"][0]["found"]:
        found.append("the watcher's window never came")
    for entry in log.get("run", []):
        if not (entry["ok"] and entry["ended"] and entry["exitCode"] == 0):
            found.append("a step's command did not end with 0: %s" % json.dumps(entry))
    if not log["wait-gone"][0]["gone"]:
        found.append("a watcher is left after the end of the session")
    return log, found


def prove(zip_path, exe, sim_path, tools, env, ini_files, report):
    found, contents = check_zip(zip_path, exe)
    report("%s holds %s; the programs are the build's; text in CR LF ASCII"
           % (ZIP_NAME, ", ".join(PACKAGE)), found)

    s = Session(env, ini_files)
    # A first session makes the prefix when there is none and brings Wine's own records of the
    # machine up to date; the uninstall section finds no LUMRATE.INF to act on yet.
    found = s.wine(UNINSTALL_SECTION)
    if found:
        report("a first session", found)
        return
    s.unpack(zip_path)
    place_foreign(s.windows)
    clean = s.state()
    if WININIT in clean[1]:
        report("no WININIT.INI before the install", ["%s\\WININIT.INI is there already" % WINDOWS_DIR])
        return

    def now_as(what, want, by):
        """Differences of the state now from want (what names it), and any change that the step
        named by made to the other program's files."""
        now = s.state()
        return compare(what, want, now) + foreign_changes(now[1], by)

    def removed(by, wininit_before):
        """Differences after a removal session from what it must leave: the registry as before the
        install; the Windows folder too, but for the watcher's file, as installed, and WININIT.INI:
        what it held before (None: no such file) with one line of ours added, naming the watcher."""
        now = s.state()
        want_folder = dict(clean[1], **{WATCH_FILE: installed[1].get(WATCH_FILE)})
        folder = {p: v for p, v in now[1].items() if p != WININIT}
        found = compare("before the install but for the watcher's file", (clean[0], want_folder),
                        (now[0], folder))
        data, ours, others = wininit_left(s.windows)
        if ours != 1:
            found.append("WININIT.INI holds %d lines %r, want 1: %r" % (ours, WININIT_DELETE, data))
        elif wininit_before is not None and others != wininit_before:
            found.append("another program's lines of WININIT.INI changed: %r, was %r" % (others, wininit_before))
        elif wininit_before is None and others != b"[rename]\r\n":
            found.append("WININIT.INI made as %r, want [rename] and the line" % data)
        return found + foreign_changes(now[1], by)

    def next_start(by):
        """Windows started again after a removal: nothing of the package is left."""
        return s.wine(RESTART) + now_as("before the install, after the next start", clean, by)

    found = s.wine(UNINSTALL_UNPACKED.replace("%1", INF_PATH))
    found += now_as("before the install", clean, "the uninstall section")
    report("the uninstall section with nothing installed changes nothing", found)

    install = INSTALL_VERB.replace("%1", INF_PATH)
    found = s.wine(install)
    installed = s.state()
    found += check_install(clean, installed, contents)
    found += foreign_changes(installed[1], "the install")
    found += start_menu_findings(s.windows, "install")
    report("Explorer's Install verb copies LUMRATE.EXE, LUMWATCH.EXE, LUMSET.EXE and LUMRATE.INF, adds "
           "the watcher's Run value and the Uninstall entry, puts the chooser on the Start menu "
           "(SETUP.INI for GRPCONV), nothing else; another program's REFRESH.EXE and INF\\REFRESH.INF "
           "untouched", found)

    # The utility where it was installed (the watcher starts it: run_watch.py).
    found, sim = run_cases.run_case(MACHINE, sim_path, UTILITY, ini_files, env, options=["--in-place"])
    found += now_as("before the start: the program writes no file or registry value", installed, "the program")
    summary = "%d accesses, exit %d" % (len(sim["accesses"]), sim["exitCode"]) if sim else "not run"
    report("the program started where it was installed (%s) does what refresh-sim does on the %s "
           "machine (%s)" % (UTILITY, MACHINE.name, summary), found)

    found = s.wine(install) + now_as("after one install", installed, "installing twice")
    report("installed twice: as after one install", found)

    watch_line = reg_string(installed[0].get(RUN_KEY, {}).get(WATCH_RUN_VALUE, '""')) or ""
    uninstall = reg_string(installed[0].get(UNINSTALL_ENTRY, {}).get("UninstallString", '""')) or ""
    if not watch_line or uninstall != UNINSTALL_COMMAND:
        report("the Run value and the Uninstall entry's command", ["%r, %r" % (watch_line, uninstall)])
        return

    # Another program's pending work waits in WININIT.INI, written during the session (Wine's start
    # of a session does what the file says, as the next start of Windows does); the watcher runs.
    log, found = session_with_watcher(
        s, tools, watch_line, ["copy %s\\other.ini %s\\WININIT.INI" % (WATCH, WINDOWS_DIR), "run 120000 " + uninstall,
                               "count"], files={"other.ini": FOREIGN_WININIT})
    if log and not log["copy"][0]["ok"]:
        found.append("WININIT.INI of another program could not be put there")
    if log and log["count"][0]["watchers"] != 1:
        found.append("%d watchers after the removal, want the one running" % log["count"][0]["watchers"])
    found += removed("the removal", FOREIGN_WININIT)
    found += start_menu_findings(s.windows, "removal")
    report("with the watcher running, the Uninstall entry's command (%s) removes everything but "
           "LUMWATCH.EXE at once; at the end of the session WININIT.INI gets one line naming it, "
           "another program's two NUL= lines and its replacement kept byte for byte" % uninstall, found)
    report("after the next start (%s) nothing left" % RESTART, next_start("the next start"))

    found = s.wine(install) + now_as("after one install", installed, "installing again")
    log, more = session_with_watcher(s, tools, watch_line, [
        "close-watcher 30000", "run 120000 " + uninstall, "wait-window 30000", "count"])
    found += more
    if log and not log["close-watcher"][0]["gone"]:
        found.append("the watcher did not end at WM_CLOSE")
    if log and (not log["wait-window"][1]["found"] or log["count"][0]["watchers"] != 1):
        found.append("the removal left no watcher for the session: %s" % json.dumps(log["count"]))
    found += removed("the removal", None)
    found += next_start("the next start")
    report("with the watcher ended first (WM_CLOSE, as End Task), the removal starts one for the "
           "session, which makes WININIT.INI name it; after the next start nothing left", found)

    # What README.TXT tells the user to do when removing does nothing: install again, then remove.
    found = s.wine(install)
    inf = host_path(s.windows, "inf/lumrate.inf")
    if not os.path.isfile(inf):
        found.append("no installed LUMRATE.INF to delete")
    else:
        os.remove(inf)
        without_inf = (installed[0], {p: v for p, v in installed[1].items() if p != "inf/lumrate.inf"})
        _, more = session_with_watcher(s, tools, watch_line, ["run 120000 " + uninstall])
        found += more + now_as("installed but for LUMRATE.INF: without it, removing removes nothing",
                               without_inf, "removing without the installed LUMRATE.INF")
        found += s.wine(install)
        _, more = session_with_watcher(s, tools, watch_line, ["run 120000 " + uninstall])
        found += more + removed("installing again and removing", None) + next_start("the next start")
    report("with the installed LUMRATE.INF deleted, removing leaves everything and the watcher keeps "
           "its file; installed again, removed and started again: nothing left", found)


def main(argv):
    host_dir, windows_dir, counts_file, _ = wine_session.proof_arguments(argv, __doc__)
    sim_path = os.path.join(host_dir, "tools", "refresh-sim")
    exe = os.path.join(windows_dir, "refresh.exe")
    tools = os.path.join(windows_dir, "tests", "wine")
    zip_path = os.path.join(windows_dir, ZIP_NAME)
    for path in (sim_path, exe, zip_path, os.path.join(tools, "debugger.exe"), os.path.join(tools, "watchsteps.exe"),
                 os.path.join(tools, "physwin.vxd")):
        if not os.path.isfile(path):
            sys.stderr.write("run_package: %s missing: build both presets first\n" % path)
            return 2

    with wine_session.wine_session(tools, "package proof", counts_file) as (env, run_dir, tally):
        report = wine_session.step_reporter(tally, "package")
        ini_files = run_cases.write_system_inis(run_dir)
        prove(zip_path, exe, sim_path, tools, env, ini_files, report)
    return 1 if tally.failed else 0

if __name__ == "__main__":
    sys.exit(main(sys.argv))
