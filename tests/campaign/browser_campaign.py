#!/usr/bin/env python3
"""Fault campaign of VBrowser.exe's automatic upload under Wine.

Each run starts `VBrowser.exe -u F1 -u F2 ... [-p DIR] -q` (settings beside
it: Port=COMn, whose Wine mapping points at a fresh simulated controller)
under auto_upload_watch.exe, which reports the upload dialog and every
"Problem" message box and answers the boxes. The message shown for the
upload (or none) must agree with what reached the controller's storage.

    python3 tests/campaign/browser_campaign.py --exe VBrowser.exe --watch auto_upload_watch.exe \\
        --sim vantorix-sim --prefix WINEPREFIX --ports PORTDIR [--runs N] [--seed S] [--long]

Needs a display (run under xvfb-run). Exits 77 when something it needs is missing.
"""
import os
import queue
import shutil
import subprocess
import sys
import threading
import time

sys.dont_write_bytecode = True   # no cache folder in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from campaign_controller import (Simulator, forget_child, prepare_storage, read_storage, settle_and_stop,
                                 start_child)
from campaign_pc_files import change_due, change_pc_file, write_batch
from campaign_runner import EXTRA_CLEANUP, common_arguments, finish_arguments, run_campaign
from campaign_verdict import RunRecord

# How long the browser may stay open without a dialog after its last box:
# the listing after the upload makes up to four attempts of about a second.
IDLE_MS = 7000
# Wine start-up, two listings, the one-second pause before the upload, the
# slowest fault's ten seconds and a cancel's fifteen.
RUN_LIMIT_S = 75
# The settings the program is started with; COMn is the run's lane.
SETTINGS = "[Vantorix]\r\nPort=COM{port}\r\nBaudrate={baud}\r\nUsePath=0\r\nLogFile=0\r\n"


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")



class Lanes:
    """COM ports for the runs that go on at the same time."""

    def __init__(self, numbers):
        self.free = queue.Queue()
        for n in numbers:
            self.free.put(n)


def read_lines(stream, sink):
    for raw in stream:
        sink.put((time.monotonic(), raw.decode(errors="replace").rstrip("\r\n")))
    sink.put((time.monotonic(), None))


def run_browser(scenario, expected, workdir, tools):
    port = tools.lanes.free.get()
    try:
        return run_on_port(scenario, workdir, tools, port)
    finally:
        tools.lanes.free.put(port)


def run_on_port(scenario, workdir, tools, port):
    root = os.path.join(workdir, "root")
    link = os.path.join(tools.ports, f"com{port}")
    prepare_storage(root, scenario)
    paths = write_batch(scenario, os.path.join(workdir, "pc"))
    program = os.path.join(workdir, "program")
    os.makedirs(program)
    shutil.copy(tools.exe, program)
    with open(os.path.join(program, "Vantorix1.ini"), "w", newline="") as out:
        out.write(SETTINGS.format(port=port, baud=scenario.baud or 57600))

    sim = Simulator(tools.sim, root, link, scenario, os.path.join(workdir, "sim.log"), tools.verbose)
    complaint = sim.start()
    if complaint:
        return RunRecord(True, False, "", read_storage(root)[0], [], complaints=[complaint])

    cancel_ms = terminate_ms = 0
    if scenario.label == "cancel":
        cancel_ms = int(scenario.interrupts[0] * 1000) + 1
    elif scenario.label == "abort":
        terminate_ms = int(scenario.interrupts[0] * 1000) + 1
    arguments = []
    for path in paths:
        arguments += ["-u", windows_path(path)]   # Wine quotes what holds a blank
    if scenario.target_dir:
        arguments += ["-p", scenario.target_dir]
    arguments.append("-q")
    command = ["wine", tools.watch, windows_path(program), str(RUN_LIMIT_S * 1000), str(cancel_ms),
               str(terminate_ms), str(IDLE_MS), "--"] + arguments

    lines = queue.Queue()
    seen = []
    complaints = []
    watch = start_child(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                        env=tools.env)
    reader = threading.Thread(target=read_lines, args=(watch.stdout, lines), daemon=True)
    reader.start()
    began = time.monotonic()
    upload_at = None
    killed = changed = False
    finished = True
    while True:
        try:
            at, line = lines.get(timeout=0.005 if scenario.change_after and not changed else 0.02)
        except queue.Empty:
            at, line = None, ""
        if line is None:
            break
        if line:
            seen.append(line)
            if line == "UPLOAD" and upload_at is None:
                upload_at = at
        if scenario.change_after and not changed and change_due(scenario, root):
            changed = True
            change_pc_file(scenario, paths)
        if scenario.kill_at and upload_at is not None and not killed and \
                time.monotonic() - upload_at >= scenario.kill_at:
            killed = True
            sim.signal(scenario.kill_signal)
            if not sim.wait(5):
                complaints.append(f"the simulator did not end within 5 s of SIG{scenario.kill_signal}")
            forget_child(sim.process)
            complaint = sim.start()
            if complaint:
                complaints.append("after the restart: " + complaint)
        if time.monotonic() - began > RUN_LIMIT_S + 30:
            finished = False
            watch.kill()
            break
    try:
        watch.wait(timeout=10)
    except subprocess.TimeoutExpired:
        watch.kill()
        watch.wait()
    forget_child(watch)
    if "HANG" in seen:
        finished = False

    storage, temps = settle_and_stop(sim, root, scenario, complaints)
    return judge_lines(scenario, seen, finished, storage, temps, complaints)


