"""Fault campaign core: random upload batches (drawn from seed and run number
alone, so any run can be replayed) with the fault that strikes them, the
simulated controller of each run, and the verdict: the controller holds
exactly the first k files of the batch and its old files otherwise, success
only when all arrived, no temp file left; runs without timed events must give
the outcome of expect(). The fronts start vtx or VBrowser.exe."""
import argparse, atexit, concurrent.futures, os, random, select, shutil, signal, subprocess, tempfile, threading
import time

ERROR_TRYING = "There was an error trying to upload."
CANT_READ = "Upload-Error: Can't read file."
NO_SPACE = "Upload-Error: Not enough space."
LISTING_NOT_CORRECT = "The Vantorix-answer was not correct. Please try to update again."
LISTING_NO_ANSWER = "No answer from Vantorix. Please check if it is connected."
# What vtx says of a PC file it refuses before opening the port.
VTX_FILE_REASONS = {"missing": "No such file or directory", "empty": "empty file (the controller takes none)",
                    "folder": "Is a directory"}
# Sizes around the block boundaries of both modes and where the one-byte block number wraps.
BOUNDARY_SIZES = [1, 2, 127, 128, 129, 255, 256, 257, 1023, 1024, 1025, 2047, 2048, 2049, 32767, 32768, 32769]
WRAP_SIZES = [255 * 1024, 256 * 1024 - 1, 256 * 1024, 256 * 1024 + 1, 257 * 1024]
FAST_BYTES_PER_SECOND = 150_000      # through the pty without pacing, with room to spare
TEMP_PREFIX = ".sim-upload-"         # the simulator's name for a file being received
SILENCE_MS, ABORT_DRAIN_S = 1000, 5.0   # the simulator gives up after this silence, then drains this long
TARGET_DIRS = [("", "ram/cncprg"), ("/ram/cncprg/", "ram/cncprg"), ("/ram/", "ram"), ("/ROM/", "ROM"),
               ("/ram/x/", "ram/x")]

# label, weight in the CI-sized run, weight in the long run, simulator faults. The silent faults cost the
# sender its ten-second waits, so the CI-sized run draws them rarely. Faults without simulator text are
# set up in draw_scenario().
FAULTS = [("none", 18, 10, ""), ("nak-burst", 12, 8, "nak:{k}:{burst}"), ("nak-nine", 5, 4, "nak:{k}:{nine}"),
          ("can-block", 7, 5, "can-block:{k}"), ("can-start", 4, 3, "can-start"), ("can-header", 4, 3, "can-header"),
          ("silent-from", 5, 5, "silent-from:{k}"), ("silent-eot", 2, 4, "silent-eot"),
          ("silent-header", 2, 4, "silent-header"), ("silent-close", 2, 4, "silent-close"),
          ("silent-start", 0.5, 2, "silent-start"), ("silent-data-start", 0.5, 2, "silent-data-start"),
          ("stall-from", 0, 1, "stall-from:{k}:3"), ("listing-invalid-once", 3, 2, "listing-invalid:1"),
          ("listing-invalid", 2, 2, "{every_listing_invalid}"), ("listing-silent-once", 2, 2, "listing-silent:1"),
          ("listing-silent", 1, 2, "listing-silent"), ("listing-gap", 1, 2, "listing-gap:1500"),
          ("no-space", 4, 3, "no-space"), ("tight-space", 6, 5, ""), ("bad-file", 6, 5, ""),
          ("missing-dir", 2, 2, ""), ("ack-delay", 3, 3, "ack-delay:{delay}"),
          ("ack-delay-long", 1, 2, "ack-delay:2500"),   # past a data block's reply wait, within a header's
          ("hangup", 2, 2, "hangup-after:1"), ("kill-sim", 4, 6, ""), ("cancel", 2, 5, ""), ("abort", 5, 6, ""),
          ("file-changes", 3, 5, "")]
# The first runs take these in turn, so that even a short campaign meets each way a batch can end badly.
FIRST_FAULTS = ["none", "kill-sim", "abort", "cancel", "can-block", "nak-nine", "silent-from", "tight-space",
                "bad-file", "no-space", "listing-invalid", "hangup"]


class Upload:
    def __init__(self, source, data):
        self.source, self.data, self.size, self.kind = source, data, len(data), "file"
        self.target = source.replace(" ", "_")


