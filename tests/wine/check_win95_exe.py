#!/usr/bin/env python3
"""Checks that refresh.exe, as built, loads and runs on the first Windows 95 release on a 486 or
Pentium, costs little to load, and carries the resources the program is shipped with; with
--console and --no-resources, the same of the diagnostic refcheck.exe.

    check_win95_exe.py [--console] [--no-resources] [--max-bytes N] [--max-out N] [--imports LIST] FILE.exe
    check_win95_exe.py --refuse-altered [--imports LIST] FILE.exe

- PE32 image for i386, GUI subsystem (with --console: the console subsystem of a program for an
  MS-DOS Prompt window), operating-system and subsystem version 4.0, based at 0x00400000
  (Windows 95 cannot move an exe that has no relocations).
- An ordinary layout: file alignment 512, section alignment 4096; sections one after the other,
  in the file (each one's data right after the previous one's) and in memory (ascending, no
  overlap); no section both executable and writable; no TLS, load-configuration, bound-import or
  delay-import directory.
- Imports only from KERNEL32, USER32, GDI32 and ADVAPI32, which every Windows 95 GUI process has
  loaded anyway (no C runtime DLL), by name, each name on LIST (default: win95_imports.txt beside
  this script); the import tables in a section that is writable and not executable.
- No static constructors or destructors: the program's own entry point runs none. The linker
  script puts the constructor and destructor lists right after the code, each -1 and 0 with
  nothing in between; what follows them in the section is read-only data.
- Every instruction of the code is one a 486 or Pentium executes (an allow-list of mnemonics,
  checked on i686-w64-mingw32-objdump's disassembly): no CMOV, FCOMI, long NOP, MMX, SSE, ...
- Resources, all in language 1028: string 1 "Simple" and 2 "Simple Example Application"; menu
  SIMPLE with "&File" holding "E&xit" (1000); accelerators SIMPLE, Ctrl+Q -> 1000; the version
  block; no icon, nothing else.
  With --no-resources: no resource directory at all. With --dialogs ID,...: those dialog templates
  alone, in US English, and no icon.
- At most --max-bytes bytes (default 8192).
- With --max-out N, at most N port write instructions (out, outs) in the code: the diagnostic makes
  only the index writes its register reads need, all through one instruction.

Prints the size, the sections and the imports, then one line per finding; exits 1 if there is any.

With --refuse-altered, FILE.exe must pass, and copies of it altered in the ways the checks are there
for (code writable, import tables executable, file alignment, a TLS directory, data after the last
section, sections out of place, a C runtime DLL, an import by ordinal, one byte over the size)
must each be refused with the finding meant for it; exits 1 if one gets through.
"""

import argparse
import os
import re
import struct
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
from pe_image import (  # noqa: E402
    DIR_BOUND_IMPORT, DIR_DELAY_IMPORT, DIR_IMPORT, DIR_LOAD_CONFIG, DIR_RESOURCE, DIR_TLS, RT_ACCELERATOR,
    RT_DIALOG, RT_GROUP_ICON, RT_ICON, RT_MENU, RT_STRING, RT_VERSION, SCN_EXECUTE, SCN_READ, SCN_WRITE, Image,
    accelerators, import_descriptors, imports, menu, resources, string_block, version_node)
from i486_instructions import PREFIXES, mnemonic_allowed  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
OBJDUMP = os.environ.get("OBJDUMP", "i686-w64-mingw32-objdump")

ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll"}
FILE_ALIGNMENT, SECTION_ALIGNMENT = 512, 4096
LANG_ZH_TW = 1028
LANG_EN_US = 1033


def read_import_list(path):
    allowed = set()
    with open(path) as f:
        for line in f:
            line = line.split("#", 1)[0].split()
            if line:
                dll, name = line
                allowed.add((dll.lower(), name))
    return allowed


