#!/usr/bin/env python3
"""VBrowser.exe -u F1 ... -q under auto_upload_watch.exe against a fresh simulated controller that misbehaves in an
upload (faults.txt) or in a listing (browser_faults.txt): the boxes shown before, during and after the upload (or
none), the tree the window shows during the upload and how the run ends must agree with what reached the controller
and with what the fault leads to. --long; 77 without wine or display."""
import os, queue, random, shutil, subprocess, sys, threading, time, types

sys.dont_write_bytecode = True   # no cache folder in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from upload_campaign import FAULTS, Run, arguments, draw_scenario, end_child, expect, judge, read_storage, read_table, \
    run_campaign, start_child
from read_campaign import BAD, HITS, NO_ANSWER, SEND_FAILED, controller_listing, fill_fault, listing_places, \
    read_listing

IDLE_MS = 7000   # the listing after the upload makes up to four attempts of about a second
RUN_LIMIT_S = 75   # Wine start-up, two listings, the pause, the slowest fault's ten seconds, a cancel's fifteen
CLOSE_MS = 300   # the watcher closes a window that has been reading directories this long (endless talk only)
COM = 6   # the port of every run, one run after the other
WINE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "wine.sh")   # this machine's loader
LISTING_FAULTS = read_table("browser_faults.txt", "label ci long first hit text", {"hit": HITS})
# The listing faults first, so that their first runs win; their upload goes as without a fault.
TABLE = {**{label: types.SimpleNamespace(**dict(vars(f), ends="ok", text="")) for label, f in LISTING_FAULTS.items()},
         **FAULTS}


def draw_browser(seed, index, long_mode):
    s = draw_scenario(seed, index, long_mode, "browser", TABLE)
    s.hit, s.count, s.closes, s.place = "ok", 0, False, None
    if s.label in LISTING_FAULTS:
        fault, rng = LISTING_FAULTS[s.label], random.Random(f"{seed} {index} listing")
        n = rng.choice([":1", ":2"]) if "{n}" in fault.text else ""   # nothing: every listing
        s.place = lambda listing: fill_fault(rng, fault.text, lambda: listing_places(rng, listing), n=n,
                                             n1=f":{int(n[1:] or 0) + 1}" * bool(n))
        s.hit, s.count, s.closes, s.letter = fault.hit, int(n[1:] or 0), fault.hit == "endless", "l"
    return s


def shown_tree(s):
    """What the window shows while the upload dialog is open: the free space and the directory paths of the first
    listing, the one the controller sends for its folder as the run starts."""
    tree, (ram, flash), _ = read_listing(s.listing)
    line = f"  Available RamDisk: {ram} Bytes, FlashDisk: {flash} Bytes"
    return " | ".join([line, "/"] + [f"/{path}/" for _, _, _, size, path in tree if size is None])


def honest_box(boxes):
    """No box, or the one message of a listing that failed."""
    return boxes == [] or (len(boxes) == 1 and boxes[0] in (BAD, NO_ANSWER, SEND_FAILED))


def listing_problems(s, seen, storage):
    """The first listing, the upload it leads to and the listing after it, by the truth alone: a failure is said
    honestly and changes nothing; a fault that hits a single listing of the four attempts of "-u" leaves the upload
    to go ahead; only a line that talks for ever has its window closed during a listing."""
    problems = [f"the window was closed during a listing of a line that does not talk for ever"] * (
        seen.closed and not s.closes)
    if not seen.upload:
        survives = s.count != 0 and s.hit in ("ok", "none", "bad", "late")
        problems += [f"no upload, though only listing {s.count} of the attempts was hit"] * survives
        problems += [f"boxes {seen.boxes[0]} for the first listing: not one honest message"] * (
            not honest_box(seen.boxes[0]) or (seen.boxes[0] == [] and not seen.closed))
        wanted_end = "EXIT 0" if seen.closed else "OPEN"
        problems += [f"the run ended with {seen.ended}, expected {wanted_end}"] * (seen.ended != wanted_end)
        return problems + ["the controller's files changed"] * (storage != s.existing)
    # A "-q" run ends after the upload whether that listing reads or its message has been answered.
    problems += [f"boxes {seen.boxes[2]} after the upload: not one honest message"] * (not honest_box(seen.boxes[2]))
    problems += [f"the run ended with {seen.ended} after the upload, expected EXIT 0"] * (seen.ended != "EXIT 0")
    return problems


