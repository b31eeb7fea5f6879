"""The release package's proof: LUMRATE.ZIP under Wine, as Windows 98, unpacked as a user would,
installed through LUMRATE.INF by Explorer's Install verb, the program started where it was
installed, removed by the command of its Uninstall entry (LUMWATCH /REMOVE), and the watcher's file
at the next start of Windows, whether the watcher ran at the removal or had been ended.

Every Wine session (run_case.sh) is the "typical" machine of the case table: same screen,
system.ini and RefreshRate, so sessions differ only in what the package does. After each session
the registry (as Wine saved it) and the Windows folder (names, sizes, contents) are read and
compared with an earlier state. Before the first install, files of another program with generic
names (FOREIGN: REFRESH.EXE in the Windows folder, INF\\REFRESH.INF) are put there; they belong to
the state every later one is compared with, and after each step they must still hold their bytes.
The checks, in order:

1. the zip holds exactly package.PACKAGE; LUMRATE.EXE, LUMWATCH.EXE, LUMSET.EXE and LUMCHECK.EXE
   are byte for byte the build's programs; the text files are CR LF and printable ASCII throughout;
2. the uninstall section, run with nothing installed, changes nothing;
3. the Install verb copies LUMRATE.EXE, LUMWATCH.EXE and LUMSET.EXE into the Windows folder and
   LUMRATE.INF into its INF folder and adds the watcher's Run value and the Uninstall entry, and
   nothing else;
4. the program, started where it was installed, under the emulating debugger with the
   mapping-driver double beside it, does what refresh-sim does on the same machine
   (comparisons.run_case), and changes no file and no registry value;
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
is left out of every comparison: it is the record of a start, not part of the package. The steps
after the zip's follow one another in one prefix: one job."""

import hashlib
import json
import os
import zipfile

import package
from comparisons import run_case
from package import (INF_PATH, INSTALL, INSTALLED_FILES, RUN_KEY, RUN_LINES, UNINSTALL_COMMAND, UNINSTALL_ENTRY,
                     WATCH, WATCH_FILE, WATCH_RUN_VALUE, WINDOWS_DIR, WININIT, WININIT_DELETE, compare, host_path)
from wine_pool import Job, Proof
from wine_state import describe_folder_changes, describe_reg_changes, reg_changes, reg_string

# Another program's pending work in WININIT.INI: two deletes (the key repeated) and a replacement.
FOREIGN_WININIT = (b"[rename]\r\nNUL=C:\\OTHERAPP\\OLD1.DLL\r\nNUL=C:\\OTHERAPP\\OLD2.DLL\r\n"
                   b"C:\\OTHERAPP\\APP.EXE=C:\\OTHERAPP\\APP.NEW\r\n")

# Another program's files under the generic names this package must not touch, with bytes of
# their own: path below the Windows folder as written, contents.
FOREIGN = {
    "REFRESH.EXE": b"MZ another program's REFRESH.EXE, not this package's\r\n",
    "INF/REFRESH.INF": b"; another program's REFRESH.INF, not this package's\r\n"
                       b"[Version]\r\nSignature=\"$CHICAGO$\"\r\n",
}


def zip_contents(zip_path):
    with zipfile.ZipFile(zip_path) as z:
        return z.namelist(), {n: z.read(n) for n in z.namelist()}


def check_zip(zip_path, windows_dir):
    found = []
    names, contents = zip_contents(zip_path)
    if names != package.PACKAGE:
        found.append("entries %s, want %s" % (names, package.PACKAGE))
    for name, built in package.BUILT.items():
        with open(os.path.join(windows_dir, built), "rb") as f:
            if contents.get(name) != f.read():
                found.append("%s is not the %s the Wine proof runs" % (name, built))
    for name in package.TEXT & set(contents):
        data = contents[name]
        bare = data.replace(b"\r\n", b"")
        if b"\r" in bare or b"\n" in bare or not data.endswith(b"\r\n"):
            found.append("%s: not CR LF throughout" % name)
        if any(b > 0x7E or (b < 0x20 and b not in b"\r\n") for b in data):
            found.append("%s: a byte outside printable ASCII" % name)
    return found


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
        if run_line is None or package.command_words(run_line) != [want_line]:
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


