#!/usr/bin/env python3
"""VBrowser.exe -u F1 ... -q under auto_upload_watch.exe against a fresh simulated controller: the box shown
during the upload (or none) must agree with what reached the controller. --long; 77 without wine or display."""
import os, queue, shutil, subprocess, sys, threading, time, types

sys.dont_write_bytecode = True   # no cache folder in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from campaign import Run, arguments, end_child, read_storage, run_campaign, start_child, upload_check, upload_draw

IDLE_MS = 7000   # the listing after the upload makes up to four attempts of about a second
RUN_LIMIT_S = 75   # Wine start-up, two listings, the pause, the slowest fault's ten seconds, a cancel's fifteen


def run_browser(s, workdir, tools):
    port = tools.ports.get()   # the COM port of this lane
    try:
        run = Run(s, workdir, tools.sim, os.path.join(tools.portdir, f"com{port}"))
        program = os.path.join(workdir, "program")
        os.makedirs(program)
        shutil.copy(tools.exe, program)
        with open(os.path.join(program, "Vantorix1.ini"), "w", newline="") as out:
            out.write(f"[Vantorix]\r\nPort=COM{port}\r\nBaudrate={s.baud or 57600}\r\nUsePath=0\r\nLogFile=0\r\n")
        if not run.start():
            return True, False, "", read_storage(run.root)[0], [], run.complaints, ""
        return watch(s, run, program, tools)
    finally:
        tools.ports.put(port)


def next_line(lines, timeout):
    try: return lines.get(timeout=timeout)
    except queue.Empty: return ""


def watch(s, run, program, tools):
    winpath = lambda path: "Z:" + os.path.abspath(path).replace("/", "\\")
    after = str(int(s.interrupts[0] * 1000) + 1) if s.label in ("cancel", "abort") else "0"
    command = ["wine", tools.watch, winpath(program), str(RUN_LIMIT_S * 1000), after if s.label == "cancel" else "0",
               after if s.label == "abort" else "0", str(IDLE_MS), "--"]
    command += [a for path in run.paths for a in ("-u", winpath(path))]   # Wine quotes what holds a blank
    command += ["-p", s.target_dir] * bool(s.target_dir) + ["-q"]
    watcher = start_child(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          env=tools.env)
    lines = queue.Queue()
    threading.Thread(target=lambda: [lines.put(raw.decode(errors="replace").rstrip("\r\n")) for raw in watcher.stdout]
                     + [lines.put(None)], daemon=True).start()
    began, upload_at, seen, finished = time.monotonic(), None, [], True
    while (line := next_line(lines, 0.005 if s.change_after and not run.changed else 0.02)) is not None:
        seen += [line] if line else []
        upload_at = upload_at or (time.monotonic() if line == "UPLOAD" else None)
        run.tick(None if upload_at is None else time.monotonic() - upload_at)
        if time.monotonic() - began > RUN_LIMIT_S + 30:
            finished = False
            break
    end_child(watcher, 10)
    storage, temps = run.settle_and_stop()
    finished = finished and "HANG" not in seen
    # Boxes before the upload dialog (connect, listing), during it, and after it.
    phase, boxes = 0, ([], [], [])
    for line in seen:
        phase = 1 if line == "UPLOAD" else 2 if line == "UPLOAD_END" else phase
        boxes[phase].extend([line[4:]] if line.startswith("BOX ") else [])
    upload_seen = "UPLOAD" in seen
    during = boxes[1] if upload_seen else boxes[0]
    message = "" if "CANCEL" in seen and not boxes[1] else during[0] if during else ""
    succeeded = upload_seen and not boxes[1] and "UPLOAD_END" in seen and not {"TERMINATED", "CANCEL"} & set(seen)
    ended = next((line for line in seen if line.startswith("EXIT ") or line in ("OPEN", "HANG", "TERMINATED")), "-")
    # Without a lost line the run ends after its upload; when the first read fails, the window stays open.
    wanted = "EXIT 0" if upload_seen else "OPEN"
    if finished and not s.timed() and not any(f.startswith("hangup-after") for f in s.faults) and ended != wanted:
        run.complaints.append(f"the automatic run ended with {ended}, expected {wanted}")
    return finished, succeeded, message, storage, temps, run.complaints, "watcher: " + " | ".join(seen)


def main():
    parser = arguments("Fault campaign of VBrowser.exe's automatic upload under Wine.", runs=8, deadline=150, jobs=1)
    for name in ("--exe", "--watch", "--sim", "--prefix", "--ports"):
        parser.add_argument(name, required=True)
    parser.add_argument("--com", type=int, action="append", default=[], help="COM ports, one per parallel run")
    args = parser.parse_args()
    missing = [path for path in (args.exe, args.watch, args.sim) if not os.path.exists(path)]
    if missing or not shutil.which("wine") or not os.environ.get("DISPLAY"):
        print(f"skipped: needs {missing or 'wine and a display (run under xvfb-run)'}")
        return 77
    tools = types.SimpleNamespace(exe=args.exe, watch=args.watch, sim=args.sim, portdir=os.path.abspath(args.ports),
                                  env=dict(os.environ, WINEPREFIX=os.path.abspath(args.prefix), WINEDEBUG="-all",
                                           WINEDLLOVERRIDES="mscoree,mshtml="), ports=queue.Queue())
    for n in (args.com or [6, 7])[:max(1, args.jobs)]:
        tools.ports.put(n)
    args.jobs = tools.ports.qsize()
    os.makedirs(tools.portdir, exist_ok=True)
    # One Wine server for the whole campaign, which leaves by itself a few seconds after its last program: other
    # tests may share the prefix, so it is never killed.
    subprocess.run(["wineserver", "-p5"], env=tools.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return run_campaign(args, "VBrowser.exe automatic-mode campaign", lambda s, workdir: run_browser(s, workdir, tools),
                        upload_draw("browser"), upload_check, "browser")


if __name__ == "__main__":
    sys.exit(main())
