#!/usr/bin/env python3
"""Read-side fault campaign of vtx ls, params, tools and rm against the simulated controller: each run reads a random
small controller folder through vtx while the controller misbehaves in one way (read_faults.txt). vtx's exit status,
last message and output must be what a correct client makes of that fault, and agree with the folder."""
import json, os, random, string, sys
from types import SimpleNamespace

sys.dont_write_bytecode = True   # no cache folder in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from campaign import Scenario, arguments, draw_label, read_table, run_campaign, run_vtx

BUFFER_BYTES, READ_S, ATTEMPTS, SLACK_S = 262143, 0.99, 2, 5   # a read's most, the read time, listing attempts
AFTER = 999999                                                 # a byte past the end of every answer
BAD = "The Vantorix-answer was not correct. Please try to update again."
NO_ANSWER = "No answer from Vantorix. Please check if it is connected."
SEND_FAILED = "Can't send Command. Please check if Vantorix is connected."
LIST_NAMES = {"p": "parameter list", "t": "tool list"}
COMMAND_LETTERS = {"ls": "l", "params": "p", "tools": "t", "rm": "ld"}
# What the hit answer is to a correct client (read_faults.txt explains each).
HITS = {"ok", "none", "bad", "late", "long", "endless", "endless-after", "gone", "gone-after"}
FAULTS = read_table("read_faults.txt", "label ci long first letters baud hit text", {"hit": HITS})


def too_long(letter):
    return f"The {LIST_NAMES[letter]} is longer than the 262143 bytes the program can read; it was not written."


def never_ends(letter):
    return f"The Vantorix did not stop sending the {LIST_NAMES[letter]}; it was not written."


# ---- The controller's folder and answers, computed here from the folder itself ----

def draw_name(rng):
    stem = "".join(rng.choice(string.ascii_letters + string.digits + "_-") for _ in range(rng.randint(2, 10)))
    if rng.random() < 0.2:
        stem = stem[0] + " " + stem[1:]
    return stem + rng.choice([".nc", ".NC", ".dat", ".txt", ""])


def draw_folder(rng):
    """(folders, sizes: file path -> size) of a small controller: ram, ROM and ram/cncprg always, 1 to 7 files."""
    extra = rng.sample(["ram/cncprg/sub", "ROM/macros", "ram/empty"], rng.randint(0, 2))
    folders = sorted({"ram", "ROM", "ram/cncprg", *extra})
    files, wanted = {}, rng.randint(1, 7)
    while len(files) < wanted:
        path = f"{rng.choice(folders)}/{draw_name(rng)}"
        if path not in folders:
            files[path] = rng.choice([0, rng.randint(1, 99), rng.randint(100, 4000)])
    return folders, files


def draw_list(rng, letter):
    """A list file as the controller sends it, CR LF line ends and all."""
    if letter == "p":
        values = [f"{1000 + i} Value {i} = {rng.randint(0, 99999)}" for i in range(rng.randint(1, 30))]
        lines = ["Parameter list"] + values
    else:
        lines = ["Tool list"] + [f"T{i} D{rng.randint(1, 20)}.000 Cutter {i}" for i in range(1, rng.randint(2, 30))]
    return ("\r\n".join(lines) + "\r\n").encode()


def children(s, folder):
    """Names in a folder, sorted byte by byte as the controller lists them; the root holds only folders."""
    inside = [path for path in [*s.folders, *s.sizes] if path.rpartition("/")[0] == folder]
    return sorted(path.rpartition("/")[2] for path in inside)


def free_bytes(s, disk):
    used = sum(size for path, size in s.sizes.items() if path.split("/")[0] == disk)
    size = s.ram_size if disk == "ram" else s.flash_size
    return min(max(0, size - used), 0xFFFFFFFF)


def tree_lines(s, folder="", depth=0):
    """(depth, the text before the name, name, path) of each tree line in listing order."""
    lines = []
    for name in children(s, folder):
        path = f"{folder}/{name}" if folder else name
        if path in s.folders:
            lines += [(depth, "(dir) ", name, path)] + tree_lines(s, path, depth + 1)
        else:
            lines.append((depth, f"{s.sizes[path]} ", name, path))
    return lines


def listing_text(s):
    lines = ["Directory of the controller"] + [" " * depth + lead + name for depth, lead, name, _ in tree_lines(s)]
    lines += [f"Free RamDisk: {free_bytes(s, 'ram')}", f"Free FlashDisk: {free_bytes(s, 'ROM')}", ""]
    return "".join(line + "\r\n" for line in lines).encode()


def expected_tree(s):
    """What vtx ls --json must print for the folder."""
    def entry(path):
        name = path.rpartition("/")[2]
        if path in s.folders:
            return {"name": name, "type": "dir", "children": [entry(f"{path}/{child}") for child in children(s, path)]}
        return {"name": name, "type": "file", "size": s.sizes[path]}
    return {"ramDiskFree": free_bytes(s, "ram"), "flashDiskFree": free_bytes(s, "ROM"),
            "root": {"name": "/", "type": "dir", "children": [entry(name) for name in children(s, "")]}}