class Scenario:
    def __init__(self, seed, index, long_mode, front):
        rng = self.rng = random.Random(seed * 1_000_003 + index)
        self.index, self.front, self.attempts = index, front, 2 if front == "vtx" else 4
        self.mode = rng.choice(["crc", "crc", "checksum"])
        self.block = 1024 if self.mode == "crc" else 128
        self.files, names = [], []
        for _ in range(rng.choice([1, 1, 1, 2, 2, 3, 4] + ([5, 6] if long_mode else []))):
            names.append(draw_name(rng, names))
            self.files.append(Upload(names[-1], rng.randbytes(draw_size(rng, long_mode))))
        self.target_dir, self.host_dir = rng.choice(TARGET_DIRS)
        self.make_dir, self.ram_size, self.flash_size = True, 4 << 20, 4 << 20
        self.existing = {self.path(u): rng.randbytes(rng.randint(1, 3000)) for u in self.files if rng.random() < 0.2}
        self.existing["ram/cncprg/keep.nc"] = rng.randbytes(rng.randint(1, 500))
        self.faults, self.baud, self.kill_at, self.kill_signal, self.interrupts = [], 0, 0.0, "", []
        self.change_after, self.change_index, self.change_how, self.changed_data = 0, -1, "", b""

    def path(self, upload):
        return f"{self.host_dir}/{upload.target}"

    def blocks(self, upload):
        return (upload.size + self.block - 1) // self.block

    def total_bytes(self):
        return sum(f.size for f in self.files if f.kind == "file")

    def transfer_seconds(self):
        return self.total_bytes() * 1.1 / (self.baud / 10 if self.baud else FAST_BYTES_PER_SECOND)

    def timed(self):
        return bool(self.kill_at or self.interrupts or self.change_after)

    def describe(self):
        files = ",".join(f"{f.source!r}:{f.size if f.kind == 'file' else f.kind}" for f in self.files)
        return f"files={files} old={','.join(sorted(self.existing))} " + " ".join(
            f"{k}={v}" for k, v in vars(self).items() if v and k not in ("rng", "files", "existing", "changed_data"))

    def storage_after(self, arrived, changed=False):
        """The controller's files when the first `arrived` files came through
        (the changing file in its new version when `changed`)."""
        state = dict(self.existing)
        for i, upload in enumerate(self.files[:arrived]):
            state[self.path(upload)] = self.changed_data if changed and i == self.change_index else upload.data
        return state


def draw_size(rng, long_mode):
    roll = rng.random()
    if roll < 0.45:
        return rng.choice(BOUNDARY_SIZES)
    if roll < 0.72:
        return max(1, rng.choice([128, 1024]) * rng.randint(1, 48) + rng.choice([-1, 0, 1]))
    if roll < (0.90 if long_mode else 0.93):
        return rng.randint(1, 16 * 1024)
    return rng.choice(WRAP_SIZES + [rng.randint(180 * 1024, 420 * 1024)])


