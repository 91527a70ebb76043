#!/usr/bin/env python3
"""Read-side fault campaign of vtx ls, params, tools and rm against the simulated controller: each run reads a random
small controller folder through vtx while the controller misbehaves in one way (read_faults.txt). vtx's exit status,
last message and output must be what a correct client makes of that fault, and agree with the folder."""
import json, os, pathlib, random, string, subprocess, sys
from types import SimpleNamespace

sys.dont_write_bytecode = True   # no cache folder in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from campaign import arguments, end_child, read_storage, read_table, run_campaign, start_child, start_controller

BUFFER_BYTES, READ_S, ATTEMPTS, SLACK_S = 262143, 0.99, 2, 5   # a read's most, the read time, listing attempts
AFTER = 999999                                                 # a byte past the end of every answer
BAD = "The Vantorix-answer was not correct. Please try to update again."
NO_ANSWER = "No answer from Vantorix. Please check if it is connected."
SEND_FAILED = "Can't send Command. Please check if Vantorix is connected."
LIST_NAMES = {"p": "parameter list", "t": "tool list"}
COMMAND_LETTERS = {"ls": "l", "params": "p", "tools": "t", "rm": "ld"}
# What the hit answer is to a correct client (read_faults.txt explains each).
HITS = {"ok", "none", "bad", "late", "long", "endless", "endless-after", "gone", "gone-after"}
FAULTS = {row[0]: SimpleNamespace(weights=(float(row[1]), float(row[2])), first=row[3], letters=row[4],
                                  baud=int(row[5]), hit=row[6], text=row[7].strip("-"))
          for row in read_table("read_faults.txt", 8, {6: HITS})}


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
    """(folders, files: path -> size) of a small controller: ram, ROM and ram/cncprg always, 1 to 7 files."""
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
    inside = [path for path in [*s.folders, *s.files] if path.rpartition("/")[0] == folder and path != folder]
    return sorted(path.rpartition("/")[2] for path in inside)


def free_bytes(s, disk):
    used = sum(size for path, size in s.files.items() if path.split("/")[0] == disk)
    size = s.ram_size if disk == "ram" else s.flash_size
    return min(max(0, size - used), 0xFFFFFFFF)


def tree_lines(s, folder="", depth=0):
    """(depth, the text before the name, name) of each tree line in listing order."""
    lines = []
    for name in children(s, folder):
        path = f"{folder}/{name}" if folder else name
        if path in s.folders:
            lines += [(depth, "(dir) ", name)] + tree_lines(s, path, depth + 1)
        else:
            lines.append((depth, f"{s.files[path]} ", name))
    return lines


def listing_text(s):
    lines = ["Directory of the controller"] + [" " * depth + lead + name for depth, lead, name in tree_lines(s)]
    lines += [f"Free RamDisk: {free_bytes(s, 'ram')}", f"Free FlashDisk: {free_bytes(s, 'ROM')}", ""]
    return "".join(line + "\r\n" for line in lines).encode()


def expected_tree(s):
    """What vtx ls --json must print for the folder."""
    def entry(path):
        name = path.rpartition("/")[2]
        if path in s.folders:
            return {"name": name, "type": "dir", "children": [entry(f"{path}/{child}") for child in children(s, path)]}
        return {"name": name, "type": "file", "size": s.files[path]}
    return {"ramDiskFree": free_bytes(s, "ram"), "flashDiskFree": free_bytes(s, "ROM"),
            "root": {"name": "/", "type": "dir", "children": [entry(name) for name in children(s, "")]}}


def list_answer(s, letter):
    """The echo line, then the list."""
    return letter.encode() + b"\r\n" + s.lists[letter]


def answer_bytes(s, letter):
    """An answer as the controller sends it."""
    if letter == "l":
        return listing_text(s)
    return list_answer(s, letter) if letter in "pt" else b"File deleted\r\n"


def expected_list_file(s, letter):
    """The answer less its first line (through the first LF; kept whole when nothing would be left), and for the
    parameters a CR LF behind it."""
    answer = list_answer(s, letter)
    line_end = answer.find(b"\n")   # the read stores a NUL behind the answer: the scan ends there at the latest
    skip = line_end + 1 if line_end >= 0 else len(answer) + 1
    content = answer[skip:] if skip < len(answer) else answer
    if letter == "p":
        content += b"\r\n"
    return content


# ---- One run's scenario ----

def listing_places(rng, s):
    """Bytes of the listing by the names of the fault table."""
    text, starts, at = listing_text(s).decode(), [], 0
    for line in text.split("\r\n")[:-1]:
        starts.append(at)
        at += len(line) + 2
    tree = tree_lines(s)
    row = rng.randrange(len(tree))
    depth, lead, name = tree[row]
    # Not the first tree line: the rest of a listing cut there would hold the whole tree.
    places = {"name": starts[1 + row] + depth + len(lead) + rng.randint(1, len(name) - 1),
              "between": rng.choice(starts[2:len(tree) + 2]), "free": starts[-2], "end": starts[-1]}
    places["cut"] = places[rng.choice(["name", "between", "free"])]
    return places


def draw_places(rng, s):
    """Bytes of the answer the fault hits; {cut} in a list or a delete answer is any of its bytes."""
    answer = answer_bytes(s, s.letter)
    places = listing_places(rng, s) if s.letter == "l" else {"cut": rng.randrange(len(answer))}
    places.update(inside=rng.choice([0, places["cut"]]), any=rng.randint(0, len(answer)), after=AFTER)
    return places


def draw_count(rng, s):
    """0 for every answer to the letter, else which one: vtx ls reads the listing up to twice, vtx rm up to twice
    before the delete and again after it."""
    listings = ATTEMPTS + (s.command == "rm")
    return rng.choice([0, *range(1, (listings if s.letter == "l" else 1) + 1)])


