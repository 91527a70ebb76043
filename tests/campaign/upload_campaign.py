#!/usr/bin/env python3
"""Fault campaign of `vtx put` against the simulated controller: each run uploads a random batch through vtx to a
fresh simulator with a random fault; vtx's exit status and last message must agree with the controller's storage."""
import os, signal, sys

sys.dont_write_bytecode = True   # no cache folder in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from campaign import ERROR_TRYING, NO_SPACE, arguments, draw_scenario, expect, judge, run_campaign, run_vtx

# The browser's messages for a failed upload; vtx follows each with the sender's reason in a line of its own.
UPLOAD_MESSAGES = (ERROR_TRYING, NO_SPACE, "Upload-Error: Can't read file.")


def put(s, workdir, build):
    # The slowest fault costs a ten-second wait, a cancel nine seconds and two drain reads.
    finished, status, report, _, storage, temps, complaints = run_vtx(
        s, workdir, build, lambda run: ["put"] + ["-p", s.target_dir] * bool(s.target_dir) + ["--"] + run.paths,
        45 + 3 * s.seconds())
    complaints += [f"unexpected exit status {status}"] * (finished and status not in (0, 1, 130, -signal.SIGINT))
    # vtx names a refused PC file by its path: the batch folder is left out. The second Ctrl-C ends it with 130.
    # The browser's message of a failed upload is the line before the sender's reason, which must be there.
    at = -2 if len(report) > 1 and report[-2] in UPLOAD_MESSAGES else -1
    complaints += [f"no reason after {report[-1]!r}"] * (at == -1 and report[-1] in UPLOAD_MESSAGES)
    message = "" if status in (130, -signal.SIGINT) else report[at].replace(os.path.join(workdir, "pc", ""), "")
    return finished, finished and status == 0, message, storage, temps, complaints, \
        f"exit {status}; stderr tail: " + " | ".join(report[-4:])


if __name__ == "__main__":
    args = arguments("Fault campaign of vtx put against the simulated controller.", runs=36, deadline=180,
                     jobs=2).parse_args()
    sys.exit(run_campaign(args, "vtx put campaign", lambda s, workdir: put(s, workdir, args.build),
                          lambda seed, index, long_mode: draw_scenario(seed, index, long_mode, "vtx"),
                          lambda s, result: result[5] + judge(s, expect(s), *result[:5]), "vtx"))