def answer_bytes(s, letter):
    """An answer as the controller sends it: a list after its echo line."""
    if letter == "l":
        return listing_text(s)
    return letter.encode() + b"\r\n" + s.lists[letter] if letter in "pt" else b"File deleted\r\n"


# ---- One run's scenario ----

def listing_places(rng, s):
    """Bytes of the listing by the names of the fault tables, for a name of more than one byte."""
    text, starts, at = listing_text(s).decode(), [], 0
    for line in text.split("\r\n")[:-1]:
        starts.append(at)
        at += len(line) + 2
    tree = tree_lines(s)
    row = rng.choice([row for row, line in enumerate(tree) if len(line[2]) > 1])
    depth, lead, name, _ = tree[row]
    # Not the first tree line: the rest of a listing cut there would hold the whole tree.
    places = {"name": starts[1 + row] + depth + len(lead) + rng.randint(1, len(name) - 1),
              "between": rng.choice(starts[2:len(tree) + 2]), "free": starts[-2], "end": starts[-1]}
    places["cut"] = places[rng.choice(["name", "between", "free"])]
    return dict(places, inside=rng.choice([0, places["cut"]]))


def fill_fault(rng, text, places, **fixed):
    """The simulator's fault text with its places filled: places() the bytes, then the times and lengths."""
    long_ms = rng.randint(1300, 1800)
    return text.format(**places(), **fixed, short=rng.randint(300, 700), long=long_ms,
                       longer=rng.choice([long_ms, rng.randint(2300, 2700)]), later=rng.randint(2300, 3000),
                       length=rng.randint(8, 64)).split()


def draw_places(rng, s):
    """Bytes of the answer the fault hits; {cut} in a list or a delete answer is any of its bytes."""
    answer = answer_bytes(s, s.letter)
    if s.letter == "l":
        places = listing_places(rng, s)
    else:
        places = {"cut": (cut := rng.randrange(len(answer))), "inside": rng.choice([0, cut])}
    return dict(places, any=rng.randint(0, len(answer)), after=AFTER)


def draw_count(rng, s):
    """0 for every answer to the letter, else which one: vtx ls reads the listing up to twice, vtx rm up to twice
    before the delete and again after it."""
    listings = ATTEMPTS + (s.command == "rm")
    return rng.choice([0, *range(1, (listings if s.letter == "l" else 1) + 1)])


def draw_read_scenario(seed, index, long_mode):
    rng, s = random.Random(seed * 1_000_003 + index), Scenario()
    s.label = draw_label(rng, FAULTS, index, long_mode)
    fault = FAULTS[s.label]
    meeting = [command for command, letters in COMMAND_LETTERS.items() if set(letters) & set(fault.letters)]
    s.command = rng.choice(meeting)
    s.letter = rng.choice([letter for letter in COMMAND_LETTERS[s.command] if letter in fault.letters])
    s.folders, s.sizes = draw_folder(rng)
    s.ram_size, s.flash_size = rng.randint(64 << 10, 4 << 20), rng.randint(64 << 10, 4 << 20)
    s.lists = {letter: draw_list(rng, letter) for letter in "pt"}
    s.target = rng.choice(sorted(s.sizes))
    s.old_output = rng.choice([None, b"an older list\r\n"])
    s.count, s.baud, s.hit = draw_count(rng, s), int(fault.baud), fault.hit
    s.faults = fill_fault(rng, fault.text, lambda: draw_places(rng, s), x=s.letter, n=f":{s.count}" * bool(s.count))
    s.existing = {path: b"x" * size for path, size in s.sizes.items()}
    s.existing.update({".params.txt": s.lists["p"], ".tools.txt": s.lists["t"]})
    return s


# ---- What a correct client makes of it ----

class Controller:
    """The controller as a correct client meets it, command by command: what each answer is to the client."""

    def __init__(self, s):
        self.s, self.counts, self.state, self.late = s, {}, "serving", False

    def answer(self, letter):
        if self.state != "serving":   # it reads no command any more, or the line is gone
            return "talk" if self.state == "talking" else "unsent"
        count = self.counts[letter] = self.counts.get(letter, 0) + 1
        hit = self.s.hit if letter == self.s.letter and self.s.count in (0, count) else "ok"
        if self.late:   # the rest of the paused listing is still to come: this read hears nothing
            self.late = False
            return "none"
        if hit == "late":
            self.late = True
            return "bad"
        if hit.startswith("endless"):
            self.state = "talking"
        elif hit.startswith("gone"):
            self.state = "gone"
        return hit


def read_listing(controller, attempts=ATTEMPTS, closes=False):
    """None once an attempt counts, else the message of the last attempt; closes: endless talk meets a window that
    is closed then ("closed")."""
    for _ in range(attempts):
        hit = controller.answer("l")
        if closes and hit in ("endless", "talk"):
            return "closed"
        message = {"ok": None, "endless-after": None, "gone-after": None, "none": NO_ANSWER,
                   "unsent": SEND_FAILED}.get(hit, BAD)
        if message is None:
            return None
    return message


