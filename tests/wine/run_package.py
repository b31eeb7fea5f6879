#!/usr/bin/env python3
"""Proves the release zip LUMRATE.ZIP under Wine, as Windows 98: unpacked as a user would,
installed through LUMRATE.INF by Explorer's Install verb, the program started as its Run value says,
removed by the command of its Uninstall entry, and the watcher's file at the next start of Windows.

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
   into its INF folder and adds the two Run values and the Uninstall entry, and nothing else;
4. the program, started by its Run value's command line where it was installed, under the
   emulating debugger with the mapping-driver double beside it, does what refresh-sim does on
   the same machine (run_cases.run_case), and changes no file and no registry value;
5. the Uninstall entry's command leaves the registry as before the install at once, and the
   Windows folder but for LUMWATCH.EXE, which may be running, and WININIT.INI naming it for
   deletion; after the next start of Windows (wineboot -r), the Windows folder is as before too;
6. installed twice, they are as after one install; uninstalled once and started again, as before
   the install;
7. installed, with the installed LUMRATE.INF then deleted, the Uninstall entry's command removes
   nothing more; installed again, removed and started again, registry and Windows folder are as
   before the first install.

WININIT.BAK, which Windows (and Wine's wineboot) leaves after it has done what WININIT.INI said,
is left out of every comparison: it is the record of a start, not part of the package.

One Wine prefix serves the whole run: in WINE_TEST_RUN_DIR when set (the caller removes it),
otherwise in a temporary folder removed at the end. Prints one line per check and "N passed,
M failed" (also written to --counts FILE as "N M"); exits 1 on any failure.
"""

import hashlib
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
PACKAGE = ["LUMRATE.EXE", "LUMWATCH.EXE", "LUMCHECK.EXE", "LUMRATE.INF", "README.TXT"]
TEXT = {"LUMRATE.INF", "README.TXT"}
BUILT = {"LUMRATE.EXE": "refresh.exe", "LUMWATCH.EXE": "lumwatch.exe", "LUMCHECK.EXE": "refcheck.exe"}

# Where the user unpacks the zip, and Explorer's Install verb for an .inf file on Windows 95/98
# (HKCR\inffile\shell\install\command), %1 being the file's path.
UNPACKED = "LUMRATE"
INF_PATH = "C:\\LUMRATE\\LUMRATE.INF"
INSTALL_VERB = "rundll.exe setupx.dll,InstallHinfSection DefaultInstall 132 %1"
# The same command for the uninstall section, for step 2 (nothing installed yet to find the INF).
UNINSTALL_UNPACKED = "rundll.exe setupx.dll,InstallHinfSection DefaultUninstall 132 %1"

# What the install must add, and the command Add/Remove Programs runs on Windows 95/98.
WINDOWS_DIR = "C:\\windows"
CURRENT_VERSION = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion"
RUN_KEY = CURRENT_VERSION + "\\Run"
RUN_VALUE = "LumarelRefresh"
WATCH_RUN_VALUE = "LumarelWatch"
UNINSTALL_ENTRY = CURRENT_VERSION + "\\Uninstall\\LumarelRefresh"
UNINSTALL_COMMAND = "RunDll setupx.dll,InstallHinfSection DefaultUninstall 4 LUMRATE.INF"
# Paths below the Windows folder, in lower case as listing() gives them: entry of the zip.
INSTALLED_FILES = {"lumrate.exe": "LUMRATE.EXE", "lumwatch.exe": "LUMWATCH.EXE",
                   "inf/lumrate.inf": "LUMRATE.INF"}
# Each Run value and the command line it must hold.
RUN_LINES = {RUN_VALUE: WINDOWS_DIR + "\\LUMRATE.EXE", WATCH_RUN_VALUE: WINDOWS_DIR + "\\LUMWATCH.EXE"}

# The watcher may be running when it is removed, so the uninstall leaves its file, and a line in
# the [rename] section of WININIT.INI that deletes it at the next start of Windows. Windows then
# renames the file to WININIT.BAK, and so does wineboot -r, Wine's restart: that record of a
# start is left out of every comparison of the Windows folder.
WATCH_FILE = "lumwatch.exe"
WININIT = "wininit.ini"
WININIT_DELETE = "NUL=" + RUN_LINES[WATCH_RUN_VALUE]
NOT_COMPARED_FILES = {"wininit.bak"}
RESTART = "wineboot -r"

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


def wininit_deletions(windows):
    """The lines of WININIT.INI's [rename] section, as written, in upper case."""
    path = host_path(windows, WININIT)
    if not os.path.isfile(path):
        return []
    lines, section = [], None
    with open(path, "rb") as f:
        for line in f.read().decode("latin-1").splitlines():
            line = line.strip()
            if line.startswith("["):
                section = line.lower()
            elif section == "[rename]" and line:
                lines.append(line.upper())
    return lines


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