def draw_name(rng, taken):
    if taken and rng.random() < 0.06:
        return rng.choice(taken)            # the same name twice in a batch
    stem = "".join(rng.choice("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-")
                   for _ in range(rng.randint(1, 10)))
    if rng.random() < 0.15:
        stem = stem[: len(stem) // 2 + 1] + " " + stem[len(stem) // 2 + 1:] + "x"
    return stem + rng.choice([".nc", ".NC", ".dat", ".txt", ""])


def draw_scenario(seed, index, long_mode, allowed, front):
    """Times of the vtx front count from the sender's start (its listing takes
    about a second), the browser's from the upload dialog."""
    s = Scenario(seed, index, long_mode, front)
    rng, listing_s = s.rng, 1.0 if front == "vtx" else 0.0
    table = [(row[0], (row[2] if long_mode else row[1]) if allowed is None else 1) for row in FAULTS
             if allowed is None or row[0] in allowed]
    s.label = rng.choices([t[0] for t in table], weights=[t[1] for t in table])[0]
    if allowed is None and index <= len(FIRST_FAULTS):
        s.label = FIRST_FAULTS[index - 1]
    template = next(row[3] for row in FAULTS if row[0] == s.label)
    delay = max(1, min(40, 3000 // (sum(s.blocks(f) for f in s.files) + 3 * len(s.files))))
    s.faults = template.format(k=rng.randint(1, min(max(s.blocks(f) for f in s.files) + 1, 40)),
                               burst=rng.randint(1, 8), nine=rng.choice([9, 9, 12]), delay=delay,
                               every_listing_invalid=" ".join(f"listing-invalid:{n}"
                                                              for n in range(1, s.attempts + 1))).split()
    at = rng.randrange(len(s.files))
    if s.label == "tight-space":
        used = sum(len(v) for k, v in s.existing.items() if k.split("/")[0] == s.host_dir.split("/")[0])
        size = s.files[at].size
        room = max(1, used + sum(f.size for f in s.files[:at]) + rng.choice([size, size - 1, rng.randint(0, size)]))
        setattr(s, "flash_size" if s.host_dir.startswith("ROM") else "ram_size", room)
    elif s.label == "bad-file":
        bad = s.files[at]
        bad.kind = rng.choice(["missing", "missing", "empty", "folder"])
        bad.size, bad.data = (-1 if bad.kind == "missing" else 0), b""
        s.existing.pop(s.path(bad), None)
    elif s.label == "missing-dir":
        s.target_dir, s.host_dir, s.make_dir = "/ram/x/", "ram/x", False
        s.existing = {k: v for k, v in s.existing.items() if not k.startswith("ram/x/")}
    elif s.label == "kill-sim":
        s.kill_at = rng.uniform(0.2, listing_s + s.transfer_seconds() + 0.3)
        s.kill_signal = rng.choice(["KILL", "TERM"])
    elif s.label == "cancel":
        s.interrupts = [listing_s + rng.uniform(0.1, s.transfer_seconds() + 0.3)]
    elif s.label == "abort":
        first = rng.uniform(0.3, listing_s + s.transfer_seconds() + 0.3)
        s.interrupts = [first, first + rng.uniform(0.05, 0.6)]
    elif s.label == "file-changes":      # big enough to be caught in the middle of its transfer
        s.files[at] = upload = Upload(s.files[at].source, rng.randbytes(rng.randint(40 * 1024, 200 * 1024)))
        s.change_index, s.change_how = at, rng.choice(["grow", "shrink", "rewrite", "replace"])
        s.changed_data = {"grow": upload.data + rng.randbytes(rng.randint(1, 5000)),
                          "shrink": upload.data[:rng.randint(1, upload.size - 1)]}.get(
                              s.change_how, rng.randbytes(upload.size))
        s.change_after = rng.randint(1, upload.size * 3 // 4)
    if rng.random() < 0.12 and "ack-delay" not in s.label:   # pacing at a real line speed, small batches only
        baud = rng.choice([38400, 57600, 115200])
        s.baud = baud if s.total_bytes() <= baud / 10 * 2.5 else 0
    return s


def expect(s):
    """(exit status, message, files arriving) of a correct sender, or None when timing decides."""
    if s.timed() or any(f.startswith("listing-gap") for f in s.faults):
        return None
    faults = {f.split(":")[0]: f for f in s.faults}
    vtx = s.front == "vtx"
    # vtx checks the PC files before it opens the port, and the batch against
    # the listing before it starts the upload: then nothing arrives.
    bad = [i for i, upload in enumerate(s.files) if upload.kind != "file"]
    if vtx and bad:
        return 1, f"vtx: {bad[0]}/{s.files[bad[0]].source}: {VTX_FILE_REASONS[s.files[bad[0]].kind]}", 0
    if len([f for f in s.faults if f.startswith("listing-invalid")]) >= s.attempts:
        return 1, LISTING_NOT_CORRECT, 0
    if s.faults == ["listing-silent"]:
        return 1, LISTING_NO_ANSWER, 0
    if "hangup-after" in faults:
        return 1, ERROR_TRYING, 0
    disk = "ROM" if s.target_dir[:4].upper() == "/ROM" else "ram"
    used = sum(len(content) for path, content in s.existing.items() if path.split("/")[0] == disk)
    budget = 0 if "no-space" in faults else max(0, (s.flash_size if disk == "ROM" else s.ram_size) - used)
    for i, upload in enumerate(s.files):
        if upload.kind != "file":
            return 1, CANT_READ, i
        if upload.size > budget:
            if vtx:
                where = "flash disk" if disk == "ROM" else "RAM disk"
                return 1, f"vtx: {i}/{upload.source}: {NO_SPACE} ({upload.size} bytes, {budget} free on the {where})", 0
            return 1, NO_SPACE, i
        budget -= upload.size
        if vtx and not s.make_dir:
            return 1, f"vtx: /{s.host_dir}/: no such directory on the controller", 0
        if (i == 0 and faults.keys() & {"can-start", "silent-start"}) or not s.make_dir \
                or faults.keys() & {"can-header", "silent-header", "silent-data-start", "silent-eot"} \
                or ("ack-delay" in faults and int(faults["ack-delay"].split(":")[1]) >= 2100):
            return 1, ERROR_TRYING, i
        for name, *args in (f.split(":") for f in s.faults):
            if (name in ("can-block", "silent-from", "stall-from") or (name == "nak" and int(args[1]) >= 9)) \
                    and int(args[0]) <= s.blocks(upload):
                return 1, ERROR_TRYING, i
    if "silent-close" in faults:
        return 1, ERROR_TRYING, len(s.files)
    n = len(s.files)
    return 0, "" if s.front == "browser" else f"{n} file{'' if n == 1 else 's'} uploaded, {s.total_bytes()} bytes", n


def judge(s, expected, finished, succeeded, message, storage, temps):
    """The problems of one run; none when it passed."""
    problems = [] if finished else ["hang: the sender did not end within its limit"]
    if temps:
        problems.append("upload temp file left after the controller gave up: " + ", ".join(temps))
    deliverable = next((i for i, u in enumerate(s.files) if u.kind != "file"), len(s.files))
    matching = [k for k in range(deliverable + 1)
                if any(s.storage_after(k, changed) == storage for changed in {False, bool(s.change_after)})]
    if not matching:
        problems.append("controller holds no clean prefix of the batch: " + ", ".join(
            f"{p}: {len(data)} bytes" for p, data in sorted(storage.items()) if p not in s.existing
            or data != s.existing[p]))
    if finished and succeeded and len(s.files) not in matching:
        problems.append("success reported, but not every file arrived whole")
    if expected is not None and finished:
        if (succeeded, message) != (expected[0] == 0, expected[1]):
            problems.append(f"{'success' if succeeded else 'failure'} {message!r}, expected exit {expected[0]} "
                            f"{expected[1]!r}")
        if matching and expected[2] not in matching:
            problems.append(f"{matching[0]} file(s) arrived, expected {expected[2]}")
    return problems


# ---- the processes of a run ------------------------------------------------------

CHILDREN, CHILDREN_LOCK, STOPPING = set(), threading.Lock(), []


def start_child(args, **options):
    with CHILDREN_LOCK:
        if STOPPING:
            raise RuntimeError("the campaign is stopping")
        child = subprocess.Popen(args, **options)
        CHILDREN.add(child)
        return child


def end_child(child, limit_s=5):
    """Ends a child (SIGTERM, then SIGKILL); '' or a complaint when it had to be killed."""
    complaint = ""
    if child.poll() is None:
        child.terminate()
        try:
            child.wait(timeout=limit_s)
        except subprocess.TimeoutExpired:
            complaint = f"{os.path.basename(child.args[0])} did not end within {limit_s} s of SIGTERM"
            child.kill()
            child.wait()
    with CHILDREN_LOCK:
        CHILDREN.discard(child)
    return complaint


def end_all_children():
    with CHILDREN_LOCK:
        STOPPING.append(True)
    for child in list(CHILDREN):
        end_child(child, 1)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def read_storage(root):
    """(visible files: relative path -> content, upload temp files)."""
    visible, temps = {}, []
    for folder, _, names in os.walk(root):
        for name in names:
            full, relative = os.path.join(folder, name), os.path.relpath(os.path.join(folder, name), root)
            if name.startswith(TEMP_PREFIX):
                temps.append(relative)
            elif not name.startswith(".") and os.path.isfile(full) and not os.path.islink(full):
                with open(full, "rb") as source:
                    visible[relative] = source.read()
    return visible, temps


class Run:
    """One run's controller storage, PC files and simulated controller on `link`."""

    def __init__(self, s, workdir, binary, link):
        self.s, self.root, self.link, self.complaints = s, os.path.join(workdir, "root"), link, []
        for folder in ["ram/cncprg", "ROM"] + [s.host_dir] * s.make_dir:
            os.makedirs(os.path.join(self.root, folder), exist_ok=True)
        for path, content in s.existing.items():
            write(os.path.join(self.root, path), content)
        # Each PC file in its own folder: a name may come twice.
        self.paths = [os.path.join(workdir, "pc", str(i), u.source) for i, u in enumerate(s.files)]
        for path, upload in zip(self.paths, s.files):
            os.makedirs(path if upload.kind == "folder" else os.path.dirname(path))
            if upload.kind in ("file", "empty"):
                write(path, upload.data)
        self.args = [binary, "--root", self.root, "--link", link, "--mode", s.mode, "--silence-ms", str(SILENCE_MS),
                     "--ram-size", str(s.ram_size), "--flash-size", str(s.flash_size)]
        self.args += ["--baud", str(s.baud)] * bool(s.baud) + [a for f in s.faults for a in ("--fault", f)]
        self.log, self.sim, self.killed, self.changed = os.path.join(workdir, "sim.log"), None, False, False

    def start(self):
        """Starts the controller and waits for its terminal; False when it did not come up."""
        with open(self.log, "ab") as log:
            self.sim = start_child(self.args, stdout=subprocess.PIPE, stderr=log, stdin=subprocess.DEVNULL)
        ready = select.select([self.sim.stdout], [], [], 10)[0]
        line = self.sim.stdout.readline() if ready else b""
        self.sim.stdout.close()
        if line.strip() and os.path.islink(self.link):
            return True
        self.complaints.append("the simulator did not come up")
        end_child(self.sim, 1)
        return False

    def tick(self, since):
        """Changes the PC file and kills and restarts the controller when due;
        since: seconds from the events' zero, None before it."""
        s = self.s
        if s.change_after and not self.changed and self.change_due():
            self.changed = True
            path, new = self.paths[s.change_index], s.changed_data
            if s.change_how == "replace":          # written beside it and renamed over it
                write(path + ".new", new)
                os.replace(path + ".new", path)
            else:
                with open(path, "r+b") as out:     # the same file grown, shrunk or rewritten
                    out.write(new)
                    out.truncate(len(new))
        if s.kill_at and since is not None and since >= s.kill_at and not self.killed:
            self.killed = True
            self.sim.send_signal(getattr(signal, "SIG" + s.kill_signal))
            try:
                self.sim.wait(5)
            except subprocess.TimeoutExpired:
                self.complaints.append(f"the simulator did not end within 5 s of SIG{s.kill_signal}")
            end_child(self.sim, 1)
            self.start()                           # a fresh controller on the same storage

    def change_due(self):
        """Once the files before it arrived and the controller holds change_after bytes of it."""
        s, folder = self.s, os.path.join(self.root, self.s.host_dir)
        try:
            return all(os.path.getsize(os.path.join(self.root, s.path(u))) == u.size
                       for u in s.files[:s.change_index]) and \
                any(os.path.getsize(os.path.join(folder, n)) >= s.change_after
                    for n in os.listdir(folder) if n.startswith(TEMP_PREFIX))
        except OSError:
            return False

    def settle_and_stop(self):
        """Gives the controller its time to give up a broken upload and stops it;
        (visible files, upload temp files left at any point)."""
        end = time.monotonic() + SILENCE_MS / 1000 + ABORT_DRAIN_S + 1 + 3 * any("stall" in f for f in self.s.faults)
        temps = []
        while self.sim.poll() is None and read_storage(self.root)[1] and time.monotonic() < end:
            time.sleep(0.1)
        if self.sim.poll() is None:
            temps = read_storage(self.root)[1]
        complaint = end_child(self.sim)
        self.complaints += [complaint] * bool(complaint)
        storage, after = read_storage(self.root)
        return storage, sorted(set(temps) | set(after))


# ---- the campaign ----------------------------------------------------------------

def arguments(description, runs, deadline, jobs):
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--runs", type=int, help=f"upload batches (default {runs}, with --long 300)")
    parser.add_argument("--seed", type=int, help="campaign seed (default: from the clock)")
    parser.add_argument("--long", action="store_true", help="300 batches, slow faults drawn more often, up to an hour")
    parser.add_argument("--only", type=int, action="append", default=[], help="replay this run number (repeatable)")
    parser.add_argument("--fault", action="append", default=[], choices=[row[0] for row in FAULTS], metavar="LABEL",
                        help="draw only this fault label (repeatable)")
    parser.add_argument("--deadline", type=float, default=deadline, help="seconds after which no run starts")
    parser.add_argument("--jobs", type=int, default=jobs, help="runs at the same time")
    parser.set_defaults(default_runs=runs)
    return parser


def run_campaign(args, name, run_one, front):
    """run_one(scenario, workdir) -> (finished, succeeded, message, storage, temps, complaints, detail)."""
    args.runs = args.runs or (300 if args.long else args.default_runs)
    args.deadline = max(args.deadline, 3600) if args.long else args.deadline
    args.seed = int(time.time()) % 1_000_000 if args.seed is None else args.seed
    base = tempfile.mkdtemp(prefix=f"{front}-campaign-")
    # The lanes notice their children ended and stop within a moment; then their folders go.
    cleanup = [end_all_children, lambda: time.sleep(0.5), lambda: shutil.rmtree(base, ignore_errors=True)]
    atexit.register(end_all_children)

    def on_signal(number, _frame):      # ends at once, every child with it
        for step in cleanup:
            step()
        print(f"interrupted by signal {number}", flush=True)
        os._exit(128 + number)
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    parent = os.getppid()               # a wrapper (xvfb-run) may be ended instead of us

    def watch_parent():
        while os.getppid() == parent:
            time.sleep(0.5)
        os.kill(os.getpid(), signal.SIGTERM)
    threading.Thread(target=watch_parent, daemon=True).start()

    indices = args.only or list(range(1, args.runs + 1))
    start, lock, failed, skipped, reports, by_label = time.monotonic(), threading.Lock(), [], [], [], {}
    print(f"{name}: {len(indices)} runs, seed {args.seed}{' (long)' if args.long else ''}, {args.jobs} at a time, "
          f"deadline {args.deadline:.0f} s", flush=True)

    def one(index):
        if time.monotonic() >= start + args.deadline:
            return skipped.append(index)
        s = draw_scenario(args.seed, index, args.long, set(args.fault) or None, front)
        expected, workdir, began = expect(s), os.path.join(base, f"run{index}"), time.monotonic()
        try:
            finished, succeeded, message, storage, temps, complaints, detail = run_one(s, workdir)
        except Exception as error:      # a harness fault is reported like a disagreement
            finished, succeeded, message, storage, temps, complaints, detail = True, False, "", {}, [], [repr(error)], ""
        if STOPPING:                    # interrupted: its children were ended, not its sender
            return shutil.rmtree(workdir, ignore_errors=True)
        problems = complaints + judge(s, expected, finished, succeeded, message, storage, temps)
        with lock:
            print(f"{'FAIL' if problems else 'ok  '} run {index:4d} {time.monotonic() - began:5.1f}s {s.label:<20} "
                  f"{'success' if succeeded else 'failure'}: {message or '(no message)'}", flush=True)
            by_label.setdefault(s.label, [0, 0])[0] += 1
            if problems:
                by_label[s.label][1] += 1
                failed.append(index)
                lines = [f"run {index}: replay with --seed {args.seed} --only {index}{' --long' * args.long}"
                         + "".join(f" --fault {label}" for label in args.fault), f"     scenario: {s.describe()}"]
                lines += [f"     expected: {expected}"] * (expected is not None)
                lines += [f"     problem: {p}" for p in problems] + [f"     output: {detail}"]
                reports.append("\n".join(lines))
                print(reports[-1], flush=True)
        shutil.rmtree(workdir, ignore_errors=True)

    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        for future in [pool.submit(one, i) for i in indices]:
            future.result()
    shutil.rmtree(base, ignore_errors=True)
    print("\nfault label          runs  failed")
    print("\n".join(f"{label:<20} {n:5d} {bad:7d}" for label, (n, bad) in sorted(by_label.items())))
    print("\n".join(["\ndisagreements:"] * bool(reports) + reports))
    if skipped:
        print(f"deadline reached: {len(skipped)} run(s) not started")
    print(f"campaign took {time.monotonic() - start:.1f} s\n{len(indices) - len(failed) - len(skipped)} passed, "
          f"{len(failed)} failed")
    return 1 if failed else 0
