#!/usr/bin/env python3
"""Proves the installed watcher LUMWATCH.EXE under Wine, as Windows 98 (watch_proof.py): its start
run, a new rate, mode changes, resumes, a suspend query, a second watcher, the end of the session,
runs that wait on their box, two watchers at once, and the removal.

    run_watch.py [--counts FILE] [--workers N] HOST_BUILD_DIR WINDOWS_BUILD_DIR [NAME ...]

NAME: watch-reinstalled, watch-session, watch-slow-runs, watch-two-watchers or watch-removed (all
when none), each a job of its own from the package installed. Prints one line per check and
"watcher proof: N passed, M failed" (also written to --counts FILE as "N M"); exits 1 on any
failure.
"""

import sys

import wine_pool
import watch_proof

if __name__ == "__main__":
    sys.exit(wine_pool.main(sys.argv, __doc__, lambda b, args: [watch_proof.proof(b)]))
