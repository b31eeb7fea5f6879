#!/usr/bin/env python3
"""Proves the installed rate chooser LUMSET.EXE under Wine, as Windows 98.

    run_choose.py [--counts FILE] [--picture FILE.png] HOST_BUILD_DIR WINDOWS_BUILD_DIR

The zip is unpacked and installed as run_package.py does. Each trial is one Wine session on the
"typical" machine with 60 Hz stored, in a virtual desktop, in which watchsteps.exe plays the user:
LUMSET.EXE runs under the emulating debugger (port accesses, and the register window's loads and
stores, on the adapter model), started with every register the programming sequence writes, both
index registers and the window's bytes at values no table holds; the user picks 85 Hz and tries
it. Then:

1. the countdown runs out: the trial's accesses after the read-back are refresh-sim's for "85";
   every register, the window's bytes and both index registers are as they were, and RefreshRate
   is still "60";
2. Keep: RefreshRate is "85", and the registers are the utility's;
3. Go back, Enter, Esc, closing the question's window, the end of the Windows session: each as 1;
4. a mode change or a resume during the trial: nothing written back, nothing stored;
5. on machines where the utility would not act (the skip bit set, 32-bit colour, no driver line,
   no mapping driver), Try cannot be pressed, the window says why, and no register is written;
6. LUMSET /FORGET deletes RefreshRate, as README.TXT's way back says.

With --picture, the chooser's window as the screen shows it is kept as a PNG file.

One Wine prefix serves the whole run: in WINE_TEST_RUN_DIR when set (the caller removes it),
otherwise in a temporary folder removed at the end. Prints one line per check and "N passed,
M failed" (also written to --counts FILE as "N M"); exits 1 on any failure.
"""

import argparse
import json
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
import run_cases  # noqa: E402  (the machine table, the comparison with refresh-sim)
import run_package  # noqa: E402  (the install, the sessions)
import wine_session  # noqa: E402  (the Wine prefix, the tally)

TITLE = "Lumarel Refresh Rate"
QUESTION = "Keep this refresh rate?"
CHOOSER = run_package.WINDOWS_DIR + "\\LUMSET.EXE"
STORED = "60"
RATE = "85"
ROW = run_package.MACHINE._replace(name="choose", rate=STORED)
COUNTDOWN_MS = 15000
ENTER, ESC = 13, 27
# Held while a trial goes on, so that the watcher starts no run meanwhile: gone once it has ended.
TRIAL_MUTEX = "LumarelTrial"

# Every register the programming sequence writes, both index registers and the window's bytes, at
# values no table holds: odd, each distinct; CRTC 0x11 with its protect bit set.
CRTC = [0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x10, 0x12, 0x13, 0x15, 0x16, 0x30, 0x31, 0x32, 0x33]
EXT = [0x09, 0xC8, 0xC9, 0xCA, 0xCB]
PRESETS = ([("crtc:0x%02x" % r, 0x15 + 2 * k) for k, r in enumerate(CRTC)] + [("crtc:0x11", 0x8E)] +
           [("ext:0x%02x" % r, 0x49 + 2 * k) for k, r in enumerate(EXT)] +
           [("misc", 0xE3), ("crtc-index", 0x5A), ("ext-index", 0xA5)] +
           [("window:%d" % k, v) for k, v in enumerate((0x5B, 0xC1, 0x77, 0x3D))])


def chooser_start(out, row=ROW):
    sets = "".join(" --set %s=0x%02x" % p for p in PRESETS if row.crtc75 == 0 or p[0] != "crtc:0x75")
    return ("start %s\\debugger.exe --out %s\\%s --timeout 120000 --set crtc:0x75=0x%02x%s -- %s"
            % (run_package.TOOLS, run_package.WATCH, out, row.crtc75, sets, CHOOSER))


def trial_steps(ending):
    """A trial of RATE, ended by the steps `ending`, then the chooser closed."""
    return ([chooser_start("choose.json"), "wait-title 60000 " + TITLE, "sleep 1500", "texts " + TITLE,
             "select %s|%s Hz" % (TITLE, RATE), "click %s|&Try" % TITLE, "wait-title 30000 " + QUESTION,
             "sleep 500", "texts " + QUESTION] + ending +
            ["wait-no-title 30000 " + QUESTION, "sleep 500", "texts " + TITLE, "read-rate", "mutex " + TRIAL_MUTEX,
             "close " + TITLE, "wait-exit 60000"])


def sim_accesses(sim_path, ini_files, rate):
    row = ROW._replace(rate=rate)
    status, out, err = wine_session.run([sim_path] + run_cases.machine_args(row, ini_files)[1])
    if status != 0:
        raise RuntimeError("refresh-sim failed (%d): %s" % (status, err.strip()))
    return json.loads(out)


def find(accesses, part):
    """Where part stands in accesses, as a whole; -1 where it does not."""
    for i in range(len(accesses) - len(part) + 1):
        if accesses[i:i + len(part)] == part:
            return i
    return -1


def plain(access):
    return {k: access[k] for k in ("op", "port", "address", "value") if k in access}


