#!/usr/bin/env python3
"""Runs every Wine proof in one pool, so that their jobs go side by side: the case table
(cases_proof.py), the package (package_proof.py), the watcher (watch_proof.py), the chooser
(choose_proof.py) and one writer on the adapter off the straight path (writers_proof.py).

    run_proofs.py [--counts FILE] [--workers N] HOST_BUILD_DIR WINDOWS_BUILD_DIR [NAME ...]

NAME: a job of any of them (all when none). Prints each proof's lines in this order, each proof's
count after them, and writes "N M" (passed, failed, all proofs) to --counts FILE; exits 1 on any
failure.
"""

import sys

import cases_proof
import choose_proof
import package_proof
import watch_proof
import wine_pool
import writers_proof


def proofs(b, _args):
    return [cases_proof.proof(b), package_proof.proof(b), watch_proof.proof(b), choose_proof.proof(b),
            writers_proof.proof(b)]


if __name__ == "__main__":
    sys.exit(wine_pool.main(sys.argv, __doc__, proofs))
