"""Fault campaign core: replayable upload batches and their faults, the simulated controller of a run, the verdict."""
import argparse, atexit, concurrent.futures, os, pathlib, random, shutil, signal, string, subprocess, tempfile
import threading, time
from types import SimpleNamespace

ERROR_TRYING, NO_SPACE = "There was an error trying to upload.", "Upload-Error: Not enough space."
LISTING = {"listing-invalid": "The Vantorix-answer was not correct. Please try to update again.",
           "listing-silent": "No answer from Vantorix. Please check if it is connected."}
TEMP_PREFIX = ".sim-upload-"            # the simulator's name for a file being received
SILENCE_MS, ABORT_DRAIN_S = 1000, 5.0   # the simulator gives up after this silence, then drains this long
# Sizes around the block boundaries of both modes and where the one-byte block number wraps.
BOUNDARY_SIZES = [1, 2, 127, 128, 129, 255, 256, 257, 1023, 1024, 1025, 2047, 2048, 2049, 32767, 32768, 32769]
WRAP_SIZES = [255 * 1024, 256 * 1024 - 1, 256 * 1024, 256 * 1024 + 1, 257 * 1024]
TARGETS = [("", "ram/cncprg"), ("/ram/cncprg/", "ram/cncprg"), ("/ram/", "ram"), ("/ROM/", "ROM"), ("/ram/x/", "ram/x")]


def read_table(name, columns, words):
    """{label: row} of a table beside this file, its fields split at blanks and named by `columns` ("-" an empty
    field); comments and empty lines left out. A row of another number of columns, a label twice, or a word that
    its column (words: column name -> the words it takes) does not know stops the campaign at the file and line."""
    names, rows = columns.split(), {}
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), name)) as table:
        for number, line in enumerate(table, 1):
            fields = line.split() if line.strip() and line[0] != "#" else []
            if fields and len(fields) != len(names):
                raise SystemExit(f"{name}:{number}: {len(fields)} columns, not {len(names)}")
            if fields and fields[0] in rows:
                raise SystemExit(f"{name}:{number}: {fields[0]} is in the table already")
            row = SimpleNamespace(**{column: "" if field == "-" else field for column, field in zip(names, fields)})
            for column, known in words.items():
                if fields and getattr(row, column) not in known:
                    raise SystemExit(f"{name}:{number}: {column} takes {', '.join(sorted(known))}, "
                                     f"not {getattr(row, column)}")
            rows.update({fields[0]: row} if fields else {})
    return rows


def draw_label(rng, table, index, long_mode):
    """A row's label by its weight, or the label of the row that takes this run first."""
    label = rng.choices(list(table), [float(row.long if long_mode else row.ci) for row in table.values()])[0]
    return next((label for label, row in table.items() if row.first == str(index)), label)


# How a correct sender ends (faults.txt explains each).
ENDINGS = {"ok", "first", "block", "close", "full", "no-dir", "listing-invalid", "listing-silent", "timed"}
FAULTS = read_table("faults.txt", "label ci long first ends text", {"ends": ENDINGS})


def upload(source, data):
    return SimpleNamespace(source=source, data=data, size=len(data), kind="file", target=source.replace(" ", "_"))


def draw_size(rng, long_mode):
    roll = rng.random()
    return rng.choice(BOUNDARY_SIZES) if roll < 0.45 else \
        max(1, rng.choice([128, 1024]) * rng.randint(1, 48) + rng.choice([-1, 0, 1])) if roll < 0.72 else \
        rng.randint(1, 16 * 1024) if roll < (0.90 if long_mode else 0.93) else \
        rng.choice(WRAP_SIZES + [rng.randint(180 * 1024, 420 * 1024)])


