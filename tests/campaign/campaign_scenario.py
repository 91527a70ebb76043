"""Random upload batches with the faults that strike them, and what the
controller must hold afterwards.

A scenario is drawn from (seed, index) alone, so any run can be replayed.
For every fault whose effect does not depend on timing the expected outcome
is worked out here: exit status, message and how many files of the batch
arrive. Runs with timed events (the controller killed, the sender
interrupted) are judged by the safety rules only.
"""
import random
from dataclasses import dataclass, field

ERROR_TRYING = "There was an error trying to upload."
CANT_READ = "Upload-Error: Can't read file."
NO_SPACE = "Upload-Error: Not enough space."
LISTING_NOT_CORRECT = "The Vantorix-answer was not correct. Please try to update again."
LISTING_NO_ANSWER = "No answer from Vantorix. Please check if it is connected."
# What vtx says of a PC file it refuses before opening the port.
VTX_FILE_REASONS = {"missing": "No such file or directory", "empty": "empty file (the controller takes none)",
                    "folder": "Is a directory"}

# Sizes on and around the block boundaries of both modes, and the block
# counts where the one-byte block number wraps.
BOUNDARY_SIZES = [1, 2, 127, 128, 129, 255, 256, 257, 1023, 1024, 1025, 2047, 2048, 2049,
                  32767, 32768, 32769]
WRAP_SIZES = [255 * 1024, 256 * 1024 - 1, 256 * 1024, 256 * 1024 + 1, 257 * 1024]

# Bytes per second through the pseudo-terminal without pacing (measured
# with room to spare), for timing the events of a run.
FAST_BYTES_PER_SECOND = 150_000
# A directory read costs one read of about a second.
LISTING_SECONDS = 1.0


@dataclass
class UploadFile:
    source: str            # base name on the PC
    size: int              # -1: not on disk; a folder has size 0
    kind: str              # "file", "missing", "empty", "folder"
    data: bytes = b""

    @property
    def target(self):
        return self.source.replace(" ", "_")


@dataclass
class Scenario:
    seed: int
    index: int
    mode: str                          # "crc" or "checksum"
    files: list
    target_dir: str                    # the -p text, "" for none
    host_dir: str                      # folder under the root where files land
    make_dir: bool                     # create host_dir before the run
    existing: dict                     # host path (relative) -> old content
    ram_size: int
    flash_size: int
    faults: list = field(default_factory=list)
    baud: int = 0
    kill_at: float = 0.0               # seconds after the sender starts; 0 = no kill
    kill_signal: str = ""              # "KILL" or "TERM"
    interrupts: list = field(default_factory=list)   # seconds after start of each cancel or interrupt
    change_after: int = 0             # a PC file changes once the controller holds this many of its bytes; 0 = never
    change_index: int = -1             # which file of the batch
    change_how: str = ""               # "grow", "shrink", "rewrite" (in place) or "replace" (renamed over)
    changed_data: bytes = b""          # its content afterwards
    label: str = "none"
    attempts: int = 2                  # listing attempts of the sender's directory read
    front: str = "vtx"                 # "vtx" or "browser"

    @property
    def block(self):
        return 1024 if self.mode == "crc" else 128

    def blocks(self, upload):
        return (upload.size + self.block - 1) // self.block

    def total_bytes(self):
        return sum(f.size for f in self.files if f.kind == "file")

    def transfer_seconds(self):
        rate = self.baud / 10 if self.baud else FAST_BYTES_PER_SECOND
        return self.total_bytes() * 1.1 / rate

    def timed(self):
        return bool(self.kill_at or self.interrupts or self.change_after)

    def describe(self):
        parts = [f"mode={self.mode}", f"dir={self.target_dir or '(none)'}"]
        parts.append("files=" + ",".join(f"{f.source!r}:{f.size if f.kind == 'file' else f.kind}"
                                         for f in self.files))
        if self.faults:
            parts.append("faults=" + " ".join(self.faults))
        if self.baud:
            parts.append(f"baud={self.baud}")
        if self.kill_at:
            parts.append(f"kill-sim={self.kill_signal}@{self.kill_at:.2f}s")
        if self.interrupts:
            parts.append("interrupt@" + ",".join(f"{t:.2f}s" for t in self.interrupts))
        if self.change_after:
            parts.append(f"file{self.change_index}-{self.change_how}@{self.change_after}B"
                         f"->{len(self.changed_data)}")
        parts.append(f"ram={self.ram_size} flash={self.flash_size}")
        if self.existing:
            parts.append("old=" + ",".join(sorted(self.existing)))
        return " ".join(parts)