def draw_fault_text(rng, s, fault):
    long_ms = rng.randint(1300, 1800)
    values = dict(draw_places(rng, s), x=s.letter, n=f":{s.count}" * bool(s.count), short=rng.randint(300, 700),
                  long=long_ms, longer=rng.choice([long_ms, rng.randint(2300, 2700)]), later=rng.randint(2300, 3000),
                  length=rng.randint(8, 64))
    return fault.text.format(**values).split()


def draw_read_scenario(seed, index, long_mode):
    rng, s = random.Random(seed * 1_000_003 + index), SimpleNamespace()
    s.label = rng.choices(list(FAULTS), [fault.weights[long_mode] for fault in FAULTS.values()])[0]
    s.label = next((label for label, fault in FAULTS.items() if fault.first == str(index)), s.label)
    fault = FAULTS[s.label]
    meeting = [command for command, letters in COMMAND_LETTERS.items() if set(letters) & set(fault.letters)]
    s.command = rng.choice(meeting)
    s.letter = rng.choice([letter for letter in COMMAND_LETTERS[s.command] if letter in fault.letters])
    s.folders, s.files = draw_folder(rng)
    s.ram_size, s.flash_size = rng.randint(64 << 10, 4 << 20), rng.randint(64 << 10, 4 << 20)
    s.lists = {letter: draw_list(rng, letter) for letter in "pt"}
    s.target = rng.choice(sorted(s.files))
    s.old_output = rng.choice([None, b"an older list\r\n"])
    s.count, s.baud, s.hit = draw_count(rng, s), fault.baud, fault.hit
    s.faults = draw_fault_text(rng, s, fault)
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


def read_listing(controller):
    """None once an attempt counts, else the message of the last attempt."""
    message = None
    for _ in range(ATTEMPTS):
        hit = controller.answer("l")
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
    wanted = expected_list_file(s, COMMAND_LETTERS[s.command]) if seen.status == 0 else s.old_output
    return [] if seen.output == wanted else [f"the -o file: {describe(seen.output)}, expected {describe(wanted)}"]


def folder_problems(s, seen, gone):
    kept = {path: size for path, size in s.files.items() if path != s.target or not gone}
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
    elif (seen.status, message) != (status, wanted):
        problems.append(f"exit {seen.status} {message!r}, expected exit {status} {wanted!r}")
    return problems + output_problems(s, seen) + folder_problems(s, seen, gone)


# ---- One run ----

def make_folder(s, root):
    for folder in s.folders:
        os.makedirs(os.path.join(root, folder), exist_ok=True)
    for path, size in s.files.items():
        pathlib.Path(root, path).write_bytes(b"x" * size)
    pathlib.Path(root, ".params.txt").write_bytes(s.lists["p"])
    pathlib.Path(root, ".tools.txt").write_bytes(s.lists["t"])


def vtx_command(s, build, link, output):
    command = [os.path.join(build, "vtx"), "--port", link, "--baud", str(s.baud), s.command]
    return command + {"ls": ["--json"], "rm": ["/" + s.target]}.get(s.command, ["-o", output])


def run_vtx(s, workdir, build):
    root, link, output = f"{workdir}/root", f"{workdir}/port", f"{workdir}/out.txt"
    make_folder(s, root)
    if s.old_output is not None:
        pathlib.Path(output).write_bytes(s.old_output)
    sim = start_controller([os.path.join(build, "vantorix-sim"), "--root", root, "--link", link, "--ram-size",
                            str(s.ram_size), "--flash-size", str(s.flash_size)]
                           + [arg for fault in s.faults for arg in ("--fault", fault)], link)
    if not sim:
        seen = SimpleNamespace(status=None, stdout="", output=None, files={})
        return True, False, "", seen, [], ["the simulator did not come up"], ""
    with open(f"{workdir}/out", "wb") as out, open(f"{workdir}/err", "wb") as err:
        vtx = start_child(vtx_command(s, build, link, output), stdin=subprocess.DEVNULL, stdout=out, stderr=err)
    try:
        vtx.wait(timeout=time_limit(s))
    except subprocess.TimeoutExpired:
        pass
    finished = vtx.poll() is not None
    end_child(vtx, 0)
    end_child(sim)
    return observe(s, workdir, vtx.returncode, finished)


def observe(s, workdir, status, finished):
    """(finished, succeeded, message, what vtx left, -, complaints, detail) of a run that ended."""
    report = [line.strip() for line in pathlib.Path(workdir, "err").read_text(errors="replace").splitlines()
              if line.strip()] or [""]
    output = pathlib.Path(workdir, "out.txt")
    seen = SimpleNamespace(status=status, stdout=pathlib.Path(workdir, "out").read_text(errors="replace"),
                           output=output.read_bytes() if output.exists() else None,
                           files={path: len(data) for path, data in read_storage(f"{workdir}/root")[0].items()})
    complaints = [f"unexpected exit status {status}"] * (finished and status not in (0, 1))
    detail = f"vtx {s.command}, faults {' '.join(s.faults) or '-'}: exit {status}; stderr: " + " | ".join(report[-4:])
    return finished, status == 0, report[-1], seen, [], complaints, detail


if __name__ == "__main__":
    parser = arguments("Read-side fault campaign of vtx ls, params, tools and rm against the simulated controller.",
                       runs=24, deadline=45, jobs=2, what="runs")
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "..", "build", "native"),
                        help="folder with vtx and vantorix-sim (default build/native)")
    args = parser.parse_args()
    sys.exit(run_campaign(args, "vtx read campaign", lambda s, workdir: run_vtx(s, workdir, args.build),
                          draw_read_scenario, judge, "read"))