def prove(b, w, report):
    zip_path = os.path.join(b.windows, package.ZIP_NAME)
    _, contents = zip_contents(zip_path)
    s = package.Session(w.env, w.ini_files, b.tools)
    # A first session brings Wine's own records of the machine up to date; the uninstall section
    # finds no LUMRATE.INF to act on yet.
    found = s.wine(package.UNINSTALL_SECTION)
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
        data, ours, others = package.wininit_left(s.windows)
        if ours != 1:
            found.append("WININIT.INI holds %d lines %r, want 1: %r" % (ours, WININIT_DELETE, data))
        elif wininit_before is not None and others != wininit_before:
            found.append("another program's lines of WININIT.INI changed: %r, was %r" % (others, wininit_before))
        elif wininit_before is None and others != b"[rename]\r\n":
            found.append("WININIT.INI made as %r, want [rename] and the line" % data)
        return found + foreign_changes(now[1], by)

    def next_start(by):
        """Windows started again after a removal: nothing of the package is left."""
        return s.wine(package.RESTART) + now_as("before the install, after the next start", clean, by)

    found = s.wine(package.UNINSTALL_UNPACKED.replace("%1", INF_PATH))
    found += now_as("before the install", clean, "the uninstall section")
    report("the uninstall section with nothing installed changes nothing", found)

    found = s.wine(INSTALL)
    installed = s.state()
    found += check_install(clean, installed, contents)
    found += foreign_changes(installed[1], "the install")
    found += package.start_menu_findings(s.windows, "install")
    report("Explorer's Install verb copies LUMRATE.EXE, LUMWATCH.EXE, LUMSET.EXE and LUMRATE.INF, adds "
           "the watcher's Run value and the Uninstall entry, puts the chooser on the Start menu "
           "(SETUP.INI for GRPCONV), nothing else; another program's REFRESH.EXE and INF\\REFRESH.INF "
           "untouched", found)

    # The utility where it was installed (the watcher starts it: the watcher's proof).
    found, sim = run_case(package.MACHINE, b.sim, package.UTILITY, w.ini_files, w.env, options=["--in-place"])
    found += now_as("before the start: the program writes no file or registry value", installed, "the program")
    summary = "%d accesses, exit %d" % (len(sim["accesses"]), sim["exitCode"]) if sim else "not run"
    report("the program started where it was installed (%s) does what refresh-sim does on the %s "
           "machine (%s)" % (package.UTILITY, package.MACHINE.name, summary), found)

    found = s.wine(INSTALL) + now_as("after one install", installed, "installing twice")
    report("installed twice: as after one install", found)

    watch_line = reg_string(installed[0].get(RUN_KEY, {}).get(WATCH_RUN_VALUE, '""')) or ""
    uninstall = reg_string(installed[0].get(UNINSTALL_ENTRY, {}).get("UninstallString", '""')) or ""
    if not watch_line or uninstall != UNINSTALL_COMMAND:
        report("the Run value and the Uninstall entry's command", ["%r, %r" % (watch_line, uninstall)])
        return

    # Another program's pending work waits in WININIT.INI, written during the session (Wine's start
    # of a session does what the file says, as the next start of Windows does); the watcher runs.
    log, found = package.session_with_watcher(
        s, watch_line, ["copy %s\\other.ini %s\\WININIT.INI" % (WATCH, WINDOWS_DIR), "run 120000 " + uninstall,
                        "count"], files={"other.ini": FOREIGN_WININIT})
    if log and not log["copy"][0]["ok"]:
        found.append("WININIT.INI of another program could not be put there")
    if log and log["count"][0]["watchers"] != 1:
        found.append("%d watchers after the removal, want the one running" % log["count"][0]["watchers"])
    found += removed("the removal", FOREIGN_WININIT)
    found += package.start_menu_findings(s.windows, "removal")
    report("with the watcher running, the Uninstall entry's command (%s) removes everything but "
           "LUMWATCH.EXE at once; at the end of the session WININIT.INI gets one line naming it, "
           "another program's two NUL= lines and its replacement kept byte for byte" % uninstall, found)
    report("after the next start (%s) nothing left" % package.RESTART, next_start("the next start"))

    found = s.wine(INSTALL) + now_as("after one install", installed, "installing again")
    log, more = package.session_with_watcher(s, watch_line, [
        "close-watcher %d" % package.WAIT_MS, "run 120000 " + uninstall, "wait-window %d" % package.WAIT_MS, "count"])
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
    found = s.wine(INSTALL)
    inf = host_path(s.windows, "inf/lumrate.inf")
    if not os.path.isfile(inf):
        found.append("no installed LUMRATE.INF to delete")
    else:
        os.remove(inf)
        without_inf = (installed[0], {p: v for p, v in installed[1].items() if p != "inf/lumrate.inf"})
        _, more = package.session_with_watcher(s, watch_line, ["run 120000 " + uninstall])
        found += more + now_as("installed but for LUMRATE.INF: without it, removing removes nothing",
                               without_inf, "removing without the installed LUMRATE.INF")
        found += s.wine(INSTALL)
        _, more = package.session_with_watcher(s, watch_line, ["run 120000 " + uninstall])
        found += more + removed("installing again and removing", None) + next_start("the next start")
    report("with the installed LUMRATE.INF deleted, removing leaves everything and the watcher keeps "
           "its file; installed again, removed and started again: nothing left", found)


def proof(b):
    zip_path = os.path.join(b.windows, package.ZIP_NAME)

    def zip_job(w):
        w.steps("package")("%s holds %s; the programs are the build's; text in CR LF ASCII"
                           % (package.ZIP_NAME, ", ".join(package.PACKAGE)), check_zip(zip_path, b.windows))

    return Proof("package proof", [Job("package-zip", zip_job, base=None, weight=0),
                                   Job("package", lambda w: prove(b, w, w.steps("package")), weight=150)],
                 needs=[b.sim, zip_path, os.path.join(b.windows, "refresh.exe")] + package.tool_files(b.tools))
