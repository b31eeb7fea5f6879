"""The plumbing every Wine proof shares: run_case.sh, a program run that a stop of the whole run
ends cleanly, and the tally of one job's PASS and FAIL lines."""

import json
import os
import subprocess
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
RUN_CASE = os.path.join(HERE, "run_case.sh")
# run_case.sh's --timeout for a run or a command of the proofs: a limit for one that hangs, never a
# wait. A few seconds are usual; sessions side by side on a busy machine slow qemu down many times.
RUN_LIMIT_MS = 120000


class Stopped(BaseException):
    """The whole run is being stopped (a signal): no job catches it, no further program starts."""


_lock = threading.Lock()
_running = set()
_stopping = threading.Event()


def run(args, env=None):
    """(status, stdout, stderr) of a program. Once stop_all() was called, raises Stopped instead of
    starting it, and after the program it ended."""
    with _lock:
        if _stopping.is_set():
            raise Stopped()
        p = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
        _running.add(p)
    try:
        out, err = p.communicate()
    finally:
        with _lock:
            _running.discard(p)
    if _stopping.is_set():
        raise Stopped()
    return p.returncode, out, err


def stop_all(grace=20):
    """Asks every program run() started to end (run_case.sh then stops its Xvfb and Wine itself),
    and kills those still there after grace seconds; run() starts none after this."""
    with _lock:
        _stopping.set()
        running = list(_running)
    for p in running:
        p.terminate()
    deadline = time.monotonic() + grace
    for p in running:
        try:
            p.wait(timeout=max(0.1, deadline - time.monotonic()))
        except subprocess.TimeoutExpired:
            p.kill()


def check_stop():
    """Raises Stopped once stop_all() was called."""
    if _stopping.is_set():
        raise Stopped()


def failure(what, status, err):
    """One line for a program that failed: its status and the last lines of its standard error."""
    return "%s failed (%d): %s" % (what, status, " | ".join(err.strip().splitlines()[-5:]))


def run_case_sh(args, env):
    """(what went wrong, the debugger's JSON result or None) of one run_case.sh run."""
    status, out, err = run([RUN_CASE, "--timeout", str(RUN_LIMIT_MS)] + list(args), env=env)
    if status != 0 or not out.strip():
        return [failure("run_case.sh", status, err)], None
    return [], json.loads(out)


class Tally:
    """The tests of one job: a PASS or FAIL line each, the differences under a failing one, kept
    until the job's turn to print comes."""

    def __init__(self):
        self.passed = self.failed = 0
        self.lines = []

    def report(self, head, found, detail=None):
        """head names the test and its time; detail() says what a passing one did."""
        if found:
            self.failed += 1
            self.lines.append("FAIL " + head)
            self.lines += ["    " + text for text in found]
        else:
            self.passed += 1
            self.lines.append("PASS " + head + ("  " + detail() if detail else ""))


def step_reporter(tally, prefix):
    """report(name, found, detail=None) for a job whose steps follow one another: each line is the
    step's name after prefix, and the time since the line before."""
    last = [time.monotonic()]

    def report(name, found, detail=None):
        now = time.monotonic()
        took, last[0] = now - last[0], now
        tally.report("%s: %s  %.1fs" % (prefix, name, took), found, detail)

    return report