def judge_lines(scenario, seen, finished, storage, temps, complaints):
    """Turns the watcher's report into what the user was told."""
    upload_seen = "UPLOAD" in seen
    during = []          # boxes while the upload dialog was up
    before = []          # boxes before it (connect, listing)
    state = "before"
    for line in seen:
        if line == "UPLOAD":
            state = "during"
        elif line == "UPLOAD_END":
            state = "after"
        elif line.startswith("BOX "):
            (during if state == "during" else before if state == "before" else []).append(line[4:])
    interrupted = "TERMINATED" in seen or "CANCEL" in seen
    if upload_seen:
        message = during[0] if during else ""
        succeeded = not during and "UPLOAD_END" in seen and not interrupted
    else:
        message = before[0] if before else ""
        succeeded = False
    ended = next((line for line in seen if line.startswith("EXIT ") or line in ("OPEN", "HANG", "TERMINATED")),
                 "(no end)")
    # Without a dead line the automatic run ends after its upload, whatever the
    # result; when the first directory read fails, the window stays open.
    line_lost = scenario.timed() or any(f.startswith("hangup-after") for f in scenario.faults)
    if not line_lost and finished:
        wanted = "EXIT 0" if upload_seen else "OPEN"
        if ended != wanted:
            complaints.append(f"the automatic run ended with {ended}, expected {wanted}")
    if "CANCEL" in seen and not during:
        message = ""     # a cancelled upload closes its dialog without a message
    return RunRecord(finished, succeeded, message, storage, temps, complaints=complaints,
                     detail="watcher: " + " | ".join(seen))


class Tools:
    pass


def main():
    parser = common_arguments("Fault campaign of VBrowser.exe's automatic upload under Wine.",
                              runs=8, deadline=150, jobs=1)
    parser.add_argument("--exe", required=True, help="VBrowser.exe")
    parser.add_argument("--watch", required=True, help="auto_upload_watch.exe")
    parser.add_argument("--sim", required=True, help="the native vantorix-sim")
    parser.add_argument("--prefix", required=True, help="Wine prefix made by scripts/wine-prefix.sh")
    parser.add_argument("--ports", required=True, help="the prefix's port folder (COMn -> PORTS/comn)")
    parser.add_argument("--com", type=int, action="append", default=[],
                        help="COM port numbers to use, one per parallel run (default 6 and 7)")
    args = finish_arguments(parser.parse_args())
    for needed in (args.exe, args.watch, args.sim):
        if not os.path.exists(needed):
            print(f"skipped: {needed} is missing (build the native and win64 presets)")
            return 77
    if not shutil.which("wine") or not os.environ.get("DISPLAY"):
        print("skipped: needs wine and a display (run under xvfb-run)")
        return 77
    tools = Tools()
    tools.exe, tools.watch, tools.sim, tools.verbose = args.exe, args.watch, args.sim, args.verbose
    tools.ports = os.path.abspath(args.ports)
    tools.env = dict(os.environ, WINEPREFIX=os.path.abspath(args.prefix), WINEDEBUG="-all",
                     WINEDLLOVERRIDES="mscoree,mshtml=")
    numbers = (args.com or [6, 7])[:max(1, args.jobs)]
    args.jobs = len(numbers)
    tools.lanes = Lanes(numbers)
    os.makedirs(tools.ports, exist_ok=True)
    # One Wine server for the whole campaign, ended with it.
    server = start_child(["wineserver", "-p"], env=tools.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    EXTRA_CLEANUP.append(lambda: subprocess.run(["wineserver", "-k"], env=tools.env, stderr=subprocess.DEVNULL))
    try:
        return run_campaign(args, "VBrowser.exe automatic-mode campaign",
                            lambda scenario, expected, workdir: run_browser(scenario, expected, workdir, tools),
                            front="browser")
    finally:
        subprocess.run(["wineserver", "-k"], env=tools.env, stderr=subprocess.DEVNULL)
        server.wait()
        forget_child(server)


if __name__ == "__main__":
    sys.exit(main())