def browser_check(s, result):
    """The upload's verdict, the tree shown during the upload, and for a listing fault what the truth allows."""
    seen, storage = result[7], result[3]
    # The upload is judged as in faults.txt once it has started; a listing fault may keep it from starting.
    expected = expect(s) if seen.upload or s.label not in LISTING_FAULTS else None
    problems = result[5] + judge(s, expected, *result[:5])
    if seen.upload and seen.tree != shown_tree(s):
        problems.append(f"the window showed {seen.tree!r} during the upload, the folder holds {shown_tree(s)!r}")
    if not result[0] or s.timed() or any(f.startswith("hangup-after") for f in s.faults):
        return problems
    if s.label in LISTING_FAULTS:
        return problems + listing_problems(s, seen, storage)
    # Without a lost line the run ends after its upload; when the first read fails, the window stays open.
    wanted = "EXIT 0" if seen.upload else "OPEN"
    return problems + ([f"the automatic run ended with {seen.ended}, expected {wanted}"] * (seen.ended != wanted))


def run_browser(s, workdir, tools):
    # The listing as the run starts, with the upload faults that change it (a full controller), places the listing
    # faults.
    os.makedirs(workdir)
    s.listing = controller_listing(s, workdir, tools.sim, [f for f in s.faults if f == "no-space"])
    s.faults = s.place(s.listing) if s.place else s.faults
    run, program = Run(s, workdir, tools.sim, os.path.join(tools.ports, f"com{COM}")), f"{workdir}/program"
    os.makedirs(program)
    shutil.copy(tools.exe, program)
    with open(os.path.join(program, "Vantorix1.ini"), "w", newline="") as out:
        out.write(f"[Vantorix]\r\nPort=COM{COM}\r\nBaudrate={s.baud or 57600}\r\nUsePath=0\r\nLogFile=0\r\n")
    if not run.start():
        seen = types.SimpleNamespace(upload=False, tree="", boxes=([], [], []), ended="-", closed=False)
        return True, False, "", read_storage(run.root)[0], [], run.complaints, "", seen
    return watch(s, run, program, tools)


def next_line(lines, timeout):
    try:
        return lines.get(timeout=timeout)
    except queue.Empty:
        return ""


def watch(s, run, program, tools):
    winpath = lambda path: "Z:" + os.path.abspath(path).replace("/", "\\")
    after = str(int(s.interrupts[0] * 1000) + 1) if s.label in ("cancel", "abort") else "0"
    command = [WINE, tools.watch, winpath(program), str(RUN_LIMIT_S * 1000), after if s.label == "cancel" else "0",
               after if s.label == "abort" else "0", str(IDLE_MS), str(CLOSE_MS if s.closes else 0), "--"]
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
    observed = types.SimpleNamespace(upload=upload_seen, boxes=boxes, ended=ended, closed="CLOSE" in seen,
                                     tree=next((line[5:] for line in seen if line.startswith("TREE ")), "(not seen)"))
    return finished, succeeded, message, storage, temps, run.complaints, "watcher: " + " | ".join(seen), observed


def main():
    parser = arguments("Fault campaign of VBrowser.exe's automatic upload under Wine.", runs=12, deadline=200, jobs=1,
                       build=False)
    for name in ("--exe", "--watch", "--sim", "--prefix", "--ports"):
        parser.add_argument(name, required=True)
    args = parser.parse_args()
    missing = [path for path in (args.exe, args.watch, args.sim) if not os.path.exists(path)]
    if missing or not shutil.which("wineserver") or not os.environ.get("DISPLAY"):   # CI=true: a failure, not a skip
        print(f"{'FAIL' if os.environ.get('CI') == 'true' else 'skipped'}: needs "
              f"{missing or 'wine and a display (run under xvfb-run)'}")
        return 1 if os.environ.get("CI") == "true" else 77
    args.ports, args.env = os.path.abspath(args.ports), dict(os.environ, WINEPREFIX=os.path.abspath(args.prefix),
                                                              WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    os.makedirs(args.ports, exist_ok=True)
    # One Wine server for the whole campaign, which leaves by itself a few seconds after its last program: other
    # tests may share the prefix, so it is never killed.
    subprocess.run(["wineserver", "-p5"], env=args.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return run_campaign(args, "VBrowser.exe automatic-mode campaign", lambda s, workdir: run_browser(s, workdir, args),
                        draw_browser, browser_check, "browser")


if __name__ == "__main__":
    sys.exit(main())