def draw_name(rng, taken):
    if taken and rng.random() < 0.06:
        return rng.choice(taken)            # the same name twice in a batch
    stem = "".join(rng.choice(string.ascii_letters + string.digits + "_-") for _ in range(rng.randint(1, 10)))
    stem = stem[:len(stem) // 2 + 1] + " " + stem[len(stem) // 2 + 1:] + "x" if rng.random() < 0.15 else stem
    return stem + rng.choice([".nc", ".NC", ".dat", ".txt", ""])


class Scenario:
    """A run's plan; a run without PC files, interrupts, kills or changes keeps these."""
    files, mode, interrupts, kill_at, change_after, change_index, changed_data = [], "crc", [], 0, 0, -1, b""

    def path(self, upload):
        return f"{self.host_dir}/{upload.target}"

    def blocks(self, upload):
        return -(-upload.size // (1024 if self.mode == "crc" else 128))

    def seconds(self):   # to send the batch through the pty, with room to spare
        return sum(f.size for f in self.files) * 1.1 / 150_000

    def timed(self):
        return bool(self.kill_at or self.interrupts or self.change_after)


def draw_scenario(seed, index, long_mode, front, table=None):
    """Times count from the start of vtx (its listing takes about a second), or from the browser's upload dialog.
    table: the faults to draw from, as FAULTS (the default); a row's first run wins over those after it."""
    table = table or FAULTS
    s, rng, listing_s = Scenario(), random.Random(seed * 1_000_003 + index), float(front == "vtx")
    s.front, s.mode, s.files = front, rng.choice(["crc", "crc", "checksum"]), []
    for _ in range(rng.choice([1, 1, 1, 2, 2, 3, 4] + [5, 6] * long_mode)):
        s.files.append(upload(draw_name(rng, [f.source for f in s.files]), rng.randbytes(draw_size(rng, long_mode))))
    s.target_dir, s.host_dir = rng.choice(TARGETS)
    s.make_dir, s.ram_size, s.flash_size = True, 4 << 20, 4 << 20
    s.baud = 0   # the line unpaced: as fast as the terminal allows
    s.existing = {s.path(u): rng.randbytes(rng.randint(1, 3000)) for u in s.files if rng.random() < 0.2}
    s.existing["ram/cncprg/keep.nc"] = rng.randbytes(rng.randint(1, 500))
    s.label = draw_label(rng, table, index, long_mode)
    s.ends = table[s.label].ends
    s.faults = table[s.label].text.format(
        k=rng.randint(1, min(max(s.blocks(f) for f in s.files) + 1, 40)), burst=rng.randint(1, 8),
        nine=rng.choice([9, 9, 12]), delay=max(1, min(40, 3000 // (sum(map(s.blocks, s.files)) + 3 * len(s.files)))),
        every_listing_invalid=" ".join(f"listing-invalid:{n}" for n in range(1, 3 if front == "vtx" else 5))).split()
    at = rng.randrange(len(s.files))
    if s.label == "tight-space":   # room for the files before `at` and for all, all but one byte or part of it
        used = sum(len(v) for k, v in s.existing.items() if k.split("/")[0] == s.host_dir.split("/")[0])
        room = max(1, used + sum(f.size for f in s.files[:at]) + rng.choice([size := s.files[at].size, size - 1,
                                                                             rng.randint(0, size)]))
        setattr(s, "flash_size" if s.host_dir.startswith("ROM") else "ram_size", room)
    elif s.label == "bad-file":
        vars(s.files[at]).update(kind=rng.choice(["missing", "missing", "empty", "folder"]), size=0, data=b"")
        s.existing.pop(s.path(s.files[at]), None)
    elif s.label == "missing-dir":
        s.target_dir, s.host_dir, s.make_dir = "/ram/x/", "ram/x", False
        s.existing = {k: v for k, v in s.existing.items() if not k.startswith("ram/x/")}
    elif s.label == "kill-sim":
        s.kill_at, s.kill_how = rng.uniform(0.2, listing_s + s.seconds() + 0.3), rng.choice(["kill", "terminate"])
    elif s.label == "cancel":
        s.interrupts = [listing_s + rng.uniform(0.1, s.seconds() + 0.3)]
    elif s.label == "abort":
        first = rng.uniform(0.3, listing_s + s.seconds() + 0.3)
        s.interrupts = [first, first + rng.uniform(0.05, 0.6)]
    elif s.label == "file-changes":      # big enough to be caught in the middle of its transfer
        s.files[at] = new = upload(s.files[at].source, rng.randbytes(rng.randint(40 * 1024, 200 * 1024)))
        s.change_index, s.change_how = at, rng.choice(["grow", "shrink", "rewrite", "replace"])
        s.changed_data = {"grow": new.data + rng.randbytes(rng.randint(1, 5000)),
                          "shrink": new.data[:rng.randint(1, new.size - 1)]}.get(s.change_how, rng.randbytes(new.size))
        s.change_after = rng.randint(1, new.size * 3 // 4)
    s.folders = ["ram/cncprg", "ROM"] + [s.host_dir] * s.make_dir
    return s


def expect(s):
    """(exit status, message, files arriving) of a correct sender, or None when timing decides."""
    n, vtx, ends = len(s.files), s.front == "vtx", s.ends
    if s.timed() or ends == "timed":
        return None
    bad = next((i for i, u in enumerate(s.files) if u.kind != "file"), n)
    if vtx and bad < n:   # vtx checks the PC files before it opens the port: nothing arrives
        reason = {"missing": "No such file or directory", "empty": "empty file (the controller takes none)"}
        return 1, f"vtx: {bad}/{s.files[bad].source}: {reason.get(s.files[bad].kind, 'Is a directory')}", 0
    if vtx and ends == "no-dir":   # vtx checks the folder and the space before the upload: nothing arrives
        return 1, f"vtx: /{s.host_dir}/: no such directory on the controller", 0
    if ends in ("first", "no-dir") or ends in LISTING:
        return 1, LISTING.get(ends, ERROR_TRYING), 0
    disk, where = ("ROM", "flash disk") if s.host_dir == "ROM" else ("ram", "RAM disk")
    used = sum(len(data) for path, data in s.existing.items() if path.split("/")[0] == disk)
    budget = 0 if ends == "full" else max(0, (s.flash_size if disk == "ROM" else s.ram_size) - used)
    k = int(s.faults[0].split(":")[1]) if ends == "block" else 1 << 30
    for i, u in enumerate(s.files):
        if u.kind != "file":
            return 1, "Upload-Error: Can't read file.", i
        if u.size > budget and vtx:
            return 1, f"vtx: {i}/{u.source}: {NO_SPACE} ({u.size} bytes, {budget} free on the {where})", 0
        if u.size > budget or k <= s.blocks(u):
            return 1, NO_SPACE if u.size > budget else ERROR_TRYING, i
        budget -= u.size
    summary = f"{n} file{'' if n == 1 else 's'} uploaded, {sum(u.size for u in s.files)} bytes" if vtx else ""
    return (1, ERROR_TRYING, n) if ends == "close" else (0, summary, n)


def judge(s, expected, finished, succeeded, message, storage, temps):
    """The controller must hold the first k files (the changing one in either version) and its old files otherwise,
    success only when all arrived, no temp file left, no hang; the problems of one run."""
    matching = [k for k in range(next((i for i, u in enumerate(s.files) if u.kind != "file"), len(s.files)) + 1)
                if storage in [dict(s.existing, **{s.path(u): s.changed_data if new and i == s.change_index else u.data
                                                   for i, u in enumerate(s.files[:k])}) for new in (False, True)]]
    problems = [problem for bad, problem in [
        (not finished, "hang: the sender did not end within its limit"),
        (temps, f"upload temp file left after the controller gave up: {temps}"),
        (not matching, "controller holds no clean prefix of the batch: "
                       f"{[(p, len(data)) for p, data in sorted(storage.items()) if s.existing.get(p) != data]}"),
        (finished and succeeded and len(s.files) not in matching, "success reported, but not every file arrived whole")]
        if bad]
    if expected and finished:   # (exit status, message, files arriving) of a correct sender
        problems += [f"{'success' if succeeded else 'failure'}, expected exit {expected[0]}"] * \
            (succeeded != (expected[0] == 0))
        problems += [f"message {message!r}, expected {expected[1]!r}"] * (message != expected[1])
        arrived = bool(matching) and expected[2] not in matching   # no clean prefix at all is told above
        problems += [f"{matching} file(s) arrived, expected {expected[2]}"] * arrived
    return problems


CHILDREN, CHILDREN_LOCK, STOPPING = set(), threading.Lock(), []


def start_child(args, **options):
    with CHILDREN_LOCK:   # none starts once the campaign is stopping
        if STOPPING:
            raise RuntimeError("the campaign is stopping")
        CHILDREN.add(child := subprocess.Popen(args, **options))
    return child


def end_child(child, limit_s=5):
    try:
        child.terminate()
        child.wait(timeout=limit_s)
    except subprocess.TimeoutExpired:
        child.kill()
        child.wait()
    CHILDREN.discard(child)


def end_all_children():
    with CHILDREN_LOCK:
        STOPPING.append(True)
    for child in list(CHILDREN):
        end_child(child, 1)


def write(path, data):
    pathlib.Path(path).parent.mkdir(parents=True, exist_ok=True)
    pathlib.Path(path).write_bytes(data)


def read_storage(root):   # (visible files: relative path -> content, upload temp files)
    files = [p for p in pathlib.Path(root).rglob("*") if p.is_file() and not p.is_symlink()]
    return {str(p.relative_to(root)): p.read_bytes() for p in files if not p.name.startswith(".")}, \
        [str(p.relative_to(root)) for p in files if p.name.startswith(TEMP_PREFIX)]


class Run:
    """One run's controller storage, PC files and simulated controller on `link`."""

    def __init__(self, s, workdir, binary, link):
        self.s, self.root, self.link, self.complaints, self.killed, self.changed = s, f"{workdir}/root", link, [], 0, 0
        for folder in s.folders:
            os.makedirs(os.path.join(self.root, folder), exist_ok=True)
        for path, content in s.existing.items():
            write(os.path.join(self.root, path), content)
        # Each PC file in its own folder (a name may come twice); a missing one left out, a folder in its place.
        self.paths = [os.path.join(workdir, "pc", str(i), u.source) for i, u in enumerate(s.files)]
        for path, u in zip(self.paths, s.files):
            if u.kind != "missing":
                os.makedirs(path) if u.kind == "folder" else write(path, u.data)
        self.args = [binary, "--root", self.root, "--link", link, "--mode", s.mode, "--silence-ms", str(SILENCE_MS),
                     "--ram-size", str(s.ram_size), "--flash-size", str(s.flash_size)]
        self.args += [a for f in s.faults for a in ("--fault", f)]

    def start(self):
        """Starts the simulator and waits until it names its terminal; False when it did not come up."""
        self.sim = start_child(self.args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        up = self.sim.stdout.readline() and os.path.islink(self.link)
        self.sim.stdout.close()
        if not up:
            end_child(self.sim)
            self.complaints.append("the simulator did not come up")
        return bool(up)

    def tick(self, since):
        """Changes the PC file, kills and restarts the controller when due; since: seconds from time zero or None."""
        if (s := self.s).change_after and not self.changed and self.change_due():
            self.changed, path = True, self.paths[s.change_index]
            target = path + ".new" * (s.change_how == "replace")   # written beside it and renamed over it
            with open(target, "r+b" if target == path else "wb") as out:    # or the same file changed in place
                out.write(s.changed_data)
                out.truncate()
            os.replace(target, path)
        if s.kill_at and since is not None and since >= s.kill_at and not self.killed:
            self.killed = True
            getattr(self.sim, s.kill_how)()
            end_child(self.sim)
            self.start()                           # a fresh controller on the same storage

    def change_due(self):
        """Once the files before it arrived and the controller holds change_after bytes of it."""
        s, folder = self.s, pathlib.Path(self.root, self.s.host_dir)
        try:
            return all(os.path.getsize(f"{self.root}/{s.path(u)}") == u.size for u in s.files[:s.change_index]) \
                and any(p.stat().st_size >= s.change_after for p in folder.glob(TEMP_PREFIX + "*"))
        except OSError:
            return False

    def settle_and_stop(self):
        """Lets the controller give up a broken upload, stops it; (visible files, temp files left at any point)."""
        end = time.monotonic() + SILENCE_MS / 1000 + ABORT_DRAIN_S + 1 + 3 * (self.s.label == "stall-from")
        while self.sim.poll() is None and read_storage(self.root)[1] and time.monotonic() < end:
            time.sleep(0.1)
        temps = read_storage(self.root)[1]
        end_child(self.sim)
        return read_storage(self.root)[0], sorted(set(temps) | set(read_storage(self.root)[1]))


def run_vtx(s, workdir, build, command, limit):
    """vtx --port LINK COMMAND(run) against the run's controller, within limit seconds, with the interrupts, kills
    and changes of the plan; (finished, exit status, stderr lines, stdout, visible files, temp files, complaints)."""
    run = Run(s, workdir, os.path.join(build, "vantorix-sim"), f"{workdir}/port")
    if not run.start():
        return True, None, [""], "", {}, [], run.complaints
    with open(f"{workdir}/out", "wb") as out, open(f"{workdir}/err", "wb") as err:
        vtx = start_child([os.path.join(build, "vtx"), "--port", run.link] + command(run), stdin=subprocess.DEVNULL,
                          stdout=out, stderr=err)
    interrupts, began = list(s.interrupts), time.monotonic()
    while vtx.poll() is None and time.monotonic() - began < limit:
        if interrupts and interrupts[0] <= time.monotonic() - began:
            vtx.send_signal(signal.SIGINT)
            interrupts.pop(0)
        run.tick(time.monotonic() - began)
        time.sleep(0.005 if s.change_after and not run.changed else 0.02)
    finished = vtx.poll() is not None
    end_child(vtx, 0)
    storage, temps = run.settle_and_stop()
    report = [line.strip() for line in pathlib.Path(workdir, "err").read_text(errors="replace").splitlines()]
    return finished, vtx.returncode, [line for line in report if line] or [""], \
        pathlib.Path(workdir, "out").read_text(errors="replace"), storage, temps, run.complaints


def arguments(description, runs, deadline, jobs, what="upload batches", build=True):
    """The options every campaign takes; build: also --build, the folder with vtx and vantorix-sim."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--runs", type=int, help=f"{what} (default {runs}, with --long 300)")
    parser.add_argument("--seed", type=int, default=int(time.time()) % 1_000_000, help="default: from the clock")
    parser.add_argument("--long", action="store_true", help=f"300 {what}, slow faults drawn more often, up to an hour")
    parser.add_argument("--only", type=int, action="append", default=[], help="replay this run number (repeatable)")
    if build:
        parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "..", "build", "native"),
                            help="folder with vtx and vantorix-sim (default build/native)")
    parser.set_defaults(default_runs=runs, deadline=deadline, jobs=jobs)
    return parser


def run_campaign(args, name, run_one, draw, check, prefix):
    """draw(seed, index, long_mode) -> scenario with a label; run_one(scenario, workdir) -> (finished, succeeded,
    message, storage, temps, complaints, detail); check(scenario, result) -> the run's problems."""
    base, lock, start, failed, skipped, by_label = tempfile.mkdtemp(prefix=f"{prefix}-campaign-"), threading.Lock(), \
        time.monotonic(), [], [], {}
    indices = args.only or range(1, (args.runs or (300 if args.long else args.default_runs)) + 1)
    atexit.register(shutil.rmtree, base, True), atexit.register(end_all_children)   # the latter first

    def on_signal(number, _frame):      # ends at once, every child with it, and then the run folders
        end_all_children()
        time.sleep(0.5)                 # the lanes notice their children ended and stop
        shutil.rmtree(base, ignore_errors=True)
        os._exit(128 + number)
    signal.signal(signal.SIGTERM, on_signal), signal.signal(signal.SIGINT, on_signal)

    def one(index):
        if time.monotonic() >= start + (3600 if args.long else args.deadline):
            return skipped.append(index)
        s, workdir, began = draw(args.seed, index, args.long), f"{base}/{index}", time.monotonic()
        result = run_one(s, workdir)
        shutil.rmtree(workdir, ignore_errors=True)
        if STOPPING:                    # interrupted: its children were ended, not its sender
            return
        problems = check(s, result)
        with lock:
            print(f"{'FAIL' if problems else 'ok  '} run {index:4d} {time.monotonic() - began:5.1f}s {s.label:<20} "
                  f"{'success' if result[1] else 'failure'}: {result[2] or '(no message)'}", flush=True)
            by_label.setdefault(s.label, []).append(bool(problems))
            failed.extend([f"run {index}: replay with --seed {args.seed} --only {index}{' --long' * args.long}"
                           + "".join(f"\n    {p}" for p in problems + [f"output: {result[6]}"])] * bool(problems))

    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        list(pool.map(one, indices))
    table = [f"{label:<20} {len(bad):5d} {sum(bad):7d}" for label, bad in sorted(by_label.items())]
    late = f", {len(skipped)} not started (the deadline came first: the campaign is not whole)" * bool(skipped)
    print("\nfault label          runs  failed", *table, *["\ndisagreements:"] * bool(failed), *failed, sep="\n")
    print(f"\n{name}, seed {args.seed}: {len(indices) - len(failed) - len(skipped)} passed, {len(failed)} failed{late}")
    return 1 if failed or skipped else 0
