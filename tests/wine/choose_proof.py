"""The installed rate chooser's proof: LUMSET.EXE under Wine, as Windows 98, each job a session of
its own from the package unpacked and installed (package.INSTALLED).

Each trial is one Wine session on the "typical" machine with 60 Hz stored, in a virtual desktop, in
which watchsteps.exe plays the user, with the watcher running as at every start of Windows (under
the debugger, following its runs; its start run over before the chooser starts): LUMSET.EXE runs under the emulating debugger (port accesses,
and the register window's loads and stores, on the adapter model), started with every register
the programming sequence writes, both index registers and the window's bytes at values no table
holds (tests/fixtures/registers_unlike_every_table.txt); the user picks 85 Hz and tries it. Then:

1. the countdown runs out: the trial's accesses after the read-back are refresh-sim's for "85";
   every register, the window's bytes and both index registers are as they were, and RefreshRate
   is still "60";
2. Keep: RefreshRate is "85", and the registers are the utility's;
3. Go back, Enter, Esc, closing the question's window, the end of the Windows session, a resume
   from standby: each as 1;
4. a mode change to another size during the trial: nothing written back, nothing stored;
5. on machines where the utility would not act (the skip bit set, 32-bit color, no driver line,
   no mapping driver), Try cannot be pressed, the window says why, and no register is written;
6. LUMSET /FORGET deletes RefreshRate, as README.TXT's way back says;
7. with a monitor of 30-64 kHz and 50-100 Hz in the registry (machines.monitor_reg(), imported in
   the session, the watcher running as after a start of Windows): the window gives its limits and
   marks each listed rate beyond them exactly where its line frequency or rate is outside them; 85
   Hz (68.7 kHz) selected, Try cannot be pressed and the window says why, and a click that reaches
   the chooser all the same writes nothing; 75 Hz (60.0 kHz) is tried, and Go back writes
   everything back. Without it (every other job: Wine's HKEY_DYN_DATA lists no monitor), 85 Hz
   is tried at 1024 x 768.

The user's steps wait for the chooser itself (sync: its thread has dealt with what came before; a
selection returns once the chooser has dealt with it), not for a fixed time. With a picture file, the chooser's window as the screen shows it is kept as a
PNG file."""

import json
import os
import re
import struct
import zlib

import machines
import package
from package import INSTALLED, TOOLS, WAIT_MS, WATCH, WINDOWS_DIR, debugged_watcher, wait_for_run
from wine_pool import Job, Proof

TITLE = machines.product_name("CHOOSER_TITLE")
QUESTION = "Keep this refresh rate?"
CHOOSER = WINDOWS_DIR + "\\LUMSET.EXE"
STORED = "60"
RATE = "85"
ROW = package.MACHINE._replace(name="choose", rate=STORED)
COUNTDOWN_MS = 15000
# How long the question may take to go once it has been answered (or has counted down).
QUESTION_GONE_MS = COUNTDOWN_MS + WAIT_MS
ENTER, ESC = 13, 27
# Held while a trial goes on, so that no other program writes the adapter meanwhile: let go once
# it has ended.
TRIAL_MUTEX = machines.product_name("ADAPTER_LOCK_NAME")
# The chooser's window settled on the screen, for its picture: drawn once its thread is idle.
PICTURE_SETTLE_MS = 1000


# The trial's sequence reads CRTC 0x11 and writes it back with the protect bit clear: for its
# accesses to be refresh-sim's, the chooser finds there what refresh-sim's adapter holds at power-on
# (protect bit set, as in the fixture).
CRTC_11 = ("crtc:0x11", 0x8E)


def chooser_start(out, row=ROW):
    sets = "".join(" " + word for word in machines.presets(machines.unlike_every_table() + [CRTC_11]))
    return ("start %s\\debugger.exe --out %s\\%s --timeout 240000 --set crtc:0x75=0x%02x%s -- %s"
            % (TOOLS, WATCH, out, row.crtc75, sets, CHOOSER))


def with_watcher(watch_line, lines):
    """The session as Windows has it: the watcher, started at the start of Windows as its Run value
    says (under the debugger, following its runs), its start run over before the chooser starts;
    then lines; then the end of the session, with which the watcher goes. Without it the chooser
    would start a watcher itself, whose runs no debugger follows."""
    return ([debugged_watcher("watcher.json", watch_line), "wait-window %d" % WAIT_MS] + wait_for_run() + lines +
            ["end-session", "wait-gone %d" % WAIT_MS])


