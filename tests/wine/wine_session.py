"""The plumbing every Wine proof shares: one Wine prefix for a whole run, run_case.sh, a program run
that a signal ends cleanly, the tally of PASS and FAIL lines, and the command line of a proof
script ([--counts FILE] HOST_BUILD_DIR WINDOWS_BUILD_DIR)."""

import argparse
import contextlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
RUN_CASE = os.path.join(HERE, "run_case.sh")


def run(args, env=None):
    """(status, stdout, stderr) of a program. Stopped by a signal, it first asks the program to end,
    so that run_case.sh stops its Xvfb and Wine itself."""
    with subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env) as p:
        try:
            out, err = p.communicate()
        except BaseException:
            p.terminate()
            try:
                p.wait(timeout=20)
            except subprocess.TimeoutExpired:
                p.kill()
            raise
    return p.returncode, out, err


class Tally:
    """The tests of one run: a PASS or FAIL line each, the differences under a failing one."""

    def __init__(self):
        self.passed = self.failed = 0

    def report(self, head, found, detail=None):
        """head names the test and its time; detail() says what a passing one did."""
        if found:
            self.failed += 1
            print("FAIL " + head)
            for text in found:
                print("    " + text)
        else:
            self.passed += 1
            print("PASS " + head + ("  " + detail() if detail else ""))
        sys.stdout.flush()


@contextlib.contextmanager
def wine_session(tools, what, counts_file):
    """One Wine prefix for a whole run: in WINE_TEST_RUN_DIR when set (the caller removes it),
    otherwise in a temporary folder removed at the end; Wine and Xvfb are stopped however the run
    ends, a kill by SIGTERM included. Yields (env, run_dir, tally); afterwards prints the time and
    "N passed, M failed" (also written to counts_file as "N M")."""
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    own_run = not os.environ.get("WINE_TEST_RUN_DIR")
    run_dir = os.environ.get("WINE_TEST_RUN_DIR") or tempfile.mkdtemp(prefix="wine-run.")
    env = dict(os.environ, WINE_TEST_RUN_DIR=run_dir, WINE_TEST_BUILD=os.path.abspath(tools))
    tally = Tally()
    started = time.monotonic()
    try:
        yield env, run_dir, tally
    finally:
        subprocess.run([RUN_CASE, "--stop"], env=env)
        if own_run:
            shutil.rmtree(run_dir, ignore_errors=True)
    print("%s took %.1fs" % (what, time.monotonic() - started))
    print("%d passed, %d failed" % (tally.passed, tally.failed))
    if counts_file:
        with open(counts_file, "w") as f:
            f.write("%d %d\n" % (tally.passed, tally.failed))


def step_reporter(tally, prefix):
    """report(name, found, detail=None) for a proof whose steps follow one another: each line is
    the step's name after prefix, and the time since the line before."""
    last = [time.monotonic()]

    def report(name, found, detail=None):
        now = time.monotonic()
        took, last[0] = now - last[0], now
        tally.report("%s: %s  %.1fs" % (prefix, name, took), found, detail)

    return report


def proof_arguments(argv, doc, names=None):
    """(host build folder, windows build folder, counts file or None, the names given) of a proof
    script's command line; doc is its usage, names says what names it takes after the folders."""
    parser = argparse.ArgumentParser(description=doc.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--counts", metavar="FILE", help='write "N M" (passed, failed) there at the end')
    parser.add_argument("host_dir", metavar="HOST_BUILD_DIR")
    parser.add_argument("windows_dir", metavar="WINDOWS_BUILD_DIR")
    if names:
        parser.add_argument("more", nargs="*", metavar="NAME", help=names)
    args = parser.parse_args(argv[1:])
    return args.host_dir, args.windows_dir, args.counts, getattr(args, "more", [])