def expect_rm(s, controller):
    message = read_listing(controller)
    if message:
        return 1, message, False
    hit = controller.answer("d")
    if hit == "unsent":
        return 1, SEND_FAILED, False
    deleted = hit not in ("none", "talk")   # a controller that only talks reads no command
    message = read_listing(controller)
    if message:
        return 1, message, deleted
    if not deleted:   # only a silent controller keeps the file and then lists again
        return 1, f"vtx: /{s.target}: still on the controller after the delete; the controller answered nothing", False
    return 0, "", True


def expect(s):
    """(exit status, last message, whether the file of rm is gone) of a correct vtx."""
    controller = Controller(s)
    if s.command == "rm":
        return expect_rm(s, controller)
    if s.command == "ls":
        message = read_listing(controller)
    else:
        letter = COMMAND_LETTERS[s.command]
        message = {"ok": None, "none": NO_ANSWER, "long": too_long(letter)}.get(controller.answer(letter),
                                                                                 never_ends(letter))
    return (1, message, False) if message else (0, "", False)


def time_limit(s):
    """Every read and every quiet phase at its bound (the line time of a full buffer and a read time), and slack."""
    bound = BUFFER_BYTES * 10 / s.baud + READ_S
    reads = {"ls": ATTEMPTS, "rm": 2 * ATTEMPTS + 1}.get(s.command, 1)
    return reads * 2 * bound + SLACK_S


def describe(data):
    return "no file" if data is None else f"{len(data)} bytes beginning {data[:60]!r}"


def output_problems(s, seen):
    """ls: the listed tree is the folder's; params and tools: the -o file holds the list, or what it held before."""
    if s.command == "ls" and seen.status == 0:
        try:
            printed = json.loads(seen.stdout)
        except ValueError:
            return [f"vtx ls --json printed no JSON: {seen.stdout[:200]!r}"]
        return [] if printed == expected_tree(s) else [f"listed {printed}, the folder holds {expected_tree(s)}"]
    if s.command not in ("params", "tools"):
        return []
    # The answer less its echo line, which is the list as the controller holds it; the parameters end in CR LF.
    wanted = s.lists[COMMAND_LETTERS[s.command]] + b"\r\n" * (s.command == "params") if seen.status == 0 \
        else s.old_output
    return [] if seen.output == wanted else [f"the -o file: {describe(seen.output)}, expected {describe(wanted)}"]


def folder_problems(s, seen, gone):
    kept = {path: size for path, size in s.sizes.items() if path != s.target or not gone}
    return [] if seen.files == kept else [f"the folder holds {seen.files}, expected {kept}"]


def judge(s, result):
    """The run's problems. A failure must be the one the fault leads to; a success must be right, and is taken even
    where the fault leads to a failure (a client may piece a listing together from what came)."""
    finished, _, message, seen, _, complaints, _ = result
    if not finished:
        return complaints + [f"hang: vtx did not end within {time_limit(s):.1f} s"]
    status, wanted, gone = expect(s)
    problems = list(complaints)
    if seen.status == 0:
        gone = s.command == "rm"
    else:
        problems += [f"exit {seen.status}, expected {status}"] * (seen.status != status)
        problems += [f"message {message!r}, expected {wanted!r}"] * (message != wanted)
    return problems + output_problems(s, seen) + folder_problems(s, seen, gone)


# ---- One run ----

def read_run(s, workdir, build):
    """(finished, succeeded, message, what vtx left, -, complaints, detail) of one run."""
    os.makedirs(workdir)
    output = os.path.join(workdir, "list.txt")
    if s.old_output is not None:
        with open(output, "wb") as out:
            out.write(s.old_output)
    command = ["--baud", str(s.baud), s.command] + {"ls": ["--json"], "rm": ["/" + s.target]}.get(s.command,
                                                                                                  ["-o", output])
    finished, status, report, stdout, storage, _, complaints = run_vtx(s, workdir, build, lambda run: command,
                                                                       time_limit(s))
    seen = SimpleNamespace(status=status, stdout=stdout, files={path: len(data) for path, data in storage.items()},
                           output=open(output, "rb").read() if os.path.exists(output) else None)
    complaints += [f"unexpected exit status {status}"] * (finished and status not in (0, 1))
    detail = f"vtx {s.command}, faults {' '.join(s.faults) or '-'}: exit {status}; stderr: " + " | ".join(report[-4:])
    return finished, status == 0, report[-1], seen, [], complaints, detail


if __name__ == "__main__":
    args = arguments("Read-side fault campaign of vtx ls, params, tools and rm against the simulated controller.",
                     runs=24, deadline=120, jobs=2, what="runs").parse_args()
    sys.exit(run_campaign(args, "vtx read campaign", lambda s, workdir: read_run(s, workdir, args.build),
                          draw_read_scenario, judge, "read"))
