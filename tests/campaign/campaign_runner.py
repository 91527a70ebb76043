"""Runs the campaign: the runs in a few parallel lanes under one global
deadline, one line per run, every disagreement with what replays it, and
"N passed, N failed" at the end."""
import argparse
import atexit
import concurrent.futures
import os
import shutil
import signal
import tempfile
import threading
import time

from campaign_controller import end_all_children
from campaign_scenario import FAULTS, draw_scenario, expect
from campaign_verdict import RunRecord, judge


def common_arguments(description, runs, deadline, jobs):
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--runs", type=int, default=None,
                        help=f"number of upload batches (default {runs}, with --long 300)")
    parser.add_argument("--seed", type=int, default=None, help="campaign seed (default: from the clock)")
    parser.add_argument("--long", action="store_true",
                        help="the long campaign: 300 batches unless --runs says otherwise, slow faults "
                             "drawn more often, no deadline short of an hour")
    parser.add_argument("--only", type=int, action="append", default=[],
                        help="run only this run number (repeatable), to replay a disagreement")
    parser.add_argument("--fault", action="append", default=[], choices=[label for label, _, _ in FAULTS],
                        metavar="LABEL", help="draw only runs of this fault label (repeatable): "
                        + ", ".join(label for label, _, _ in FAULTS))
    parser.add_argument("--deadline", type=float, default=deadline,
                        help=f"seconds after which no further run starts (default {deadline})")
    parser.add_argument("--jobs", type=int, default=jobs, help=f"runs at the same time (default {jobs})")
    parser.add_argument("--keep", metavar="DIR", help="keep the folders of failed runs (and logs) under DIR")
    parser.add_argument("--verbose", action="store_true", help="trace the simulator into each run's log")
    parser.set_defaults(default_runs=runs)
    return parser


def finish_arguments(args):
    if args.runs is None:
        args.runs = 300 if args.long else args.default_runs
    if args.long:
        args.deadline = max(args.deadline, 3600)
    if args.seed is None:
        args.seed = int(time.time()) % 1_000_000
    return args


# Called after the children are ended, when the campaign is interrupted.
EXTRA_CLEANUP = []


def install_cleanup():
    atexit.register(end_all_children)

    def on_signal(number, _frame):
        # Ends at once: the lanes' threads are not waited for, no run starts.
        end_all_children()
        for cleanup in EXTRA_CLEANUP:
            cleanup()
        print(f"interrupted by signal {number}", flush=True)
        os._exit(128 + number)
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)

    # A wrapper that started us (an interpreter shim, xvfb-run) may be ended
    # instead of us: when our parent goes, the campaign goes too.
    parent = os.getppid()

    def watch_parent():
        while os.getppid() == parent:
            time.sleep(0.5)
        os.kill(os.getpid(), signal.SIGTERM)
    threading.Thread(target=watch_parent, daemon=True).start()


def run_campaign(args, name, run_one, front="vtx"):
    """run_one(scenario, expected, workdir) -> RunRecord; returns the exit status."""
    install_cleanup()
    indices = args.only or list(range(1, args.runs + 1))
    allowed = set(args.fault) or None
    start = time.monotonic()
    deadline = start + args.deadline
    print(f"{name}: {len(indices)} runs, seed {args.seed}{' (long)' if args.long else ''}, "
          f"{args.jobs} at a time, deadline {args.deadline:.0f} s", flush=True)
    lock = threading.Lock()
    passed, failed, skipped, noted = [], [], [], []
    reports = {}                 # run -> the lines that describe its disagreement
    by_label = {}                # fault label -> [runs, failed]
    base = tempfile.mkdtemp(prefix=f"{front}-campaign-")
    EXTRA_CLEANUP.append(lambda: shutil.rmtree(base, ignore_errors=True))

    def one(index):
        if time.monotonic() >= deadline:
            skipped.append(index)
            return
        scenario = draw_scenario(args.seed, index, args.long, allowed, front)
        expected = expect(scenario)
        workdir = os.path.join(base, f"run{index}")
        os.makedirs(workdir)
        began = time.monotonic()
        try:
            record = run_one(scenario, expected, workdir)
        except Exception as error:   # a harness fault is reported like a disagreement
            record = RunRecord(True, False, "", {}, [], complaints=[f"harness error: {error!r}"])
        record.seconds = time.monotonic() - began
        problems, notes = judge(scenario, expected, record)
        with lock:
            verdict = "FAIL" if problems else "ok  "
            print(f"{verdict} run {index:4d} {record.seconds:5.1f}s {scenario.label:<20} "
                  f"{'success' if record.succeeded else 'failure'}: {record.message or '(no message)'}",
                  flush=True)
            tally = by_label.setdefault(scenario.label, [0, 0])
            tally[0] += 1
            if problems:
                tally[1] += 1
                failed.append(index)
                faults = "".join(f" --fault {label}" for label in args.fault)
                lines = [f"run {index}: replay with --seed {args.seed} --only {index}"
                         f"{' --long' if args.long else ''}{faults}",
                         f"     scenario: {scenario.describe()}"]
                if expected is not None:
                    lines.append(f"     expected: exit {expected.exit_code}, {expected.arrived} file(s) arriving, "
                                 f"{expected.message!r}")
                lines += [f"     problem: {problem}" for problem in problems]
                if record.detail:
                    lines.append("     output: " + record.detail.replace("\n", "\n             "))
                if args.keep:
                    kept = os.path.join(args.keep, f"seed{args.seed}-run{index}")
                    shutil.rmtree(kept, ignore_errors=True)
                    shutil.copytree(workdir, kept, symlinks=True)
                    lines.append(f"     kept: {kept}")
                reports[index] = lines
                print("\n".join(lines), flush=True)
            else:
                passed.append(index)
            if notes:
                noted.append((index, scenario.label, notes))
        shutil.rmtree(workdir, ignore_errors=True)

    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        for future in [pool.submit(one, i) for i in indices]:
            future.result()
    shutil.rmtree(base, ignore_errors=True)

    elapsed = time.monotonic() - start
    print("\nfault label          runs  failed")
    for label, (runs, bad) in sorted(by_label.items()):
        print(f"{label:<20} {runs:5d} {bad:7d}")
    if reports:
        print("\ndisagreements:")
        for index in sorted(reports):
            print("\n".join(reports[index]))
    for index, label, notes in noted:
        print(f"note run {index} ({label}): " + "; ".join(notes))
    if skipped:
        print(f"deadline reached: {len(skipped)} run(s) not started")
    print(f"campaign took {elapsed:.1f} s")
    print(f"{len(passed)} passed, {len(failed)} failed")
    return 1 if failed else 0
