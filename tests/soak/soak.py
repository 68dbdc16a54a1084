"""The shift soak: runs of a whole station (see scripts/soak for the usage),
each drawn from its own seed, checked against every invariant."""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import time
import traceback

from events import BY_NAME, EVENTS
from invariants import INVARIANTS, Check
from plan import Plan
from run import Run

LONG_EVERY = 8  # with an hour or more: a run in eight (by its seed) is a long run, for the memory check
LONG_AT_LEAST_MIN = 10


def Arguments():
    p = argparse.ArgumentParser(prog="scripts/soak", description="The shift soak of zflash station.")
    p.add_argument("--minutes", type=float, default=2, help="run for about this long (default 2)")
    p.add_argument("--seed", type=int, help="the first run's seed (default: drawn); run N has seed+N")
    p.add_argument("--runs", type=int, help="exactly this many runs, however long they take")
    p.add_argument("--long", action="store_true", help="long runs only (many units a port, no events)")
    p.add_argument("--event", action="append", default=[], choices=sorted(BY_NAME),
                   help="draw only these events (repeatable)")
    p.add_argument("--list", action="store_true", help="print the events and the invariants, and end")
    p.add_argument("--keep", action="store_true", help="keep the logs of every run, and print its history")
    p.add_argument("--logs", default=None, help="folder for the runs' logs (default build/soak-logs)")
    return p.parse_args()


def Binaries(repo):
    build = os.environ.get("ZF_NATIVE_DIR", os.path.join(repo, "build", "native"))
    bins = {
        "zflash": os.path.join(build, "bin", "zflash"),
        "zsim": os.path.join(build, "tools", "zsim", "zsim"),
        "image": os.path.join(build, "bin", "firmware", "VKT3", "VKT3K", "vkt3k_fw_v1_10_3.bin"),
        "validate": os.path.join(repo, "scripts", "validate-records"),
    }
    for what, path in bins.items():
        if not os.path.exists(path):
            sys.exit(f"soak: no {what} at {path} (scripts/build native)")
    return {k: os.path.abspath(v) for k, v in bins.items()}


def ZsimCan(zsim):
    """What this zsim can do of what the soak would use: "late" (a late reply
    as a fault on command: the late-reply event), "repeats" (--repeats)."""
    out = subprocess.run([zsim, "--help"], capture_output=True, text=True).stdout
    return {name for name, there in (("late", " late " in out and "\n  fault FAULT" in out),
                                      ("repeats", "--repeats" in out)) if there}


def Replay(seed, long_run, only):
    return f"scripts/soak --seed {seed} --runs 1" + (" --long" if long_run else "") + \
        "".join(f" --event {e}" for e in only)


def Report(run, broken, folder, elapsed, replay, verbose=False):
    plan = run.plan
    units = sum(len(p.units) for p in plan.ports)
    ends = len(run.records.AllEnds()) if run.records else 0
    head = (f"run seed {plan.seed}: {len(plan.ports)} ports, {units} units, {len(plan.events)} event(s), "
            f"{plan.width}x{plan.height}, {ends} records, exit {run.station.exit_code if run.station else '-'}, "
            f"{elapsed:.0f} s: ")
    if not broken and not verbose:
        print(head + "ok", flush=True)
        return
    print(head + ("BROKEN " + ", ".join(name for name, _ in broken) if broken else "ok"))
    print(plan.Describe())
    for note in run.notes:
        print(f"  note: {note}")
    print(f"  history (seconds from the run's start; the zsim logs' clock read {run.t0:.3f} then):")
    for t, text in run.history:
        print(f"    {t:7.2f} s  {text}")
    for name, found in broken:
        print(f"  broken: {name}")
        for f in found:
            print("    " + f.replace("\n", "\n      "))
    print(f"  replay: {replay}")
    print(f"  logs: {folder}", flush=True)


def List():
    print("events (weight; phases):")
    for e in EVENTS:
        print(f"  {e.name:20} {e.weight}; {', '.join(e.phases)}" + ("; ends the shift" if e.stop else ""))
    print("invariants:")
    for inv in INVARIANTS:
        doc = " ".join((inv.check.__doc__ or "").split())
        print(f"  {inv.name:28} {doc}")


def main():
    # Stopped from outside (a time limit, a closed terminal): the run under way
    # tears down its station and fixtures on the way out.
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, lambda number, _: sys.exit(128 + number))
    args = Arguments()
    if args.list:
        List()
        return 0
    repo = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    bins = Binaries(repo)
    logs = os.path.abspath(args.logs or os.path.join(repo, "build", "soak-logs"))
    os.makedirs(logs, exist_ok=True)
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1, 10**6)
    zsim_can = ZsimCan(bins["zsim"])
    budget = args.minutes * 60
    print(f"soak: seed {seed}, " + (f"{args.runs} run(s)" if args.runs else f"about {args.minutes:g} minutes") +
          f"; logs of broken runs in {logs}", flush=True)
    start = time.monotonic()
    runs = failed = 0
    broken_by = {}
    n = 0
    while True:
        if args.runs is not None and runs >= args.runs:
            break
        elapsed = time.monotonic() - start
        if args.runs is None and elapsed >= budget:
            break
        run_seed = seed + n
        n += 1
        long_run = args.long or (args.minutes >= LONG_AT_LEAST_MIN and run_seed % LONG_EVERY == 0)
        plan = Plan(run_seed, long_run, args.event)
        if args.runs is None and runs and elapsed + (elapsed / runs) > budget * 1.1:
            break  # none is begun that would likely end far past the budget
        folder = os.path.join(logs, f"seed-{run_seed}")
        again = 1
        while os.path.exists(folder):  # a replay keeps the logs of the run it replays
            again += 1
            folder = os.path.join(logs, f"seed-{run_seed}.{again}")
        os.makedirs(folder)
        run = Run(plan, folder, bins, zsim_can)
        t = time.monotonic()
        try:
            run.Execute()
            broken = Check(run)
            refused = [line for fx in run.fixtures for line in fx.bad_commands]
            run.notes += [f"zsim said: {line}" for line in refused]
            if any(line.startswith("zsim: bad command") for line in refused):
                broken.append(("soak-harness", ["zsim did not understand a command of the soak's"]))
        except Exception:  # the harness's own fault: a broken run all the same, with its trace
            broken = [("soak-harness", [traceback.format_exc()])]
        Report(run, broken, folder, time.monotonic() - t, Replay(run_seed, long_run, args.event), args.keep)
        runs += 1
        if broken:
            failed += 1
            for name, _ in broken:
                broken_by.setdefault(name, []).append(run_seed)
        elif not args.keep:
            shutil.rmtree(folder, ignore_errors=True)
    print(f"soak: {runs} run(s) in {time.monotonic() - start:.0f} s, {failed} broken (first seed {seed})")
    for name, seeds in sorted(broken_by.items()):
        print(f"  {name}: seeds {' '.join(map(str, seeds))}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
