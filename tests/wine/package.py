"""The release package under Wine: its names (the zip's entries, the Install verb, the Run value, the
Uninstall entry, WININIT.INI), Wine sessions in one prefix as the typical machine (a command, or a
session played by watchsteps.exe) with the registry and the Windows folder after each, the steps
that give a session's machine a monitor, and the package unpacked and installed, as the watcher's
and the chooser's proofs start from it."""

import json
import os
import re
import shutil
import zipfile

from machines import TYPICAL, machine_args, monitor_reg
from wine_pool import BOOTED, Base
from wine_session import RUN_CASE, RUN_LIMIT_MS, failure, run
from wine_state import listing, reg_string, registry, describe_folder_changes, describe_reg_changes

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
INSTALL = INSTALL_VERB.replace("%1", INF_PATH)
# The same command for the uninstall section, for a removal with nothing installed yet to find the
# INF, and the one the watcher runs for the Uninstall entry, which finds the installed INF by its name.
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
UTILITY_FILE = "LUMRATE.EXE"
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

# In the prefix: the test tools and a watchsteps.exe session's files.
TOOLS = "C:\\tools"
WATCH = "C:\\watch"
DESKTOP = "lumwatch"

MACHINE = TYPICAL

# After an event the watcher waits its two seconds (kSettleMilliseconds) and then starts a run;
# under qemu the run is created 0.1 to 0.2 s later. A run the watcher wrongly started would be
# there after this long, with room for a loaded machine.
RUN_WOULD_START_MS = 3500
# How long a step waits at most for what must come (a window, a run of the utility begun or over,
# a dialog's answer): a limit, reached only when it does not come. A few seconds are usual; sessions
# side by side on a busy machine slow qemu down many times.
WAIT_MS = 60000


# A session on a machine with a monitor (machines.monitor_reg()) imports it as its first step. Wine
# keeps HKEY_DYN_DATA in the running wineserver alone: no file holds it, and a new session finds
# Config Manager\Enum without devnodes. regedit /S writes it there as Windows 98's regedit does.
MONITOR_FILES = {"monitor.reg": monitor_reg()}
MONITOR_STEPS = ["run %d regedit /S %s\\monitor.reg" % (WAIT_MS, WATCH)]


def monitor_imported(log):
    """What is wrong with the import of MONITOR_STEPS in a session's log."""
    entry = (log or {}).get("run", [{}])[0]
    if entry.get("ok") and entry.get("ended") and entry.get("exitCode") == 0:
        return []
    return ["the monitor's registry file was not imported: %s" % json.dumps(entry)]


def wait_for_run(ms=WAIT_MS):
    """watchsteps.exe steps: a run of the utility begins, and ends."""
    return ["wait-processes %d 1 %s" % (ms, UTILITY_FILE), "wait-processes %d 0 %s" % (ms, UTILITY_FILE)]


def command_words(line):
    """A command line split as Windows splits it: blanks, with double quotes around a word that
    holds blanks. wine joins the words again with one blank: the same command line."""
    return [w.replace('"', "") for w in re.findall(r'(?:"[^"]*"|[^\s"])+', line)]


def quoted(words):
    return " ".join('"%s"' % w if " " in w else w for w in words)


def host_path(windows, path):
    """Where Wine finds path (names between /) below the Windows folder: each name matched without
    regard to case with one on the disk, as Wine matches it, or kept as given when there is none."""
    found = windows
    for name in path.split("/"):
        names = {n.lower(): n for n in os.listdir(found)} if os.path.isdir(found) else {}
        found = os.path.join(found, names.get(name.lower(), name))
    return found


def read_log(path):
    """{step name: [log entries in order]} of a watchsteps.exe log."""
    log = {}
    with open(path) as f:
        for line in f:
            entry = json.loads(line)
            log.setdefault(entry["step"], []).append(entry)
    return log


