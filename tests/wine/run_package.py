#!/usr/bin/env python3
"""Proves the release zip LUMRATE.ZIP under Wine, as Windows 98 (package_proof.py): unpacked as a
user would, installed by Explorer's Install verb, the program started where it was installed,
removed by the command of its Uninstall entry, and the watcher's file at the next start of Windows.

    run_package.py [--counts FILE] [--workers N] HOST_BUILD_DIR WINDOWS_BUILD_DIR [NAME ...]

NAME: package-zip or package (both when none). Prints one line per check and "package proof: N
passed, M failed" (also written to --counts FILE as "N M"); exits 1 on any failure.
"""

import sys

import package_proof
import wine_pool

if __name__ == "__main__":
    sys.exit(wine_pool.main(sys.argv, __doc__, lambda b, args: [package_proof.proof(b)]))
