"""The Wine proofs' jobs side by side: a pool of workers, each with a run folder and a Wine prefix
of its own, takes the jobs of one or more proofs and prints each job's lines when its turn comes.

A proof is a list of jobs. A job starts from a base: a prefix made once and copied for each
worker that needs it (BOOTED: made by wineboot, nothing else; package.INSTALLED: the package
unpacked and installed), or from none (a job without Wine). A job that shares (a run of the case
table) runs in whatever its worker's prefix of that base holds and leaves the worker's Wine session
running for the next such job on the same screen (run_case.sh --keep); any other job gets a fresh
copy. Workers take the longest jobs first, and of the rest those on the screen their session shows.
Output comes in the order of the jobs, whatever order they end in: each job's lines together, each
proof's count after its last job.

On SIGINT, SIGTERM or SIGHUP every run_case.sh is told to stop (it stops its Xvfb and Wine), and
then every run folder's Wine and Xvfb are stopped and the folders removed. The same stop comes when
the run's time is up (--deadline): a job not done by then fails, so that a hang anywhere ends the
run with its lines rather than a CI job without any."""

import argparse
import collections
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import traceback

from machines import write_system_inis
from wine_session import RUN_CASE, Stopped, Tally, check_stop, run, stop_all, step_reporter

# The run's limit, far beyond its usual time (minutes), so that a session that hangs ends the run
# with every job's lines well within a CI job's time.
DEADLINE = 2400

Builds = collections.namedtuple("Builds", "host windows sim tools")


def builds(host_dir, windows_dir):
    host, windows = os.path.abspath(host_dir), os.path.abspath(windows_dir)
    return Builds(host, windows, os.path.join(host, "tools", "refresh-sim"), os.path.join(windows, "tests", "wine"))


class Base:
    """A prefix made once, from its parent's copy (or from nothing), by make(job context), which
    gives (what went wrong, facts for the jobs that start from it)."""

    def __init__(self, name, make, parent=None):
        self.name, self.make, self.parent = name, make, parent


def _boot(w):
    status, _, err = run([RUN_CASE, "--boot"], env=w.env)
    return ([] if status == 0 else ["run_case.sh --boot failed (%d): %s" % (status, err.strip())]), {}


BOOTED = Base("booted", _boot)


class Job:
    """name: its line's and the command line's name (names: more that select it); run(w) does the
    work and reports through w (a Context); base: the Base it starts from, or None; weight: about
    how long it takes, in seconds, for taking the longest first; screen: where it shares, the
    screen its session shows."""

    def __init__(self, name, run, base=BOOTED, weight=10, shares=False, screen=None, names=()):
        self.name, self.run, self.base, self.weight = name, run, base, weight
        self.shares, self.screen, self.names = shares, screen, {name} | set(names)


class Proof:
    """title: its name in the count ("wine cases"); jobs in the order their lines are printed;
    needs: the files of the builds it takes, checked before any job starts."""

    def __init__(self, title, jobs, needs=()):
        self.title, self.jobs, self.needs = title, jobs, list(needs)


class Context:
    """What a job works with: the builds, the system.ini files, its worker's run folder and the
    environment for run_case.sh there, its tally, the facts of its base."""

    def __init__(self, pool, run_dir, tally=None, facts=None):
        self.builds, self.ini_files = pool.builds, pool.ini_files
        self.run_dir = run_dir
        self.env = dict(os.environ, WINE_TEST_RUN_DIR=run_dir, WINE_TEST_BUILD=pool.builds.tools)
        self.tally = tally or Tally()
        self.facts = facts or {}

    def report(self, head, found, detail=None):
        self.tally.report(head, found, detail)

    def steps(self, prefix):
        return step_reporter(self.tally, prefix)


def _stop_session(run_dir):
    subprocess.run([RUN_CASE, "--stop"], env=dict(os.environ, WINE_TEST_RUN_DIR=run_dir))


def _copy_prefix(source_dir, run_dir):
    """The prefix of source_dir as run_dir's, Wine stopped in both."""
    _stop_session(run_dir)
    target = os.path.join(run_dir, "prefix")
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(run_dir, exist_ok=True)
    subprocess.run(["cp", "-a", os.path.join(source_dir, "prefix"), target], check=True)