class Session:
    """Wine sessions through run_case.sh in one prefix, every one as the same machine, and what
    the registry and the Windows folder hold after each."""

    def __init__(self, env, ini_files, tools):
        self.env = env
        self.tools = tools
        self.prefix = os.path.join(env["WINE_TEST_RUN_DIR"], "prefix")
        self.windows = os.path.join(self.prefix, "drive_c", "windows")
        self.ini_files = ini_files
        self.machine = machine_args(MACHINE, ini_files)[0]
        self.kept = os.path.join(env["WINE_TEST_RUN_DIR"], "kept")

    def wine(self, line):
        """Runs a command line in a session of its own; what went wrong, if anything."""
        command = [RUN_CASE] + self.machine + ["--timeout", str(RUN_LIMIT_MS), "--wine", "--"] + command_words(line)
        status, _, err = run(command, env=self.env)
        return ["%s: %s" % (line, failure("run_case.sh", status, err))] if status != 0 else []

    def unpack(self, zip_path):
        """Unpacks the zip where the user does, over whatever an earlier run left there."""
        unpacked = os.path.join(self.prefix, "drive_c", UNPACKED)
        shutil.rmtree(unpacked, ignore_errors=True)
        with zipfile.ZipFile(zip_path) as z:
            z.extractall(unpacked)

    def state(self):
        """(registry, Windows folder) as the last session left them."""
        return registry(self.prefix), listing(self.windows, NOT_COMPARED_FILES)

    def steps(self, lines, outs=(), timeout_ms=240000, extra_env=None, row=None, files=None, keep=()):
        """One session in a virtual desktop of the machine's screen size, played by watchsteps.exe
        (lines, as it reads them), with debugger.exe beside it in TOOLS and the mapping-driver
        double in the Windows folder for the session only. (log {step: [entries]}, {name: JSON of
        WATCH\\name} for each name in outs, what went wrong). row: another machine of the case
        table than MACHINE, the same screen (its mapping driver, above all). files: {name: bytes}
        put into WATCH for the session; keep: names of WATCH copied into self.kept afterwards."""
        drive_c = os.path.join(self.prefix, "drive_c")
        tools_dir, watch_dir = os.path.join(drive_c, "tools"), os.path.join(drive_c, "watch")
        for folder in (tools_dir, watch_dir):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
        for name in ("debugger.exe", "watchsteps.exe"):
            shutil.copy(os.path.join(self.tools, name), tools_dir)
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
            shutil.copy(os.path.join(self.tools, "physwin.vxd"), vxd)
        try:
            width, height, _ = MACHINE.screen.split("x")
            machine = machine_args(row, self.ini_files)[0] if row else self.machine
            command = ([RUN_CASE] + machine + ["--timeout", str(timeout_ms + 60000)] +
                       [w for name in ("LUMRATE.EXE", "LUMWATCH.EXE", "LUMSET.EXE") for w in ("--win98", name)] +
                       ["--wine", "--", "explorer", "/desktop=%s,%sx%s" % (DESKTOP, width, height),
                        TOOLS + "\\watchsteps.exe", WATCH + "\\steps.txt", WATCH + "\\log.txt"])
            status, _, err = run(command, env=dict(self.env, **(extra_env or {})))
        finally:
            if not missing:
                os.remove(vxd)
        found = [failure("run_case.sh", status, err)] if status != 0 else []
        log, results = None, {}
        try:
            log = read_log(os.path.join(watch_dir, "log.txt"))
            for name in outs:
                with open(os.path.join(watch_dir, name)) as f:
                    results[name] = json.load(f)
        except (OSError, ValueError) as e:
            found.append("the session left no complete record: %s" % e)
        os.makedirs(self.kept, exist_ok=True)
        for name in keep:
            if os.path.isfile(os.path.join(watch_dir, name)):
                shutil.copy(os.path.join(watch_dir, name), self.kept)
        for folder in (tools_dir, watch_dir):
            shutil.rmtree(folder, ignore_errors=True)
        return log, results, found


def debugged_watcher(out, watch_line, presets="", timeout_ms=240000):
    """The watchsteps.exe step that starts the watcher as its Run value says, under the debugger
    following every run of the utility it starts; the debugger's result goes to WATCH\\out."""
    return ("start %s\\debugger.exe --follow --out %s\\%s --timeout %d --set crtc:0x75=0x%02x%s -- %s"
            % (TOOLS, WATCH, out, timeout_ms, MACHINE.crtc75, presets, quoted(command_words(watch_line))))


def session_with_watcher(s, watch_line, middle, files=None):
    """One session: the watcher started as its Run value says, under the debugger, its start run
    left to end, so that what follows does not meet it; then the middle steps; then the end of the
    session, after which no watcher is left. (log, what went wrong)."""
    lines = ([debugged_watcher("watcher.json", watch_line), "wait-window %d" % WAIT_MS] + wait_for_run() +
             middle + ["end-session", "wait-gone %d" % WAIT_MS, "wait-exit %d" % WAIT_MS])
    log, _, found = s.steps(lines, files=files)
    if not log:
        return log, found
    unlogged = [step for step in ("wait-window", "wait-processes", "wait-gone") if step not in log]
    if unlogged:
        return log, found + ["the session ended before its steps %s: %s" % (", ".join(unlogged), json.dumps(log))]
    if not log["wait-window"][0]["found"]:
        found.append("the watcher's window never came")
    if not all(entry["matched"] for entry in log["wait-processes"][:2]):
        found.append("the watcher's start run did not come and end: %s" % json.dumps(log["wait-processes"][:2]))
    for entry in log.get("run", []):
        if not (entry["ok"] and entry["ended"] and entry["exitCode"] == 0):
            found.append("a step's command did not end with 0: %s" % json.dumps(entry))
    if not log["wait-gone"][0]["gone"]:
        found.append("a watcher is left after the end of the session")
    return log, found


def compare(what, before, after):
    found = describe_reg_changes(before[0], after[0]) + describe_folder_changes(before[1], after[1])
    return found + ["not as %s" % what] if found else []


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


def install(s, zip_path):
    """Unpacks and installs the package as a user does, after a first session (which brings Wine's
    own records of the machine up to date). (what went wrong, facts): facts holds the states before
    and after the install ("clean", "installed") and the installed command lines ("watch_line",
    "uninstall")."""
    found = s.wine(UNINSTALL_SECTION)  # the first session; there is no LUMRATE.INF to act on yet
    s.unpack(zip_path)
    clean = s.state()
    found += s.wine(INSTALL)
    installed = s.state()
    watch_line = reg_string(installed[0].get(RUN_KEY, {}).get(WATCH_RUN_VALUE, '""')) or ""
    uninstall = reg_string(installed[0].get(UNINSTALL_ENTRY, {}).get("UninstallString", '""')) or ""
    if not watch_line or not uninstall:
        found.append("no Run value or Uninstall entry: %r, %r" % (watch_line, uninstall))
    return found, {"clean": clean, "installed": installed, "watch_line": watch_line, "uninstall": uninstall}


def _make_installed(w):
    return install(Session(w.env, w.ini_files, w.builds.tools), os.path.join(w.builds.windows, ZIP_NAME))


# The prefix the watcher's and the chooser's jobs start from: the package unpacked and installed.
INSTALLED = Base("installed", _make_installed, parent=BOOTED)


def tool_files(tools):
    """The test tools a session played by watchsteps.exe takes."""
    return [os.path.join(tools, name) for name in ("debugger.exe", "watchsteps.exe", "physwin.vxd")]
