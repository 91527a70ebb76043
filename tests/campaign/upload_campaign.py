#!/usr/bin/env python3
"""Fault campaign of `vtx put` against the simulated controller.

Each run uploads a random batch through `vtx put` to a fresh simulator with a
random fault (NAK bursts, CAN, silence, invalid or missing listings, pacing
at a real line speed, the controller killed and restarted, Ctrl-C once or
twice, full disks, a bad file in the batch) and checks that vtx's exit status
and message agree with what reached the controller's storage.

    python3 tests/campaign/upload_campaign.py [--runs N] [--seed S] [--long]
"""
import os
import re
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True   # no cache folder in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from campaign_controller import (Simulator, forget_child, prepare_storage, read_storage, settle_and_stop,
                                 start_child)
from campaign_pc_files import change_due, change_pc_file, write_batch
from campaign_runner import common_arguments, finish_arguments, run_campaign
from campaign_verdict import RunRecord

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
SUCCESS_LINE = re.compile(r"^\d+ files? uploaded, \d+ bytes$")



def run_limit(scenario):
    """Seconds a run may take before it counts as a hang: the slowest fault
    costs a ten-second wait, a cancel nine seconds and two drain reads."""
    return 45 + 3 * scenario.transfer_seconds()


def last_line(text):
    lines = [line for line in text.splitlines() if line.strip()]
    return lines[-1].strip() if lines else ""


def run_vtx(scenario, expected, workdir, tools):
    root = os.path.join(workdir, "root")
    link = os.path.join(workdir, "port")
    prepare_storage(root, scenario)
    paths = write_batch(scenario, os.path.join(workdir, "pc"))
    sim = Simulator(tools.sim, root, link, scenario, os.path.join(workdir, "sim.log"), tools.verbose)
    complaint = sim.start()
    if complaint:
        return RunRecord(True, False, "", read_storage(root)[0], [], complaints=[complaint])

    command = [tools.vtx, "--port", link]
    if scenario.baud:
        command += ["--baud", str(scenario.baud)]
    command.append("put")
    if scenario.target_dir:
        command += ["-p", scenario.target_dir]
    command += ["--"] + paths
    complaints = []
    with open(os.path.join(workdir, "vtx.err"), "wb") as err:
        began = time.monotonic()
        vtx = start_child(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err)
        events = sorted([(t, "sigint") for t in scenario.interrupts] +
                        ([(scenario.kill_at, "kill")] if scenario.kill_at else []))
        change_pending = bool(scenario.change_after)
        limit = run_limit(scenario)
        finished = True
        while vtx.poll() is None:
            now = time.monotonic() - began
            if now > limit:
                finished = False
                vtx.kill()
                vtx.wait()
                break
            while events and events[0][0] <= now:
                _, what = events.pop(0)
                if what == "sigint":
                    vtx.send_signal(signal.SIGINT)
                else:
                    sim.signal(scenario.kill_signal)
                    if not sim.wait(5):
                        complaints.append(f"the simulator did not end within 5 s of SIG{scenario.kill_signal}")
                    forget_child(sim.process)
                    complaint = sim.start()       # a fresh controller on the same storage
                    if complaint:
                        complaints.append("after the restart: " + complaint)
            if change_pending and change_due(scenario, root):
                change_pending = False
                change_pc_file(scenario, paths)
            time.sleep(0.005 if change_pending else 0.02)
        forget_child(vtx)
    with open(os.path.join(workdir, "vtx.err"), "rb") as err:
        report = err.read().decode(errors="replace")

    storage, temps = settle_and_stop(sim, root, scenario, complaints)

    # vtx names a refused PC file by its path: the batch folder is left out.
    message = last_line(report).replace(os.path.join(workdir, "pc") + os.sep, "")
    succeeded = finished and vtx.returncode == 0
    if succeeded and not SUCCESS_LINE.match(message):
        complaints.append(f"exit 0 without the summary line: {message!r}")
    if finished and vtx.returncode not in (0, 1, 130, -signal.SIGINT):
        complaints.append(f"unexpected exit status {vtx.returncode}")
    if vtx.returncode in (130, -signal.SIGINT):
        message = ""   # ended by the second Ctrl-C (or before the handler was in place)
    tail = "\n".join(report.splitlines()[-4:])
    return RunRecord(finished, succeeded, message, storage, temps, complaints=complaints,
                     detail=f"exit {vtx.returncode}; stderr tail:\n{tail}")


class Tools:
    pass


def main():
    parser = common_arguments("Fault campaign of vtx put against the simulated controller.",
                              runs=36, deadline=90, jobs=2)
    parser.add_argument("--build", default=os.path.join(SOURCE_DIR, "build", "native"),
                        help="build folder with vtx and vantorix-sim (default build/native)")
    args = finish_arguments(parser.parse_args())
    tools = Tools()
    tools.vtx = os.path.join(args.build, "vtx")
    tools.sim = os.path.join(args.build, "vantorix-sim")
    tools.verbose = args.verbose
    for binary in (tools.vtx, tools.sim):
        if not os.access(binary, os.X_OK):
            print(f"upload_campaign: no {binary} (build the native preset or pass --build)", file=sys.stderr)
            return 2
    return run_campaign(args, "vtx put campaign",
                        lambda scenario, expected, workdir: run_vtx(scenario, expected, workdir, tools))


if __name__ == "__main__":
    sys.exit(main())
