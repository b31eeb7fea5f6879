#!/usr/bin/env python3
"""Proves the installed rate chooser LUMSET.EXE under Wine, as Windows 98 (choose_proof.py): trials
of a rate ended in every way, machines where no rate can be tried, LUMSET /FORGET, the removal.

    run_choose.py [--counts FILE] [--workers N] [--picture FILE.png] HOST_BUILD_DIR WINDOWS_BUILD_DIR
                  [NAME ...]

NAME: a job, choose-keep, choose-countdown, choose-skip-bit, ... (all when none). With --picture,
the chooser's window as the screen shows it in the Keep trial is kept as a PNG file. Prints one
line per check and "chooser proof: N passed, M failed" (also written to --counts FILE as "N M");
exits 1 on any failure.
"""

import os
import sys

import choose_proof
import wine_pool


def picture_option(parser):
    parser.add_argument("--picture", metavar="FILE.png", help="keep the chooser's window as a picture there")


if __name__ == "__main__":
    sys.exit(wine_pool.main(sys.argv, __doc__, lambda b, args: [choose_proof.proof(
        b, args.picture and os.path.abspath(args.picture))], picture_option))
