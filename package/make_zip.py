#!/usr/bin/env python3
"""Builds the release zip, the same bytes on every build.

    make_zip.py OUTPUT.zip NAME=FILE...

Each NAME=FILE puts FILE into the zip as NAME, in the order given. NAME, and the file name of
OUTPUT.zip, are 8.3 names in capitals: an MS-DOS program sees them as they are, not as ~1 aliases.
Text files (.TXT, .INF) are kept with LF line ends in the sources and go into the zip with CR LF;
they may hold only printable ASCII (0x20-0x7E), so that Notepad on Windows 95 and 98 shows them
alike in any code page, and a .TXT line at most 76 columns, for Notepad and EDIT at 80 columns.
Everything else is copied byte for byte. Every entry has the same date, attributes and
compression, whatever the files' own dates, so two builds from clean folders give the same zip.
"""

import argparse
import os
import re
import sys
import zipfile

TEXT_SUFFIXES = (".TXT", ".INF")
TEXT_WIDTH = {".TXT": 76}
# The zip format's earliest date: no date of the build machine leaks into the package.
ENTRY_DATE = (1980, 1, 1, 0, 0, 0)
MSDOS = 0
FILE_ATTRIBUTE_ARCHIVE = 0x20
SHORT_NAME = re.compile(r"^[A-Z0-9_-]{1,8}(\.[A-Z0-9_-]{1,3})?$")


def text_bytes(name, path, data):
    """The text with CR LF line ends, or a list of what is wrong with it."""
    problems = []
    suffix = os.path.splitext(name)[1]
    width = TEXT_WIDTH.get(suffix)
    lines = data.split(b"\n")
    if lines[-1] != b"":
        problems.append("%s: the last line has no line end" % path)
    for number, line in enumerate(lines[:-1], 1):
        bad = [b for b in line if not 0x20 <= b <= 0x7E]
        if bad:
            problems.append("%s:%d: byte 0x%02X is not printable ASCII" % (path, number, bad[0]))
        if width and len(line) > width:
            problems.append("%s:%d: %d columns, at most %d" % (path, number, len(line), width))
    return b"\r\n".join(lines[:-1]) + b"\r\n", problems


def name_and_file(text):
    """NAME=FILE as (NAME, FILE)."""
    name, equals, path = text.partition("=")
    if not equals or not name or not path:
        raise argparse.ArgumentTypeError("%r is not NAME=FILE" % text)
    return name, path


def main(argv):
    parser = argparse.ArgumentParser(prog="make_zip.py", description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog=__doc__.split("\n\n", 2)[2])
    parser.add_argument("output", metavar="OUTPUT.zip")
    parser.add_argument("entries", metavar="NAME=FILE", nargs="+", type=name_and_file,
                        help="FILE goes into the zip as NAME, in the order given")
    args = parser.parse_args(argv[1:])
    output, entries = args.output, args.entries
    contents, problems = [], []
    if not SHORT_NAME.match(os.path.basename(output)):
        problems.append("%s: not an 8.3 name in capitals" % os.path.basename(output))
    for name, path in entries:
        if not SHORT_NAME.match(name):
            problems.append("%s: not an 8.3 name in capitals" % name)
        if name in (n for n, _ in contents):
            problems.append("%s: twice in the package" % name)
        with open(path, "rb") as f:
            data = f.read()
        if name.endswith(TEXT_SUFFIXES):
            data, wrong = text_bytes(name, path, data)
            problems += wrong
        contents.append((name, data))
    if problems:
        sys.stderr.write("".join("make_zip: %s\n" % p for p in problems))
        return 1

    partial = output + ".partial"
    with zipfile.ZipFile(partial, "w") as z:
        for name, data in contents:
            entry = zipfile.ZipInfo(name, ENTRY_DATE)
            entry.create_system = MSDOS
            entry.external_attr = FILE_ATTRIBUTE_ARCHIVE
            entry.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(entry, data, compresslevel=9)
    os.replace(partial, output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
