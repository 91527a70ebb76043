#!/usr/bin/env python3
"""Fault campaign of `vtx put` against the simulated controller: each run uploads a random batch through vtx to a
fresh simulator with a random fault; vtx's exit status and last message must agree with the controller's storage."""
import os, pathlib, signal, subprocess, sys, time

sys.dont_write_bytecode = True   # no cache folder in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from campaign import ERROR_TRYING, NO_SPACE, Run, arguments, end_child, run_campaign, start_child, upload_check, \
    upload_draw

# The browser's messages for a failed upload; vtx follows each with the sender's reason in a line of its own.
UPLOAD_MESSAGES = (ERROR_TRYING, NO_SPACE, "Upload-Error: Can't read file.")


def run_vtx(s, workdir, build):
    run, err = Run(s, workdir, os.path.join(build, "vantorix-sim"), f"{workdir}/port"), pathlib.Path(workdir, "vtx.err")
    if not run.start():
        return True, False, "", {}, [], run.complaints, ""
    command = [os.path.join(build, "vtx"), "--port", run.link, "put"]
    command += ["-p", s.target_dir] * bool(s.target_dir) + ["--"] + run.paths
    # The slowest fault costs a ten-second wait, a cancel nine seconds and two drain reads.
    limit, interrupts, began = 45 + 3 * s.seconds(), list(s.interrupts), time.monotonic()
    with open(err, "wb") as out:
        vtx = start_child(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=out)
    while vtx.poll() is None and time.monotonic() - began < limit:
        if interrupts and interrupts[0] <= time.monotonic() - began:
            vtx.send_signal(signal.SIGINT)
            interrupts.pop(0)
        run.tick(time.monotonic() - began)
        time.sleep(0.005 if s.change_after and not run.changed else 0.02)
    finished = vtx.poll() is not None
    end_child(vtx, 0)
    storage, temps = run.settle_and_stop()
    report = [line.strip() for line in err.read_text(errors="replace").splitlines() if line.strip()] or [""]
    if finished and vtx.returncode not in (0, 1, 130, -signal.SIGINT):
        run.complaints.append(f"unexpected exit status {vtx.returncode}")
    # vtx names a refused PC file by its path: the batch folder is left out. The second Ctrl-C ends it with 130.
    # The browser's message of a failed upload is the line before the sender's reason, which must be there.
    at = -2 if len(report) > 1 and report[-2] in UPLOAD_MESSAGES else -1
    if at == -1 and report[-1] in UPLOAD_MESSAGES:
        run.complaints.append(f"no reason after {report[-1]!r}")
    message = "" if vtx.returncode in (130, -signal.SIGINT) else report[at].replace(os.path.join(workdir, "pc", ""), "")
    return finished, finished and vtx.returncode == 0, message, storage, temps, run.complaints, \
        f"exit {vtx.returncode}; stderr tail: " + " | ".join(report[-4:])


if __name__ == "__main__":
    parser = arguments("Fault campaign of vtx put against the simulated controller.", runs=36, deadline=90, jobs=2)
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "..", "build", "native"),
                        help="folder with vtx and vantorix-sim (default build/native)")
    args = parser.parse_args()
    sys.exit(run_campaign(args, "vtx put campaign", lambda s, workdir: run_vtx(s, workdir, args.build),
                          upload_draw("vtx"), upload_check, "vtx"))