def check_trial(log, result, sim, written_back, stored):
    """What is wrong with one trial: its accesses after the read-back are not refresh-sim's,
    registers not as they must be, or the rate not as it must be."""
    found = []
    if not log or result is None:
        return ["the session left no record"]
    if not (log["click"][0]["ok"] and log["wait-title"][1]["found"]):
        return ["Try could not be pressed, or no question came: %s" % json.dumps(log.get("texts"))]
    accesses = [plain(a) for a in result["accesses"]]
    sequence = [plain(a) for a in sim["accesses"][2:]]  # after the skip-bit read
    at = find(accesses, sequence)
    if at < 0:
        found.append("the utility's sequence for %s (refresh-sim's) is not among the trial's accesses" % RATE)
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
    if log["mutex"][0]["exists"]:
        found.append("the trial's mutex %s is still held after the trial" % TRIAL_MUTEX)
    rate = log["read-rate"][0].get("value")
    if rate != stored:
        found.append("RefreshRate %r, want %r" % (rate, stored))
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


def prove(zip_path, sim_path, tools, env, ini_files, report, picture):
    s = run_package.Session(env, ini_files)
    found = s.wine(run_package.UNINSTALL_SECTION)  # makes the prefix when there is none
    s.unpack(zip_path)
    found += s.wine(run_package.INSTALL_VERB.replace("%1", run_package.INF_PATH))
    if found:
        report("the package installed", found)
        return
    sim = sim_accesses(sim_path, ini_files, RATE)

    endings = [
        ("the countdown runs out", ["sleep %d" % (COUNTDOWN_MS + 3000)], True, STORED),
        ("Keep", ["click %s|&Keep" % QUESTION], False, RATE),
        ("Go back", ["click %s|&Go back" % QUESTION], True, STORED),
        ("Enter (Go back is the default button)", ["key %s %d" % (QUESTION, ENTER)], True, STORED),
        ("Esc", ["key %s %d" % (QUESTION, ESC)], True, STORED),
        ("the question's window closed", ["close " + QUESTION], True, STORED),
        ("the end of the Windows session", ["end-session " + TITLE, "close " + QUESTION], True, STORED),
        ("a mode change", ["mode 800x600"], False, STORED),
        ("a resume from standby", ["power 8"], False, STORED),
    ]
    for name, ending, written_back, stored in endings:
        lines = trial_steps(ending)
        if picture and name == "Keep":
            lines.insert(lines.index("texts " + TITLE) + 1, "snap %s %s\\chooser.bmp" % (TITLE, run_package.WATCH))
        keep = ["chooser.bmp"] if picture and name == "Keep" else []
        log, results, found = s.steps(tools, lines, outs=["choose.json"], row=ROW, keep=keep)
        found += check_trial(log, results.get("choose.json"), sim, written_back, stored)
        if keep and not found:
            png_of_bmp(os.path.join(s.kept, "chooser.bmp"), picture)
        texts = log and log["texts"][-1]["texts"]
        report("a trial of %s Hz ended by %s: %s" % (
            RATE, name, "every register and the window as before, RefreshRate unchanged" if written_back and stored == STORED
            else "RefreshRate \"%s\", the utility's registers" % stored if stored == RATE
            else "nothing written back, nothing stored"), found, lambda: "; the window then says: %s" % (texts[-2] if texts else ""))

    # Machines where the utility would not act.
    cases = [("the skip bit set", ROW._replace(crtc75=0x20), "asks to be left alone"),
             ("32-bit colour", ROW._replace(screen="1024x768x24"), "32-bit colour"),
             ("no driver line", ROW._replace(ini="nodriver"), "does not name"),
             ("no mapping driver", ROW._replace(driver="missing"), "PHYSWIN.VXD")]
    for name, row, why in cases:
        lines = [chooser_start("choose.json", row), "wait-title 60000 " + TITLE, "sleep 1500", "texts " + TITLE,
                 "click %s|&Try" % TITLE, "sleep 1000", "wait-no-title 1 " + QUESTION, "read-rate",
                 "close " + TITLE, "wait-exit 60000"]
        log, results, found = s.steps(tools, lines, outs=["choose.json"], row=row)
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
        report("%s: no rate can be tried, the window says why, no register is written" % name, found)

    # The way back, typed blind.
    log, _, found = s.steps(tools, ["run 60000 %s /FORGET" % CHOOSER, "read-rate"], row=ROW)
    if log and not (log["run"][0].get("exitCode") == 0 and log["read-rate"][0].get("value") is None):
        found.append("after LUMSET /FORGET: %s, %s" % (log["run"][0], log["read-rate"][0]))
    report("LUMSET /FORGET deletes RefreshRate", found)

    found = s.wine(run_package.UNINSTALL_COMMAND)
    if os.path.exists(run_package.host_path(s.windows, "lumset.exe")):
        found.append("LUMSET.EXE is still in the Windows folder")
    found += run_package.start_menu_findings(s.windows, "removal")
    report("removed: LUMSET.EXE gone at once, its Start menu entry named for removal", found)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--counts", metavar="FILE")
    parser.add_argument("--picture", metavar="FILE.png", help="keep the chooser's window as a picture there")
    parser.add_argument("host_dir", metavar="HOST_BUILD_DIR")
    parser.add_argument("windows_dir", metavar="WINDOWS_BUILD_DIR")
    args = parser.parse_args(argv[1:])
    sim_path = os.path.join(args.host_dir, "tools", "refresh-sim")
    tools = os.path.join(args.windows_dir, "tests", "wine")
    zip_path = os.path.join(args.windows_dir, run_package.ZIP_NAME)
    with wine_session.wine_session(tools, "chooser proof", args.counts) as (env, run_dir, tally):
        report = wine_session.step_reporter(tally, "choose")
        ini_files = run_cases.write_system_inis(run_dir)
        prove(zip_path, sim_path, tools, env, ini_files, report, args.picture and os.path.abspath(args.picture))
    return 1 if tally.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