class Pool:
    def __init__(self, root, builds, jobs, workers, deadline):
        self.root, self.builds, self.jobs, self.deadline = root, builds, jobs, deadline
        self.timed_out = False
        self.ini_files = write_system_inis(root)
        self.pending = list(range(len(jobs)))
        self.done = {}  # job index: (tally, seconds, start, end)
        self.bases = {}  # base name: None while it is made, else (what went wrong, facts)
        self.cond = threading.Condition()
        self.started = time.monotonic()
        self.workers = [threading.Thread(target=self._work, args=(os.path.join(root, "w%d" % (k + 1)),),
                                         daemon=True) for k in range(workers)]

    def run_dirs(self):
        return [os.path.join(self.root, n) for n in sorted(os.listdir(self.root))
                if os.path.isdir(os.path.join(self.root, n))]

    # --- taking jobs ---------------------------------------------------------------------------

    def _unmade(self, base):
        """The first base of base's line (the root first) not made yet, or None."""
        line = []
        while base is not None:
            line.insert(0, base)
            base = base.parent
        return next((b for b in line if b.name not in self.bases or self.bases[b.name] is None), None)

    def _take(self, worker):
        """(job index, base to make first or None), or None when no job is left. A job whose base is
        being made by another worker waits; of the others the longest first, then one on the screen
        the worker's session shows."""
        with self.cond:
            while self.pending:
                check_stop()
                order = sorted(self.pending, key=lambda i: (-self.jobs[i].weight,
                                                            self.jobs[i].screen != worker["screen"], i))
                for i in order:
                    unmade = self._unmade(self.jobs[i].base)
                    if unmade is None:
                        self.pending.remove(i)
                        return i, None
                    if unmade.name not in self.bases:
                        self.bases[unmade.name] = None  # this worker makes it
                        return None, unmade
                self.cond.wait(1)
            return None

    def _make_base(self, base):
        run_dir = os.path.join(self.root, base.name)
        w = Context(self, run_dir)
        try:
            if base.parent is not None:
                _copy_prefix(os.path.join(self.root, base.parent.name), run_dir)
            found = self.bases[base.parent.name][0] if base.parent is not None else []
            facts = {}
            if not found:
                found, facts = base.make(w)
            else:
                found = ["its start, %s, went wrong" % base.parent.name]
        except Stopped:
            raise
        except Exception:
            found, facts = ["making the %s prefix: %s" % (base.name, traceback.format_exc().strip())], {}
        finally:
            _stop_session(run_dir)
        with self.cond:
            self.bases[base.name] = (found, facts)
            self.cond.notify_all()

    # --- running them ------------------------------------------------------------------------

    def _work(self, run_dir):
        worker = {"base": None, "shared": False, "screen": None}
        os.makedirs(run_dir, exist_ok=True)
        try:
            while True:
                taken = self._take(worker)
                if taken is None:
                    return
                index, base = taken
                if base is not None:
                    self._make_base(base)
                    continue
                self._run(index, run_dir, worker)
        except Stopped:
            return

    def _run(self, index, run_dir, worker):
        job, tally = self.jobs[index], Tally()
        start = time.monotonic()
        try:
            facts, found = {}, []
            if job.base is not None:
                found, facts = self.bases[job.base.name]
                if not (job.shares and worker["base"] == job.base.name and worker["shared"]):
                    _copy_prefix(os.path.join(self.root, job.base.name), run_dir)
                    worker.update(base=job.base.name, shared=job.shares, screen=None)
            if found:
                tally.report("%s: no %s prefix to start from" % (job.name, job.base.name), found)
            else:
                job.run(Context(self, run_dir, tally, facts))
            if job.shares:
                worker["screen"] = job.screen
            elif job.base is not None:
                worker.update(base=None, shared=False, screen=None)
        except Stopped:
            raise
        except Exception:
            tally.report("%s: the job broke off" % job.name, [traceback.format_exc().strip()])
            worker.update(base=None, shared=False, screen=None)
        end = time.monotonic()
        with self.cond:
            self.done[index] = (tally, end - start, start - self.started, end - self.started)
            self.cond.notify_all()

    def wait_for(self, index):
        with self.cond:
            while index not in self.done:
                if not any(t.is_alive() for t in self.workers):
                    if self.timed_out:
                        tally = Tally()
                        tally.report("%s: not done when the run's %d s were up" % (self.jobs[index].name, self.deadline),
                                     ["the run was stopped there; run the job alone to see where it waits"])
                        return tally, 0.0, 0.0, time.monotonic() - self.started
                    raise RuntimeError("the workers ended with job %s not done" % self.jobs[index].name)
                self.cond.wait(1)
            return self.done[index]

    def time_up(self):
        """The run's time is up: every program is stopped, and the jobs not done fail."""
        self.timed_out = True
        stop_all()


def _print(lines):
    for line in lines:
        print(line)
    sys.stdout.flush()