# --- static constructors and code ---------------------------------------------------------------
def constructor_lists(image, text):
    """The constructor and destructor lists right after the code in .text: each -1, its entries
    (addresses in the image), 0. Returns the RVA where they start and the number of entries, or
    None when .text holds no such pair of lists."""
    _, rva, vsize, raw_at, _, _ = text
    words = struct.unpack_from("<%dI" % (vsize // 4), image.data, raw_at)

    def one_list(at):  # the index after the list that starts at `at`, and its entries
        if at >= len(words) or words[at] != 0xFFFFFFFF:
            return None, 0
        at += 1
        entries = 0
        while at < len(words) and image.image_base <= words[at] < image.image_base + image.image_size:
            at += 1
            entries += 1
        if at >= len(words) or words[at] != 0:
            return None, 0
        return at + 1, entries

    for start in range(len(words)):
        after_ctors, ctors = one_list(start)
        if after_ctors is None:
            continue
        after_dtors, dtors = one_list(after_ctors)
        if after_dtors is not None:
            return rva + 4 * start, ctors + dtors
    return None


# Port writes, as objdump spells them.
PORT_WRITES = {"out", "outb", "outw", "outl", "outs", "outsb", "outsw", "outsl"}


def instruction_findings(path, image, max_out=None):
    """Findings on the code, and how many instructions were checked. With max_out, more port
    writes than that are a finding: a program that may only select registers to read them."""
    findings, checked, port_writes = [], 0, []
    for section in image.sections:
        name, rva, vsize, _, _, flags = section
        if not flags & SCN_EXECUTE:
            continue
        args = [OBJDUMP, "-d", "--no-show-raw-insn", "-j", name]
        if name == ".text":
            lists = constructor_lists(image, section)
            if lists is None:
                findings.append(".text holds no constructor and destructor lists after the code")
            else:
                stop, entries = lists
                if entries:
                    findings.append("%d static constructors or destructors, which the entry point never runs"
                                    % entries)
                args.append("--stop-address=0x%x" % (image.image_base + stop))
        out = subprocess.run(args + [path], capture_output=True, text=True, check=True).stdout
        newer = []
        for line in out.splitlines():
            m = re.match(r"\s*([0-9a-f]+):\t(.*)", line)
            if not m:
                continue
            words = m.group(2).split()
            while words and words[0] in PREFIXES:
                words = words[1:]
            if not words:
                continue
            checked += 1
            if words[0] in PORT_WRITES:
                port_writes.append("    %s: %s" % (m.group(1), " ".join(words)))
            if not mnemonic_allowed(words[0], words[1:]):
                newer.append("    %s: %s" % (m.group(1), " ".join(words)))
        if newer:
            findings.append("%d instructions a 486 or Pentium does not have:\n%s"
                            % (len(newer), "\n".join(newer[:20])))
    if max_out is not None and len(port_writes) > max_out:
        findings.append("%d port write instructions, at most %d:\n%s"
                        % (len(port_writes), max_out, "\n".join(port_writes[:20])))
    return findings, checked


# --- resources ------------------------------------------------------------------------------------
VERSION_STRINGS = [
    ("CompanyName", None),  # the maker's own text
    ("FileDescription", "Setup Application"),
    ("FileVersion", "Version 1.0"),
    ("InternalName", "Setup"),
    ("OriginalFilename", ""),
    ("ProductName", "Setup"),
    ("ProductVersion", "Version 1.0"),
]


def version_findings(data):
    findings = []
    key, fixed, children, _ = version_node(data, 0)
    if key != "VS_VERSION_INFO" or len(fixed) != 52:
        return ["version block: no VS_VERSION_INFO with a fixed part"]
    (signature, _, file_ms, file_ls, product_ms, product_ls, mask, flags, os_, ftype,
     subtype) = struct.unpack_from("<11I", fixed)
    want = [("signature", signature, 0xFEEF04BD), ("file version", (file_ms, file_ls), (0x40000, 0)),
            ("product version", (product_ms, product_ls), (0x40000, 0)), ("flags mask", mask, 0x3F),
            ("flags", flags, 0xA), ("OS", os_, 0x10001), ("type", ftype, 1), ("subtype", subtype, 0)]
    for what, got, expected in want:
        if got != expected:
            findings.append("version block: %s is %r, want %r" % (what, got, expected))
    blocks = {c[0]: c for c in children}
    tables = blocks.get("StringFileInfo", (None, None, [], 0))[2]
    if [t[0] for t in tables] != ["040904E4", "041104E4"]:
        findings.append("version block: string blocks %r, want 040904E4 and 041104E4"
                        % [t[0] for t in tables])
    for table in tables:
        got = [(s[0], s[1]) for s in table[2]]
        if [k for k, _ in got] != [k for k, _ in VERSION_STRINGS]:
            findings.append("version block %s: keys %r" % (table[0], [k for k, _ in got]))
            continue
        for (k, value), (_, expected) in zip(got, VERSION_STRINGS):
            if expected is not None and value != expected:
                findings.append("version block %s: %s is %r, want %r" % (table[0], k, value, expected))
            if expected is None and not value:
                findings.append("version block %s: %s is empty" % (table[0], k))
    translations = [c for c in blocks.get("VarFileInfo", (None, None, [], 0))[2] if c[0] == "Translation"]
    want_translation = struct.pack("<4H", 0x0409, 1252, 0x0411, 1252)
    if len(translations) != 1 or translations[0][1] != want_translation:
        findings.append("version block: translations %r, want 0x0409/1252 and 0x0411/1252"
                        % [t[1].hex() for t in translations])
    return findings


def resource_findings(image):
    try:
        found = resources(image)
    except (ValueError, struct.error, UnicodeDecodeError) as e:
        return ["resources unreadable: %s" % e]
    expected = {(RT_STRING, 1), (RT_MENU, "SIMPLE"), (RT_ACCELERATOR, "SIMPLE"), (RT_VERSION, 1)}
    findings = []
    for rtype, name in sorted(set(found) - expected, key=str):
        what = "an icon" if rtype in (RT_ICON, RT_GROUP_ICON) else "an unexpected resource"
        findings.append("resources: %s, type %r name %r" % (what, rtype, name))
    for key in sorted(expected - set(found), key=str):
        findings.append("resources: missing type %r name %r" % key)
    for key, langs in found.items():
        if set(langs) != {LANG_ZH_TW}:
            findings.append("resources: type %r name %r in languages %r, want only %d"
                            % (key[0], key[1], sorted(langs), LANG_ZH_TW))

    def data(key):
        return found.get(key, {}).get(LANG_ZH_TW)

    checks = [
        ((RT_STRING, 1), "strings", string_block,
         ["", "Simple", "Simple Example Application"] + [""] * 13),
        ((RT_MENU, "SIMPLE"), "menu", menu, [(0, "&File", [(0, "E&xit", 1000)])]),
        # FVIRTKEY | FCONTROL, virtual key Q
        ((RT_ACCELERATOR, "SIMPLE"), "accelerators", accelerators, [(0x01 | 0x08, ord("Q"), 1000)]),
    ]
    for key, what, parse, want in checks:
        raw = data(key)
        if raw is None:
            continue
        try:
            got = parse(raw)
        except (ValueError, struct.error, UnicodeDecodeError) as e:
            findings.append("resources: %s unreadable: %s" % (what, e))
            continue
        if got != want:
            findings.append("resources: %s are %r, want %r" % (what, got, want))
    if data((RT_VERSION, 1)) is not None:
        try:
            findings += version_findings(data((RT_VERSION, 1)))
        except (ValueError, struct.error, UnicodeDecodeError) as e:
            findings.append("resources: version block unreadable: %s" % e)
    return findings


def dialog_findings(image, ids):
    """The resources are the dialog templates ids, each in US English, and nothing else."""
    try:
        found = resources(image)
    except (ValueError, struct.error, UnicodeDecodeError) as e:
        return ["resources unreadable: %s" % e]
    expected = {(RT_DIALOG, i) for i in ids}
    findings = ["resources: %s, type %r name %r" % ("an icon" if k[0] in (RT_ICON, RT_GROUP_ICON)
                                                   else "an unexpected resource", k[0], k[1])
                for k in sorted(set(found) - expected, key=str)]
    findings += ["resources: missing dialog %r" % k[1] for k in sorted(expected - set(found), key=str)]
    findings += ["resources: dialog %r in languages %r, want only %d" % (k[1], sorted(langs), LANG_EN_US)
                 for k, langs in found.items() if k in expected and set(langs) != {LANG_EN_US}]
    return findings


# --- the checks -----------------------------------------------------------------------------------
def align(value, to):
    return (value + to - 1) // to * to


def protection(flags):
    return "".join(c if flags & bit else "-" for c, bit in (("r", SCN_READ), ("w", SCN_WRITE),
                                                             ("x", SCN_EXECUTE)))


def layout_findings(image, size):
    """File and section alignment, sections one after the other, protections, directories."""
    findings = []
    for what, got, want in (("file alignment", image.file_alignment, FILE_ALIGNMENT),
                            ("section alignment", image.section_alignment, SECTION_ALIGNMENT)):
        if got != want:
            findings.append("%s is %d, want %d" % (what, got, want))
    raw_end, virtual_end = image.headers_size, align(image.headers_size, SECTION_ALIGNMENT)
    for name, rva, vsize, raw_at, raw_size, flags in image.sections:
        if raw_size:
            if raw_at != raw_end:
                findings.append("section %s: its data is at file offset 0x%X, not right after what "
                                "comes before it (0x%X)" % (name, raw_at, raw_end))
            raw_end = max(raw_end, raw_at + raw_size)
        if rva != align(rva, SECTION_ALIGNMENT) or rva < virtual_end:
            findings.append("section %s: at RVA 0x%X, not after what comes before it (up to 0x%X)"
                            % (name, rva, virtual_end))
        virtual_end = max(virtual_end, rva + align(max(vsize, raw_size), SECTION_ALIGNMENT))
        if flags & SCN_EXECUTE and flags & SCN_WRITE:
            findings.append("section %s is both executable and writable" % name)
    if size != raw_end:
        findings.append("the file ends at 0x%X, the last section's data at 0x%X" % (size, raw_end))
    if image.image_size != virtual_end:
        findings.append("image size is 0x%X, the sections end at 0x%X" % (image.image_size, virtual_end))
    for what, index in (("a TLS", DIR_TLS), ("a load-configuration", DIR_LOAD_CONFIG),
                        ("a bound-import", DIR_BOUND_IMPORT), ("a delay-import", DIR_DELAY_IMPORT)):
        if image.directory(index) != (0, 0):
            findings.append("has %s directory" % what)

    # The loader reads the import directory and fills in the address tables.
    try:
        descriptors = import_descriptors(image)
    except (ValueError, struct.error):
        descriptors = []  # unreadable import tables are a finding of their own
    tables = [("import directory", image.directory(DIR_IMPORT)[0], False)]
    tables += [("address table of %s" % dll, thunks, True) for dll, _, thunks in descriptors]
    for what, rva, written in tables:
        section = image.section_at(rva) if rva else None
        if section is None:
            findings.append("%s is in no section" % what)
        elif section[5] & SCN_EXECUTE:
            findings.append("%s is inside the executable section %s" % (what, section[0]))
        elif written and not section[5] & SCN_WRITE:
            findings.append("%s is in the read-only section %s" % (what, section[0]))
    return findings


def describe(path, image, size, max_bytes, names, instructions):
    name = os.path.basename(path)
    print("check_win95_exe: %s: %d bytes (at most %d), %d imports, %d instructions"
          % (name, size, max_bytes, len(names), instructions))
    print("check_win95_exe: %s:   headers  %5d bytes in the file" % (name, image.headers_size))
    for section, rva, vsize, _, raw_size, flags in image.sections:
        print("check_win95_exe: %s:   %-8s %5d bytes in the file, %6d in memory at 0x%05X, %s"
              % (name, section, raw_size, vsize, rva, protection(flags)))
    for dll in sorted({dll for dll, _ in names}, key=str.lower):
        print("check_win95_exe: %s:   %s: %s" % (name, dll, " ".join(
            sorted(n if n is not None else "(ordinal)" for d, n in names if d == dll))))


def check(path, max_bytes, import_list, quiet=False, console=False, no_resources=False, max_out=None,
          dialogs=None):
    with open(path, "rb") as f:
        raw = f.read()
    try:
        image = Image(raw)
    except (ValueError, struct.error) as e:
        return ["not a PE image: %s" % e], 0
    findings = []
    headers = [("machine", image.machine, 0x14C), ("subsystem", image.subsystem, 3 if console else 2),
               ("OS version", (image.os_major, image.os_minor), (4, 0)),
               ("subsystem version", (image.subsys_major, image.subsys_minor), (4, 0)),
               ("image base", image.image_base, 0x400000)]
    for what, got, want in headers:
        if got != want:
            findings.append("%s is %r, want %r" % (what, got, want))

    allowed = read_import_list(import_list)
    try:
        names = imports(image)
    except (ValueError, struct.error) as e:
        names = []
        findings.append("import tables unreadable: %s" % e)
    for dll in sorted({dll for dll, _ in names}):
        if dll.lower() not in ALLOWED_DLLS:
            findings.append("imports from %s" % dll)
    for dll, name in names:
        if name is None:
            findings.append("imports by ordinal from %s" % dll)
        elif dll.lower() in ALLOWED_DLLS and (dll.lower(), name) not in allowed:
            findings.append("imports %s from %s, which is not on %s"
                            % (name, dll, os.path.basename(import_list)))
    findings += layout_findings(image, len(raw))

    code_findings, instructions = instruction_findings(path, image, max_out)
    findings += code_findings
    if dialogs:
        findings += dialog_findings(image, dialogs)
    elif not no_resources:
        findings += resource_findings(image)
    elif image.directory(DIR_RESOURCE) != (0, 0):
        findings.append("has a resource directory")
    if len(raw) > max_bytes:
        findings.append("%d bytes, more than %d" % (len(raw), max_bytes))
    if not quiet:
        describe(path, image, len(raw), max_bytes, names, instructions)
    return findings, len(raw)


# --- the checks, checked ----------------------------------------------------------------------------
def alterations(image):
    """(what, altered bytes, max bytes or None, the finding that must follow) for a good image."""
    data = image.data
    sections = {s[0]: (s, at) for s, at in zip(image.sections, image.section_headers)}
    opt = image.optional_at

    def patch(at, fmt, *values):
        out = bytearray(data)
        struct.pack_into(fmt, out, at, *values)
        return bytes(out)

    def flags(name, more):
        section, at = sections[name]
        return patch(at + 36, "<I", section[5] | more)

    _, lookup, thunks = import_descriptors(image)[0]
    first_lookup = lookup or thunks  # without lookup tables, the names are in the address table
    idata_rva = sections[".idata"][0][1]
    rsrc, rsrc_at = sections[".rsrc"]
    return [
        ("code writable", flags(".text", SCN_WRITE), None, "is both executable and writable"),
        ("import tables executable", flags(".idata", SCN_EXECUTE), None,
         "import directory is inside the executable section"),
        ("file alignment 4096", patch(opt + 36, "<I", 4096), None, "file alignment is 4096"),
        ("a TLS directory", patch(opt + 96 + 8 * DIR_TLS, "<II", idata_rva, 24), None,
         "has a TLS directory"),
        ("a byte after the last section", data + b"\0", None, "the last section's data at"),
        (".rsrc data moved", patch(rsrc_at + 20, "<I", rsrc[3] + FILE_ALIGNMENT), None,
         "section .rsrc: its data is at file offset"),
        (".idata over .bss", patch(sections[".idata"][1] + 12, "<I", sections[".bss"][0][1]), None,
         "section .idata: at RVA"),
        ("a C runtime DLL", data.replace(b"USER32.dll\0", b"MSVCRT.dll\0"), None,
         "imports from MSVCRT.dll"),
        ("an import by ordinal", patch(image.offset(first_lookup), "<I", 0x80000001), None,
         "imports by ordinal"),
        ("one byte too many", data, len(data) - 1, "more than %d" % (len(data) - 1)),
    ]


def refuses_altered(path, import_list):
    """Alters the good executable at `path` in each way the checks are there for; every copy must
    be refused with the finding meant for it. Prints and returns the alterations that got through."""
    with open(path, "rb") as f:
        image = Image(f.read())
    findings, _ = check(path, len(image.data), import_list, quiet=True)
    for text in findings:
        print("check_win95_exe: %s: %s" % (os.path.basename(path), text))
    if findings:
        return ["the unaltered file"]
    missed = []
    with tempfile.TemporaryDirectory() as folder:
        altered = os.path.join(folder, os.path.basename(path))
        for what, data, max_bytes, expected in alterations(image):
            with open(altered, "wb") as f:
                f.write(data)
            findings, _ = check(altered, max_bytes or len(image.data), import_list, quiet=True)
            if not any(expected in text for text in findings):
                missed.append(what)
                print("check_win95_exe: %s altered (%s) was not refused with \"%s\": %r"
                      % (os.path.basename(path), what, expected, findings))
    return missed


def main(argv):
    parser = argparse.ArgumentParser(prog="check_win95_exe.py", description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("exe", metavar="FILE.exe")
    parser.add_argument("--console", action="store_true", help="console subsystem, not GUI")
    parser.add_argument("--no-resources", action="store_true", help="no resource directory at all")
    parser.add_argument("--dialogs", type=lambda t: [int(i, 0) for i in t.split(",")], metavar="ID,...",
                        help="resources: these dialogs alone, in US English")
    parser.add_argument("--max-bytes", type=lambda t: int(t, 0), default=8192, help="size limit (8192)")
    parser.add_argument("--max-out", type=lambda t: int(t, 0), help="at most this many port writes")
    parser.add_argument("--imports", default=os.path.join(HERE, "win95_imports.txt"), metavar="LIST",
                        help="functions the executable may import")
    parser.add_argument("--refuse-altered", action="store_true",
                        help="FILE.exe must pass and altered copies of it must not")
    args = parser.parse_args(argv[1:])
    if args.refuse_altered and (args.console or args.no_resources):
        parser.error("--refuse-altered checks a GUI program with resources")
    if args.refuse_altered:
        return 1 if refuses_altered(args.exe, args.imports) else 0
    findings, _ = check(args.exe, args.max_bytes, args.imports, console=args.console,
                        no_resources=args.no_resources, max_out=args.max_out, dialogs=args.dialogs)
    for text in findings:
        print("check_win95_exe: %s: %s" % (os.path.basename(args.exe), text))
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
