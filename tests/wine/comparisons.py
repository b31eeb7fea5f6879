"""A Wine run held against refresh-sim: what made a run other than a clean one, the differences
of two results (accesses, message boxes, standard output, exit code), and one machine's run under
Wine compared with refresh-sim's on the same machine."""

import json

from machines import machine_args, simulate
from wine_session import run_case_sh


def describe(access):
    if access is None:
        return "(none)"
    if access["op"] == "store":
        plain = "store 0x%08X <- 0x%02X" % (access["address"], access["value"])
    elif access["op"] == "load":
        plain = "load 0x%08X -> 0x%02X" % (access["address"], access["value"])
    elif access["op"] == "out":
        plain = "out 0x%04X <- 0x%02X" % (access["port"], access["value"])
    else:
        plain = "in 0x%04X -> 0x%02X" % (access["port"], access["value"])
    return "%s  (%s)" % (json.dumps(access), plain)


def boxes(result):
    return [(b["text"], b["caption"], b["type"]) for b in result["messageBoxes"]]


def unclean_run(wine):
    """What made a Wine run other than a clean one, one text each."""
    found = []
    if wine.get("error") is not None:
        found.append("the debugger cut the run short: %s" % wine["error"])
    if wine.get("crash") is not None:
        found.append("the program crashed: %s" % json.dumps(wine["crash"]))
    if any(not b.get("dismissed") for b in wine["messageBoxes"]):
        found.append("a message box was not dismissed")
    return found


def output_difference(wine, host):
    """The standard outputs side by side; of a longer text, the first line that differs."""
    wine_lines, host_lines = wine.splitlines(True), host.splitlines(True)
    if len(wine_lines) <= 1 and len(host_lines) <= 1:
        return "standard output:\n      wine: %r\n      host: %r" % (wine, host)
    at = next(i for i in range(max(len(wine_lines), len(host_lines)))
              if wine_lines[i : i + 1] != host_lines[i : i + 1])
    return ("standard output differs first at line %d (wine wrote %d lines, host %d):\n      wine: %r\n"
            "      host: %r" % (at + 1, len(wine_lines), len(host_lines), "".join(wine_lines[at : at + 1]),
                                "".join(host_lines[at : at + 1])))


def differences(wine, sim):
    """What differs between the Wine run and refresh-sim, one text per difference."""
    found = unclean_run(wine)
    if wine["exitCode"] != sim["exitCode"]:
        found.append("exit code: wine %d, host %d" % (wine["exitCode"], sim["exitCode"]))
    if boxes(wine) != boxes(sim):
        found.append("message boxes:\n      wine: %r\n      host: %r" % (boxes(wine), boxes(sim)))
    if wine["stdout"] != sim["stdout"]:
        found.append(output_difference(wine["stdout"], sim["stdout"]))
    wa, sa = wine["accesses"], sim["accesses"]
    if wa != sa:
        at = next(i for i in range(max(len(wa), len(sa)))
                  if i >= len(wa) or i >= len(sa) or wa[i] != sa[i])
        text = "accesses differ first at #%d (wine made %d, host %d):" % (at, len(wa), len(sa))
        if at > 0:
            text += "\n      both: %s" % describe(wa[at - 1])  # the index write before it, as a rule
        text += "\n      wine: %s\n      host: %s" % (describe(wa[at] if at < len(wa) else None),
                                                     describe(sa[at] if at < len(sa) else None))
        found.append(text)
    return found


def run_case(case, sim_path, exe, ini_files, env, options=(), args=(), sim_options=(), compare=differences):
    """Differences of one machine's Wine run from refresh-sim, and refresh-sim's result. options go
    to run_case.sh (for instance --in-place), args to the program, sim_options to refresh-sim;
    compare(wine, sim) gives the differences."""
    wine_args, sim_args = machine_args(case, ini_files)
    found, sim = simulate(sim_path, sim_args + list(sim_options))
    if found:
        return found, None

    program = list(options) + [exe] + (["--"] + list(args) if args else [])
    found, wine = run_case_sh(wine_args + program, env)
    if found:
        return found, sim

    found = compare(wine, sim)
    if len(sim["accesses"]) != case.accesses:
        found.append("the case is not the machine it names: %d accesses, the table expects %d"
                     % (len(sim["accesses"]), case.accesses))
    return found, sim