def prove(zip_path, exe, sim_path, env, ini_files, report):
    found, contents = check_zip(zip_path, exe)
    report("%s holds %s; the programs are the build's; text in CR LF ASCII"
           % (ZIP_NAME, ", ".join(PACKAGE)), found)

    s = Session(env, ini_files)
    # A first session makes the prefix when there is none and brings Wine's own records of the
    # machine up to date; the Uninstall entry's command finds no LUMRATE.INF to act on yet.
    found = s.wine(UNINSTALL_COMMAND)
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

    def removed_at_once(by, left):
        """Differences after an uninstall from what it must leave at once: the registry as before
        the install; the Windows folder too, but for the files left ({path: listing entry}: the
        watcher's, as installed) and WININIT.INI, with one line in [rename] that deletes it."""
        now = s.state()
        want_folder = dict(clean[1], **left)
        folder = {p: v for p, v in now[1].items() if p != WININIT}
        found = compare("before the install but for the watcher's file", (clean[0], want_folder),
                        (now[0], folder))
        deletions = wininit_deletions(s.windows)
        if deletions != [WININIT_DELETE.upper()]:
            found.append("WININIT.INI [rename] holds %r, want the one line %r" % (deletions, WININIT_DELETE))
        return found + foreign_changes(now[1], by)

    def next_start(by):
        """Windows started again after an uninstall: nothing of the package is left."""
        return s.wine(RESTART) + now_as("before the install, after the next start", clean, by)

    # Uninstalling cannot know whether the watcher's file is there: the line in WININIT.INI is
    # written all the same, and deletes nothing at the next start.
    found = s.wine(UNINSTALL_UNPACKED.replace("%1", INF_PATH))
    found += removed_at_once("the uninstall section", {})
    found += next_start("the next start")
    report("the uninstall section with nothing installed changes nothing but a line in WININIT.INI; "
           "after the next start nothing", found)

    install = INSTALL_VERB.replace("%1", INF_PATH)
    found = s.wine(install)
    installed = s.state()
    found += check_install(clean, installed, contents)
    found += foreign_changes(installed[1], "the install")
    report("Explorer's Install verb copies LUMRATE.EXE, LUMWATCH.EXE and LUMRATE.INF, adds the Run "
           "values and the Uninstall entry, nothing else; another program's REFRESH.EXE and "
           "INF\\REFRESH.INF untouched", found)

    # The utility as Windows starts it from its Run value: the command line's program, where it is.
    # (The watcher's Run value: run_watch.py.)
    run_line = reg_string(installed[0].get(RUN_KEY, {}).get(RUN_VALUE, '""')) or ""
    words = command_words(run_line)
    summary = "not run"
    if words:
        found, sim = run_cases.run_case(MACHINE, sim_path, words[0], ini_files, env,
                                        options=["--in-place"], args=words[1:])
        found += now_as("before the start: the program writes no file or registry value",
                        installed, "the program")
        if sim:
            summary = "%d accesses, exit %d" % (len(sim["accesses"]), sim["exitCode"])
    else:
        found = ["no Run value to start"]
    report("the program started as the Run value says (%s) does what refresh-sim does on the %s "
           "machine (%s)" % (run_line, MACHINE.name, summary), found)

    uninstall = reg_string(installed[0].get(UNINSTALL_ENTRY, {}).get("UninstallString", '""')) or ""
    found = s.wine(uninstall) if uninstall else ["no UninstallString"]
    watcher_left = {WATCH_FILE: installed[1].get(WATCH_FILE)}
    found += removed_at_once("the uninstall", watcher_left)
    report("the Uninstall entry's command (%s) removes everything installed but LUMWATCH.EXE at "
           "once, the Run values included, and names LUMWATCH.EXE in WININIT.INI; another "
           "program's REFRESH.EXE and INF\\REFRESH.INF untouched" % uninstall, found)
    found = next_start("the next start")
    report("after the next start (%s) nothing left" % RESTART, found)

    found = s.wine(install) + s.wine(install)
    found += now_as("after one install", installed, "installing twice")
    found += s.wine(UNINSTALL_COMMAND)
    found += removed_at_once("uninstalling once", watcher_left)
    found += next_start("the next start")
    report("installed twice: as after one install; uninstalled once and started again: nothing left",
           found)

    # What README.TXT tells the user to do when removing does nothing: install again, then remove.
    found = s.wine(install)
    inf = host_path(s.windows, "inf/lumrate.inf")
    if not os.path.isfile(inf):
        found.append("no installed LUMRATE.INF to delete")
    else:
        os.remove(inf)
        without_inf = (installed[0],
                       {p: v for p, v in installed[1].items() if p != "inf/lumrate.inf"})
        found += s.wine(UNINSTALL_COMMAND)
        found += now_as("installed but for LUMRATE.INF: without it, removing removes nothing",
                        without_inf, "removing without the installed LUMRATE.INF")
        found += s.wine(install) + s.wine(UNINSTALL_COMMAND)
        found += removed_at_once("installing again and removing", watcher_left)
        found += next_start("the next start")
    report("with the installed LUMRATE.INF deleted, removing leaves the rest; installed again, "
           "removed and started again: nothing left", found)


def main(argv):
    host_dir, windows_dir, counts_file, _ = wine_session.proof_arguments(argv, __doc__)
    sim_path = os.path.join(host_dir, "tools", "refresh-sim")
    exe = os.path.join(windows_dir, "refresh.exe")
    tools = os.path.join(windows_dir, "tests", "wine")
    zip_path = os.path.join(windows_dir, ZIP_NAME)
    for path in (sim_path, exe, zip_path, os.path.join(tools, "debugger.exe")):
        if not os.path.isfile(path):
            sys.stderr.write("run_package: %s missing: build both presets first\n" % path)
            return 2

    with wine_session.wine_session(tools, "package proof", counts_file) as (env, run_dir, tally):
        report = wine_session.step_reporter(tally, "package")
        ini_files = run_cases.write_system_inis(run_dir)
        prove(zip_path, exe, sim_path, env, ini_files, report)
    return 1 if tally.failed else 0

if __name__ == "__main__":
    sys.exit(main(sys.argv))