def trial_steps(ending, rate=RATE):
    """A trial of rate, ended by the steps `ending`, then the chooser closed."""
    return ([chooser_start("choose.json"), "wait-title %d %s" % (WAIT_MS, TITLE), "sync %d %s" % (WAIT_MS, TITLE),
             "texts " + TITLE, "select %s|%s Hz" % (TITLE, rate), "click %s|&Try" % TITLE,
             "wait-title %d %s" % (WAIT_MS, QUESTION), "sync %d %s" % (WAIT_MS, QUESTION), "texts " + QUESTION] + ending +
            ["wait-no-title %d %s" % (QUESTION_GONE_MS, QUESTION), "sync %d %s" % (WAIT_MS, TITLE), "texts " + TITLE,
             "read-rate", "mutex " + TRIAL_MUTEX, "close " + TITLE, "wait-exit %d" % WAIT_MS])


def sim_accesses(sim_path, ini_files, rate):
    found, sim = machines.simulate(sim_path, machines.machine_args(ROW._replace(rate=rate), ini_files)[1])
    if found:
        raise RuntimeError(found[0])
    return sim


def find(accesses, part):
    """Where part stands in accesses, as a whole; -1 where it does not."""
    for i in range(len(accesses) - len(part) + 1):
        if accesses[i:i + len(part)] == part:
            return i
    return -1


def plain(access):
    return {k: access[k] for k in ("op", "port", "address", "value") if k in access}


def check_trial(log, result, sim, written_back, stored, rate=RATE):
    """What is wrong with one trial: its accesses after the read-back are not refresh-sim's,
    registers not as they must be, or the rate not as it must be."""
    found = []
    if not log or result is None:
        return ["the session left no record"]
    if not (log["click"][0]["ok"] and log["wait-title"][1]["found"]):
        return ["Try could not be pressed, or no question came: %s" % json.dumps(log.get("texts"))]
    if not all(entry["answered"] for entry in log["sync"]):
        found.append("the chooser did not answer in time: %s" % json.dumps(log["sync"]))
    accesses = [plain(a) for a in result["accesses"]]
    sequence = [plain(a) for a in sim["accesses"][2:]]  # after the skip-bit read
    at = find(accesses, sequence)
    if at < 0:
        found.append("the utility's sequence for %s (refresh-sim's) is not among the trial's accesses" % rate)
    else:
        before = accesses[:at]
        writes = [a for a in before if a["op"] in ("out", "store") and a.get("port") not in (0x3D4, 0x3D6)]
        if writes:
            found.append("before the sequence, writes other than index writes: %s" % writes[:3])
        after = accesses[at + len(sequence):]
        if not written_back and any(a["op"] in ("out", "store") and a.get("port") not in (0x3D4, 0x3D6)
                                    for a in after):
            found.append("written after the sequence, where nothing may be: %s" % after[:3])
    changed = result["changedRegisters"]
    if written_back and changed:
        found.append("registers not as before the trial: %s" % changed)
    if not written_back and not changed:
        found.append("no register changed, where the utility's values must stay")
    if log["mutex"][0]["held"]:
        found.append("the adapter lock %s is still held after the trial" % TRIAL_MUTEX)
    kept = log["read-rate"][0].get("value")
    if kept != stored:
        found.append("RefreshRate %r, want %r" % (kept, stored))
    if result["exitCode"] != 0 or result["crash"] or result["error"]:
        found.append("the chooser did not end cleanly: %s" % json.dumps({k: result[k] for k in ("exitCode", "crash", "error")}))
    return found


