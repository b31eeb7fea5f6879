#!/usr/bin/env python3
"""Runs the shipped refresh.exe and the diagnostic refcheck.exe under Wine, case by case, and
compares each run with refresh-sim (cases_proof.py: the case table, the diagnostic's runs with an
argument, the rule for its accesses, a trial and its undoing, run_case.sh's registry value).

    run_cases.py [--counts FILE] [--workers N] HOST_BUILD_DIR WINDOWS_BUILD_DIR [NAME ...]

A NAME is a machine of the case table (both programs run on it), one of the runs (refcheck-help,
refcheck-rule, window-trial, refresh-value, ...), or nothing for all. The runs go side by side in
prefixes of their own (wine_pool.py), one line each, then "wine cases: N passed, M failed" (also
written to --counts FILE as "N M"); exits 1 on any failure.
"""

import sys

import cases_proof
import wine_pool

if __name__ == "__main__":
    sys.exit(wine_pool.main(sys.argv, __doc__, lambda b, args: [cases_proof.proof(b)]))