@dataclass
class Expected:
    exit_code: int
    message: str           # the last line of the sender's report
    arrived: int           # leading files of the batch that reach the controller


def upload_target_path(scenario, upload):
    return f"{scenario.host_dir}/{upload.target}"


def storage_after(scenario, arrived, changed=False):
    """The controller's files (relative host path -> content) when the first
    `arrived` files of the batch came through, starting from `existing`;
    `changed`: the file that changes on the PC arrived in its new version."""
    state = dict(scenario.existing)
    for i, upload in enumerate(scenario.files[:arrived]):
        data = scenario.changed_data if changed and i == scenario.change_index else upload.data
        state[upload_target_path(scenario, upload)] = data
    return state


# ---- drawing a scenario ---------------------------------------------------

def draw_size(rng, long_mode):
    roll = rng.random()
    if roll < 0.45:
        return rng.choice(BOUNDARY_SIZES)
    if roll < 0.72:
        block = rng.choice([128, 1024])
        return max(1, block * rng.randint(1, 48) + rng.choice([-1, 0, 1]))
    if roll < (0.90 if long_mode else 0.93):
        return rng.randint(1, 16 * 1024)
    return rng.choice(WRAP_SIZES + [rng.randint(180 * 1024, 420 * 1024)])


def draw_name(rng, taken):
    letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-"
    if taken and rng.random() < 0.06:
        return rng.choice(taken)            # the same name twice in a batch
    stem = "".join(rng.choice(letters) for _ in range(rng.randint(1, 10)))
    if rng.random() < 0.15:
        stem = stem[: len(stem) // 2 + 1] + " " + stem[len(stem) // 2 + 1:] + "x"
    return stem + rng.choice([".nc", ".NC", ".dat", ".txt", ""])


def draw_files(rng, long_mode):
    count = rng.choice([1, 1, 1, 2, 2, 3, 4] + ([5, 6] if long_mode else []))
    files, names = [], []
    for _ in range(count):
        name = draw_name(rng, names)
        names.append(name)
        size = draw_size(rng, long_mode)
        files.append(UploadFile(name, size, "file", rng.randbytes(size)))
    return files


# Faults: (label, weight in the CI-sized run, weight in the long run). The
# silent ones cost the sender its natural time-outs, up to ten seconds, so
# the CI-sized run draws them rarely.
FAULTS = [
    ("none", 18, 10),
    ("nak-burst", 12, 8),
    ("nak-nine", 5, 4),
    ("can-block", 7, 5),
    ("can-start", 4, 3),
    ("can-header", 4, 3),
    ("silent-from", 5, 5),
    ("silent-eot", 2, 4),
    ("silent-header", 2, 4),
    ("silent-close", 2, 4),
    ("silent-start", 0.5, 2),
    ("silent-data-start", 0.5, 2),
    ("stall-from", 0, 1),
    ("listing-invalid-once", 3, 2),
    ("listing-invalid", 2, 2),
    ("listing-silent-once", 2, 2),
    ("listing-silent", 1, 2),
    ("listing-gap", 1, 2),
    ("no-space", 4, 3),
    ("tight-space", 6, 5),
    ("bad-file", 6, 5),
    ("missing-dir", 2, 2),
    ("ack-delay", 3, 3),
    ("ack-delay-long", 1, 2),
    ("hangup", 2, 2),
    ("kill-sim", 4, 6),
    ("cancel", 2, 5),
    ("abort", 5, 6),
    # A PC file rewritten with the same size while it is sent still reaches
    # the controller as a mix of both versions with success reported; drawn
    # in the long run only until the sender notices such a change.
    ("file-changes", 3, 5),
]

# The first runs of every campaign take these in turn, so that even a short
# campaign meets each way a batch can end badly.
FIRST_FAULTS = ["none", "kill-sim", "abort", "cancel", "can-block", "nak-nine", "silent-from",
                "tight-space", "bad-file", "no-space", "listing-invalid", "hangup"]

TARGET_DIRS = [("", "ram/cncprg"), ("/ram/cncprg/", "ram/cncprg"), ("/ram/", "ram"),
               ("/ROM/", "ROM"), ("/ram/x/", "ram/x")]


def draw_scenario(seed, index, long_mode=False, allowed=None, front="vtx"):
    """front "vtx": times count from the sender's start, two listing attempts;
    "browser": times count from the upload dialog, four listing attempts."""
    rng = random.Random(seed * 1_000_003 + index)
    mode = rng.choice(["crc", "crc", "checksum"])
    files = draw_files(rng, long_mode)
    target_dir, host_dir = rng.choice(TARGET_DIRS)
    scenario = Scenario(seed, index, mode, files, target_dir, host_dir, True, {},
                        ram_size=4 * 1024 * 1024, flash_size=4 * 1024 * 1024)
    # Old versions of some targets, and a file nobody touches.
    for upload in files:
        if rng.random() < 0.2:
            scenario.existing[upload_target_path(scenario, upload)] = rng.randbytes(rng.randint(1, 3000))
    scenario.existing["ram/cncprg/keep.nc"] = rng.randbytes(rng.randint(1, 500))

    # Faults asked for by name are drawn even where their weight is 0.
    table = [(label, long_w if long_mode else ci_w) if allowed is None else (label, max(ci_w, long_w, 1))
             for label, ci_w, long_w in FAULTS if allowed is None or label in allowed]
    label = rng.choices([t[0] for t in table], weights=[t[1] for t in table])[0]
    if allowed is None and index <= len(FIRST_FAULTS):
        label = FIRST_FAULTS[index - 1]
    scenario.label = label
    scenario.front = front
    scenario.attempts = 2 if front == "vtx" else 4
    apply_fault(rng, scenario, label, LISTING_SECONDS if front == "vtx" else 0.0)

    # Pacing at a real line speed for some runs, when the batch is small enough.
    if rng.random() < 0.12 and "ack-delay" not in label:
        baud = rng.choice([38400, 57600, 115200])
        if scenario.total_bytes() <= baud / 10 * 2.5:
            scenario.baud = baud
    return scenario


def apply_fault(rng, s, label, listing_s):
    largest = max(s.blocks(f) for f in s.files)
    block_k = rng.randint(1, min(largest + 1, 40))   # sometimes beyond every file
    if label == "nak-burst":
        s.faults.append(f"nak:{block_k}:{rng.randint(1, 8)}")
    elif label == "nak-nine":
        s.faults.append(f"nak:{block_k}:{rng.choice([9, 9, 12])}")
    elif label in ("can-block", "silent-from"):
        s.faults.append(f"{label}:{block_k}")
    elif label == "stall-from":
        s.faults.append(f"stall-from:{block_k}:3")
    elif label in ("can-start", "can-header", "silent-eot", "silent-header", "silent-close",
                   "silent-start", "silent-data-start", "no-space"):
        s.faults.append(label)
    elif label == "listing-invalid-once":
        s.faults.append("listing-invalid:1")
    elif label == "listing-invalid":
        s.faults += [f"listing-invalid:{n}" for n in range(1, s.attempts + 1)]
    elif label == "listing-silent-once":
        s.faults.append("listing-silent:1")
    elif label == "listing-silent":
        s.faults.append("listing-silent")
    elif label == "listing-gap":
        s.faults.append("listing-gap:1500")   # the listing arrives in two reads
    elif label == "hangup":
        s.faults.append("hangup-after:1")
    elif label == "ack-delay":
        # Small delays only where the batch stays short.
        blocks = sum(s.blocks(f) for f in s.files) + 3 * len(s.files)
        s.faults.append(f"ack-delay:{max(1, min(40, 3000 // max(blocks, 1)))}")
    elif label == "ack-delay-long":
        s.faults.append("ack-delay:2500")    # past a data block's reply wait, within a header's
    elif label == "tight-space":
        at = rng.randrange(len(s.files))
        used = sum(len(v) for k, v in s.existing.items() if k.split("/")[0] == s.host_dir.split("/")[0])
        before = sum(f.size for f in s.files[:at])
        room = used + before + rng.choice([s.files[at].size, s.files[at].size - 1, rng.randint(0, s.files[at].size)])
        if s.host_dir.startswith("ROM"):
            s.flash_size = max(room, 1)
        else:
            s.ram_size = max(room, 1)
    elif label == "bad-file":
        at = rng.randrange(len(s.files))
        bad = s.files[at]
        bad.kind = rng.choice(["missing", "missing", "empty", "folder"])
        bad.size = -1 if bad.kind == "missing" else 0
        bad.data = b""
        s.existing.pop(upload_target_path(s, bad), None)
    elif label == "missing-dir":
        s.target_dir, s.host_dir, s.make_dir = "/ram/x/", "ram/x", False
        s.existing = {k: v for k, v in s.existing.items() if not k.startswith("ram/x/")}
    elif label == "kill-sim":
        s.kill_at = rng.uniform(0.2, listing_s + s.transfer_seconds() + 0.3)
        s.kill_signal = rng.choice(["KILL", "TERM"])
    elif label == "cancel":
        s.interrupts = [listing_s + rng.uniform(0.1, s.transfer_seconds() + 0.3)]
    elif label == "file-changes":
        # A file big enough to be caught in the middle of its transfer.
        at = rng.randrange(len(s.files))
        upload = s.files[at]
        upload.size = rng.randint(40 * 1024, 200 * 1024)
        upload.data = rng.randbytes(upload.size)
        s.change_index, s.change_how = at, rng.choice(["grow", "shrink", "rewrite", "replace"])
        if s.change_how == "grow":
            s.changed_data = upload.data + rng.randbytes(rng.randint(1, 5000))
        elif s.change_how == "shrink":
            s.changed_data = upload.data[:rng.randint(1, upload.size - 1)]
        else:
            s.changed_data = rng.randbytes(upload.size)
        s.change_after = rng.randint(1, upload.size * 3 // 4)
    elif label == "abort":
        first = rng.uniform(0.3, listing_s + s.transfer_seconds() + 0.3)
        s.interrupts = [first, first + rng.uniform(0.05, 0.6)]


# ---- the outcome of runs without timed events --------------------------------

def expect(s):
    """The outcome a correct sender and controller give, or None when it
    depends on timing."""
    if s.timed() or any(f.startswith("listing-gap") for f in s.faults):
        return None
    faults = {f.split(":")[0]: f for f in s.faults}
    vtx = s.front == "vtx"
    # vtx checks the PC files before it opens the port, and the batch against
    # the listing before it starts the upload: then nothing arrives.
    bad = [i for i, upload in enumerate(s.files) if upload.kind != "file"]
    if vtx and bad:
        return Expected(1, f"vtx: {bad[0]}/{s.files[bad[0]].source}: {VTX_FILE_REASONS[s.files[bad[0]].kind]}", 0)
    if len([f for f in s.faults if f.startswith("listing-invalid")]) >= s.attempts:
        return Expected(1, LISTING_NOT_CORRECT, 0)
    if s.faults == ["listing-silent"]:
        return Expected(1, LISTING_NO_ANSWER, 0)
    if "hangup-after" in faults:
        return Expected(1, ERROR_TRYING, 0)

    used = {"ram": 0, "ROM": 0}
    for path, content in s.existing.items():
        disk = path.split("/")[0]
        if disk in used:
            used[disk] += len(content)
    flash = s.target_dir[:4].upper() == "/ROM"
    budget = max(0, (s.flash_size - used["ROM"]) if flash else (s.ram_size - used["ram"]))
    if "no-space" in faults:
        budget = 0

    for i, upload in enumerate(s.files):
        if upload.kind != "file":
            return Expected(1, CANT_READ, i)
        if upload.size > budget:
            if vtx:
                disk = "flash disk" if flash else "RAM disk"
                return Expected(1, f"vtx: {i}/{upload.source}: {NO_SPACE} ({upload.size} bytes, {budget} free "
                                   f"on the {disk})", 0)
            return Expected(1, NO_SPACE, i)
        budget -= upload.size
        if vtx and not s.make_dir:
            return Expected(1, f"vtx: /{s.host_dir}/: no such directory on the controller", 0)
        # From here on the file's transfer starts.
        if i == 0 and faults.keys() & {"can-start", "silent-start"}:
            return Expected(1, ERROR_TRYING, 0)
        if not s.make_dir:
            return Expected(1, ERROR_TRYING, i)
        if faults.keys() & {"can-header", "silent-header", "silent-data-start", "silent-eot"}:
            return Expected(1, ERROR_TRYING, i)
        if "ack-delay" in faults and int(faults["ack-delay"].split(":")[1]) >= 2100:
            return Expected(1, ERROR_TRYING, i)
        blocks = s.blocks(upload)
        for fault in s.faults:
            name, *args = fault.split(":")
            if name in ("can-block", "silent-from", "stall-from") and int(args[0]) <= blocks:
                return Expected(1, ERROR_TRYING, i)
            if name == "nak" and int(args[1]) >= 9 and int(args[0]) <= blocks:
                return Expected(1, ERROR_TRYING, i)
    if "silent-close" in faults:
        return Expected(1, ERROR_TRYING, len(s.files))
    count = len(s.files)
    if s.front == "browser":
        return Expected(0, "", count)     # success shows no message
    return Expected(0, f"{count} file{'' if count == 1 else 's'} uploaded, {s.total_bytes()} bytes", count)