def png_of_bmp(bmp_path, png_path):
    """A 24-bit bottom-up BMP file as a PNG file."""
    with open(bmp_path, "rb") as f:
        data = f.read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        line = data[offset + y * stride: offset + y * stride + width * 3]
        rgb = bytearray(width * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = line[2::3], line[1::3], line[0::3]  # BMP keeps blue first
        rows.append(b"\0" + bytes(rgb))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(png_path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


# name, the steps that end the trial, whether everything is written back, RefreshRate afterwards.
ENDINGS = [
    ("countdown", "the countdown runs out", [], True, STORED),
    ("keep", "Keep", ["click %s|&Keep" % QUESTION], False, RATE),
    ("go-back", "Go back", ["click %s|&Go back" % QUESTION], True, STORED),
    ("enter", "Enter (Go back is the default button)", ["key %s %d" % (QUESTION, ENTER)], True, STORED),
    ("esc", "Esc", ["key %s %d" % (QUESTION, ESC)], True, STORED),
    ("close-question", "the question's window closed", ["close " + QUESTION], True, STORED),
    ("end-session", "the end of the Windows session", ["end-session " + TITLE, "close " + QUESTION], True, STORED),
    ("mode-change", "a mode change", ["mode 800x600"], False, STORED),
    ("resume", "a resume from standby", ["power 8"], True, STORED),
]

# Machines where the utility would not act: name, line, the row, what the window must say.
NOT_ACTING = [("skip-bit", "the skip bit set", ROW._replace(crtc75=0x20), "The skip bit is set"),
              ("depth-32", "32-bit color", ROW._replace(screen="1024x768x24"), "At True Color (32 bit)"),
              ("no-driver-line", "no driver line", ROW._replace(ini="nodriver"), "has no line"),
              ("no-vxd", "no mapping driver", ROW._replace(driver="missing"), "PHYSWIN.VXD")]


def trial(b, w, report, ending, picture):
    _, name, steps, written_back, stored = ending
    s = package.Session(w.env, w.ini_files, b.tools)
    sim = sim_accesses(b.sim, w.ini_files, RATE)
    lines = with_watcher(w.facts["watch_line"], trial_steps(steps))
    keep = []
    if picture:
        at = lines.index("texts " + TITLE) + 1
        lines[at:at] = ["sleep %d" % PICTURE_SETTLE_MS, "snap %s %s\\chooser.bmp" % (TITLE, WATCH)]
        keep = ["chooser.bmp"]
    log, results, found = s.steps(lines, outs=["choose.json"], row=ROW, keep=keep)
    found += check_trial(log, results.get("choose.json"), sim, written_back, stored)
    if keep and not found:
        png_of_bmp(os.path.join(s.kept, "chooser.bmp"), picture)
    texts = log and log["texts"][-1]["texts"]
    report("a trial of %s Hz ended by %s: %s" % (
        RATE, name, "every register and the window as before, RefreshRate unchanged" if written_back and stored == STORED
        else "RefreshRate \"%s\", the utility's registers" % stored if stored == RATE
        else "nothing written back, nothing stored"), found, lambda: "; the window then says: %s" % (texts[-2] if texts else ""))


def not_acting(b, w, report, machine):
    _, name, row, why = machine
    s = package.Session(w.env, w.ini_files, b.tools)
    # After the click, as long as a question would take to come if Try had started a trial.
    lines = with_watcher(w.facts["watch_line"], [
        chooser_start("choose.json", row), "wait-title %d %s" % (WAIT_MS, TITLE), "sync %d %s" % (WAIT_MS, TITLE),
        "texts " + TITLE, "click %s|&Try" % TITLE, "sleep 1000", "wait-no-title 1 " + QUESTION, "read-rate",
        "close " + TITLE, "wait-exit %d" % WAIT_MS])
    log, results, found = s.steps(lines, outs=["choose.json"], row=row)
    result = results.get("choose.json")
    if log:
        if log["click"][0]["ok"]:
            found.append("Try could be pressed")
        if not any(why in t for t in log["texts"][0]["texts"]):
            found.append("the window does not say why: %s" % log["texts"][0]["texts"])
        if log["read-rate"][0].get("value") != STORED:
            found.append("RefreshRate changed")
    if result:
        writes = [a for a in result["accesses"] if a["op"] in ("out", "store") and a.get("port") not in (0x3D4, 0x3D6)]
        if writes or result["changedRegisters"]:
            found.append("registers written: %s %s" % (writes[:3], result["changedRegisters"]))
        if result["messageBoxes"]:
            found.append("a message box came: %s" % json.dumps(result["messageBoxes"][:1]))
    report("%s: no rate can be tried, the window says why (no message box), no register is written" % name, found)


# With the monitor of machines.monitor_reg(), at the chooser's screen (1024 x 768): BEYOND's timing
# needs a line frequency above the monitor's, WITHIN's is inside both its ranges.
BEYOND, WITHIN = "85", "75"
BEYOND_MARK = ", beyond the monitor"
# An item of the list at the chooser's own screen: its rate, its line frequency, the mark.
LISTED = re.compile(r"item: (\d+) Hz \((\d+\.\d) kHz\)(%s)?$" % re.escape(BEYOND_MARK))


def listed_rates(texts):
    """{rate: (line frequency in kHz, marked beyond the monitor)} of the list's items among texts."""
    return {m.group(1): (float(m.group(2)), bool(m.group(3))) for m in map(LISTED.match, texts) if m}


def monitor_shown(texts):
    """What is wrong with the chooser's window on the monitor's machine: its limits not given, an
    item marked otherwise than its line frequency and rate against them say, or BEYOND and WITHIN
    not listed as this proof takes them."""
    found = []
    limits = ["%.1f-%.1f kHz" % machines.MONITOR_KHZ, "%d-%d Hz" % machines.MONITOR_HZ]
    if not any(all(limit in t for limit in limits) for t in texts):
        found.append("the window does not give the monitor's limits (%s): %s" % (" and ".join(limits), texts))
    listed = listed_rates(texts)
    items = [t for t in texts if t.startswith("item: ")]
    if len(listed) != len(items):
        found.append("items not of the form \"R Hz (F kHz)\" with or without the mark: %s" % items)
    for rate, (khz, marked) in sorted(listed.items(), key=lambda r: int(r[0])):
        if marked != machines.beyond_monitor(khz, int(rate)):
            found.append("%s Hz (%.1f kHz) %s marked beyond the monitor" % (rate, khz, "is" if marked else "is not"))
    if [listed.get(BEYOND, (0, None))[1], listed.get(WITHIN, (0, None))[1]] != [True, False]:
        found.append("want %s Hz listed and marked, %s Hz listed and not: %s" % (BEYOND, WITHIN, items))
    return found


def monitor_session(watch_line, lines):
    """A session on the monitor's machine: the monitor imported, then as with_watcher."""
    return package.MONITOR_STEPS + with_watcher(watch_line, lines)


def session_findings(log):
    """What went wrong around the chooser in a monitor_session: the import, the watcher."""
    found = package.monitor_imported(log)
    if log and not (log["wait-window"][0]["found"] and all(e["matched"] for e in log["wait-processes"])):
        found.append("the watcher's start run did not come and end: %s" % json.dumps(log["wait-processes"]))
    if log and not log.get("wait-gone", [{}])[0].get("gone"):
        found.append("a watcher is left after the end of the session")
    return found


def monitor_beyond(b, w, report):
    """The monitor imported in the session, the chooser started: its limits shown, every item marked
    as they say; BEYOND selected, Try disabled and the reason shown; the click, which watchsteps.exe
    posts all the same, starts no trial."""
    s = package.Session(w.env, w.ini_files, b.tools)
    lines = monitor_session(w.facts["watch_line"], [
        chooser_start("choose.json"), "wait-title %d %s" % (WAIT_MS, TITLE), "sync %d %s" % (WAIT_MS, TITLE),
        "texts " + TITLE, "select %s|%s Hz" % (TITLE, BEYOND), "texts " + TITLE, "click %s|&Try" % TITLE,
        "close " + TITLE, "wait-exit %d" % WAIT_MS, "read-rate"])
    log, results, found = s.steps(lines, outs=["choose.json"], row=ROW, files=package.MONITOR_FILES)
    found += session_findings(log)
    if log and len(log.get("texts", [])) != 2:
        found.append("the chooser's window never came: %s" % json.dumps(log))
    shown = [] if found else log["texts"][0]["texts"]
    if not found:
        found += monitor_shown(shown)
    listed = listed_rates(shown)
    report("the monitor (%.1f-%.1f kHz, %d-%d Hz) imported in the session into HKEY_DYN_DATA and "
           "HKEY_LOCAL_MACHINE: the chooser gives its limits, and marks each listed rate beyond it where its "
           "line frequency or rate is outside them" % (machines.MONITOR_KHZ + machines.MONITOR_HZ), found,
           lambda: "; %s" % ", ".join("%s Hz (%.1f kHz)%s" % (r, k, " beyond" if m else "")
                                      for r, (k, m) in sorted(listed.items(), key=lambda r: int(r[0]))))
    if found:
        return

    # The reason: the line below the list, new with the selection, names the timing's line frequency
    # and the monitor's range.
    needs = ["%.1f kHz" % listed[BEYOND][0], "%.1f-%.1f kHz" % machines.MONITOR_KHZ]
    why = [t for t in log["texts"][1]["texts"] if t not in shown and all(n in t for n in needs)]
    found = [] if log["select"][0]["ok"] else ["%s Hz could not be selected" % BEYOND]
    if log["click"][0]["ok"]:
        found.append("Try could be pressed for %s Hz" % BEYOND)
    if not why:
        found.append("the window does not say why (%s): %s" % (", ".join(needs), log["texts"][1]["texts"]))
    report("%s Hz selected: Try cannot be pressed, and the window says why" % BEYOND, found,
           lambda: "; it says: %s" % why[0])

    # The click reached the chooser all the same: it tries nothing.
    found = []
    result = results["choose.json"]
    writes = [a for a in result["accesses"] if a["op"] in ("out", "store") and a.get("port") not in (0x3D4, 0x3D6)]
    if writes or result["changedRegisters"]:
        found.append("registers written: %s %s" % (writes[:3], result["changedRegisters"]))
    if log["read-rate"][0].get("value") != STORED:
        found.append("RefreshRate %r, want %r" % (log["read-rate"][0].get("value"), STORED))
    if not log["wait-exit"][0].get("ended") or result["exitCode"] != 0 or result["crash"] or result["error"]:
        found.append("the chooser did not end cleanly: %s" % json.dumps(
            {k: result[k] for k in ("exitCode", "crash", "error")}))
    report("a click of Try that reaches the chooser all the same starts no trial: no register written, "
           "RefreshRate unchanged", found)


def monitor_within(b, w, report):
    """The monitor imported in the session: WITHIN, inside its ranges, is tried as any rate."""
    s = package.Session(w.env, w.ini_files, b.tools)
    sim = sim_accesses(b.sim, w.ini_files, WITHIN)
    lines = monitor_session(w.facts["watch_line"], trial_steps(["click %s|&Go back" % QUESTION], WITHIN))
    log, results, found = s.steps(lines, outs=["choose.json"], row=ROW, files=package.MONITOR_FILES)
    found += session_findings(log)
    if not found:
        found += monitor_shown(log["texts"][0]["texts"]) + check_trial(
            log, results.get("choose.json"), sim, True, STORED, WITHIN)
    question = [] if found else log["texts"][1]["texts"]
    report("%s Hz, within the monitor, can be tried: the question comes; Go back writes every register and "
           "the window back, RefreshRate unchanged" % WITHIN, found,
           lambda: "; the question says: %s" % " ".join(t for t in question if t and not t.startswith("&")))


def forget(b, w, report):
    """The way back, typed blind."""
    s = package.Session(w.env, w.ini_files, b.tools)
    log, _, found = s.steps(["run 60000 %s /FORGET" % CHOOSER, "read-rate"], row=ROW)
    if log and not (log["run"][0].get("exitCode") == 0 and log["read-rate"][0].get("value") is None):
        found.append("after LUMSET /FORGET: %s, %s" % (log["run"][0], log["read-rate"][0]))
    report("LUMSET /FORGET deletes RefreshRate", found)


def removed(b, w, report):
    s = package.Session(w.env, w.ini_files, b.tools)
    found = s.wine(package.UNINSTALL_COMMAND)
    if os.path.exists(package.host_path(s.windows, "lumset.exe")):
        found.append("LUMSET.EXE is still in the Windows folder")
    found += package.start_menu_findings(s.windows, "removal")
    report("removed: LUMSET.EXE gone at once, its Start menu entry named for removal", found)


def proof(b, picture=None):
    """picture: where the Keep trial keeps the chooser's window as a PNG file, or None."""

    def job(name, prove, weight, *more):
        return Job("choose-" + name, lambda w: prove(b, w, w.steps("choose"), *more), base=INSTALLED, weight=weight)

    jobs = [job(e[0], trial, 40 if e[0] == "countdown" else 12, e, picture if e[0] == "keep" else None)
            for e in ENDINGS]
    jobs += [job(m[0], not_acting, 12, m) for m in NOT_ACTING]
    jobs += [job("monitor-beyond", monitor_beyond, 30), job("monitor-within", monitor_within, 30)]
    jobs += [job("forget", forget, 8), job("removed", removed, 8)]
    return Proof("chooser proof", jobs, needs=[b.sim, os.path.join(b.windows, package.ZIP_NAME)] +
                 package.tool_files(b.tools))