def run_proofs(proofs, names, builds_, workers, counts_file, deadline):
    """Runs the proofs' jobs (those named, or all) in a pool, stopped after deadline seconds;
    prints their lines and each proof's count; (passed, failed) of all."""
    selected = [[j for j in p.jobs if not names or j.names & names] for p in proofs]
    jobs = [j for js in selected for j in js]
    own_root = not os.environ.get("WINE_TEST_RUN_DIR")
    root = os.environ.get("WINE_TEST_RUN_DIR") or tempfile.mkdtemp(prefix="wine-run.")
    pool = Pool(root, builds_, jobs, min(workers, max(1, sum(1 for j in jobs if j.base is not None))), deadline)
    timer = threading.Timer(deadline, pool.time_up)
    timer.daemon = True
    passed = failed = 0
    try:
        timer.start()
        for t in pool.workers:
            t.start()
        index = 0
        for proof, js in zip(proofs, selected):
            if not js:
                continue
            p_passed = p_failed = 0
            busy, first, last = 0.0, None, 0.0
            for _ in js:
                tally, took, start, end = pool.wait_for(index)
                index += 1
                _print(tally.lines)
                p_passed, p_failed = p_passed + tally.passed, p_failed + tally.failed
                busy, last = busy + took, max(last, end)
                first = start if first is None else min(first, start)
            print("%s: %d passed, %d failed; %d jobs, %.1f s of the workers' time, from %.1f s to %.1f s"
                  % (proof.title, p_passed, p_failed, len(js), busy, first, last))
            passed, failed = passed + p_passed, failed + p_failed
        print("wine jobs: %d on %d workers in %.1f s" % (len(jobs), len(pool.workers), time.monotonic() - pool.started))
        sys.stdout.flush()
    finally:
        timer.cancel()
        stop_all()
        for t in pool.workers:
            t.join(timeout=30)
        stops = [subprocess.Popen([RUN_CASE, "--stop"], env=dict(os.environ, WINE_TEST_RUN_DIR=d))
                 for d in pool.run_dirs()]
        for p in stops:
            p.wait()
        if own_root:
            shutil.rmtree(root, ignore_errors=True)
    if counts_file:
        with open(counts_file, "w") as f:
            f.write("%d %d\n" % (passed, failed))
    return passed, failed


def default_workers():
    """One more than the processors: a session waits often (a watcher's delay, a held box, a
    countdown), and another's work fills the time."""
    return (os.cpu_count() or 1) + 1


def main(argv, doc, proofs_of, more_options=None):
    """The command line of a driver: [--counts FILE] [--workers N] HOST_BUILD_DIR WINDOWS_BUILD_DIR
    [NAME ...]; proofs_of(builds, args) gives its proofs, more_options(parser) adds its own options.
    Exits 1 on any failure, 2 on a bad command line or missing builds, 128+N on signal N."""
    parser = argparse.ArgumentParser(description=doc.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--counts", metavar="FILE", help='write "N M" (passed, failed) there at the end')
    parser.add_argument("--workers", type=int, default=default_workers(), metavar="N",
                        help="Wine sessions side by side (default: the processors and one more)")
    parser.add_argument("--deadline", type=int, default=int(os.environ.get("WINE_TEST_DEADLINE", DEADLINE)),
                        metavar="S", help="stop the run after S seconds; the jobs not done then fail "
                        "(default: WINE_TEST_DEADLINE, else %d)" % DEADLINE)
    if more_options:
        more_options(parser)
    parser.add_argument("host_dir", metavar="HOST_BUILD_DIR")
    parser.add_argument("windows_dir", metavar="WINDOWS_BUILD_DIR")
    parser.add_argument("names", nargs="*", metavar="NAME", help="only the jobs of these names (all when none)")
    args = parser.parse_args(argv[1:])
    if args.workers < 1:
        parser.error("--workers must be at least 1")
    if args.deadline < 1:
        parser.error("--deadline must be at least 1")
    b = builds(args.host_dir, args.windows_dir)
    proofs = proofs_of(b, args)
    program = os.path.basename(argv[0])
    missing = [path for p in proofs for path in p.needs if not os.path.isfile(path)]
    if missing:
        sys.stderr.write("%s: %s missing: build both presets first\n" % (program, missing[0]))
        return 2
    names = set(args.names)
    unknown = names - {n for p in proofs for j in p.jobs for n in j.names}
    if unknown:
        sys.stderr.write("%s: no such job: %s\n" % (program, ", ".join(sorted(unknown))))
        return 2

    def stop(number, _frame):
        raise SystemExit(128 + number)

    for number in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, stop)
    try:
        _, failed = run_proofs(proofs, names, b, args.workers, args.counts, args.deadline)
    except KeyboardInterrupt:
        return 128 + signal.SIGINT
    return 1 if failed else 0
