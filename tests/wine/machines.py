"""The machines of the Wine proofs: the case table, the system.ini texts, one machine as run_case.sh
options and as refresh-sim options, the registers at values no table holds
(tests/fixtures/registers_unlike_every_table.txt) as the debugger's presets, and a monitor with its
limits in the registry (with README.md's line frequency of a table timing, to judge against them)."""

import collections
import json
import os

from wine_session import run

HERE = os.path.dirname(os.path.abspath(__file__))
UNLIKE_EVERY_TABLE = os.path.join(HERE, "..", "fixtures", "registers_unlike_every_table.txt")
NAMES_H = os.path.join(HERE, "..", "..", "common", "names.h")
README = os.path.join(HERE, "..", "..", "README.md")


def product_name(macro):
    """A name the programs share, as common/names.h defines it (#define MACRO "text")."""
    with open(NAMES_H) as f:
        for line in f:
            words = line.split(None, 2)
            if words[:2] == ["#define", macro] and len(words) == 3:
                return json.loads(words[2])
    raise KeyError("%s is not defined in common/names.h" % macro)


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


def case(name):
    return next(c for c in CASES if c.name == name)


def depth_of(bpp):
    """The X depth whose bits per pixel Wine reports as bpp (WINE_BPP, the other way)."""
    return next(d for d, b in sorted(WINE_BPP.items()) if b == bpp)


def write_system_inis(folder):
    """The system.ini texts as files in folder: {key of SYSTEM_INI: path}."""
    ini_files = {}
    for key, text in SYSTEM_INI.items():
        ini_files[key] = os.path.join(folder, "system-%s.ini" % key)
        with open(ini_files[key], "w", newline="") as f:
            f.write(text)
    return ini_files


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


def simulate(sim_path, sim_args):
    """(what went wrong, refresh-sim's JSON result or None) for refresh-sim's options."""
    status, out, err = run([sim_path] + list(sim_args))
    if status != 0:
        return ["refresh-sim failed (%d): %s" % (status, err.strip())], None
    return [], json.loads(out)


def unlike_every_table(path=UNLIKE_EVERY_TABLE):
    """The registers of the fixture as [(KIND[:INDEX], value)] in its order: every register the
    programming sequence writes, both index registers and the window's bytes, each at a value no
    table holds."""
    registers = []
    with open(path) as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            name, _, value = line.partition("=")
            if not name or not value:
                raise ValueError("%s:%d: not KIND[:INDEX]=VALUE: %r" % (path, number, line))
            registers.append((name.strip(), int(value, 0)))
    return registers


def presets(registers):
    """The debugger's --set options for [(KIND[:INDEX], value)]; of a register named twice, the
    later value holds, as the debugger applies them in order."""
    return [word for name, value in registers for word in ("--set", "%s=0x%02x" % (name, value))]


def window_bytes(registers):
    """The register window's bytes w+0 .. w+3 among the registers."""
    values = dict(registers)
    return [values["window:%d" % k] for k in range(4)]


# A monitor as Windows 95/98 keep it, where facts/monitor.cpp looks: its devnode listed under
# HKEY_DYN_DATA\Config Manager\Enum beside a keyboard's, its key below HKEY_LOCAL_MACHINE\Enum
# naming its class key, where its setup information wrote MaxResolution and one MODES key, at its
# largest screen, whose Mode1 holds at every smaller one. MaxResolution is that largest screen, so
# that a timing beyond it is beyond by its line frequency or rate alone.
MONITOR_KHZ = (30.0, 64.0)
MONITOR_HZ = (50, 100)
MONITOR_LARGEST = (1280, 1024)
MONITOR_KEY = "MONITOR\\DEFAULT_MONITOR\\0001"
MONITOR_CLASS = "Monitor\\0000"


def monitor_reg():
    """The monitor as a REGEDIT4 file, for regedit /S."""
    largest = "%d,%d" % MONITOR_LARGEST
    mode1 = "%.1f-%.1f,%.1f-%.1f,+,+" % (MONITOR_KHZ + MONITOR_HZ)
    keys = [("HKEY_DYN_DATA\\Config Manager\\Enum\\C29A3F10", {"HardWareKey": "ROOT\\*PNP0303\\0000"}),
            ("HKEY_DYN_DATA\\Config Manager\\Enum\\C29A5000", {"HardWareKey": MONITOR_KEY}),
            ("HKEY_LOCAL_MACHINE\\Enum\\" + MONITOR_KEY, {"Driver": MONITOR_CLASS, "DeviceDesc": "Monitor"}),
            ("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\" + MONITOR_CLASS,
             {"DriverDesc": "Monitor", "MaxResolution": largest}),
            ("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\%s\\MODES\\%s"
             % (MONITOR_CLASS, largest), {"Mode1": mode1})]
    text = "REGEDIT4\r\n"
    for key, values in keys:
        text += "\r\n[%s]\r\n" % key
        # In a quoted REGEDIT4 string a backslash is written twice.
        text += "".join('"%s"="%s"\r\n' % (name, value.replace("\\", "\\\\")) for name, value in values.items())
    return text.encode("ascii")


def beyond_monitor(khz, hz):
    """Whether a timing of that line frequency and rate is outside the monitor's ranges."""
    return not (MONITOR_KHZ[0] <= khz <= MONITOR_KHZ[1] and MONITOR_HZ[0] <= hz <= MONITOR_HZ[1])


def line_frequency(width, height, rate):
    """The line frequency in kHz of the tables' timing for that screen and rate, from README.md's
    table (which a host test holds to the product's own)."""
    with open(README) as f:
        for line in f:
            cells = [c.strip() for c in line.strip().strip("|").split("|")]
            if cells[:2] == ["%dx%d" % (width, height), "%s Hz" % rate] and cells[3].endswith(" kHz"):
                return float(cells[3][:-4])
    raise KeyError("README.md gives no line frequency for %dx%d at %s Hz" % (width, height, rate))
