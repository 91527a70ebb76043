#!/usr/bin/env python3
"""Read-side fault campaign of vtx ls, params, tools and rm against the simulated controller: each run reads a random
small controller folder through vtx while the controller misbehaves in one way (read_faults.txt). vtx's exit status,
last message and output must be what a correct client makes of that fault, and agree with the folder."""
import copy, itertools, json, os, random, re, select, sys, time, tty
from types import SimpleNamespace

sys.dont_write_bytecode = True   # no cache folder in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from upload_campaign import Run, Scenario, arguments, draw_label, draw_name, end_child, read_table, run_campaign, \
    run_vtx

BUFFER_BYTES, READ_S, SLACK_S = 262143, 0.99, 5   # a read's most, the read time
ATTEMPTS = 2   # the listing attempts every run gives vtx (--attempts)
AFTER = 999999                                                 # a byte past the end of every answer
BAD = "The Vantorix-answer was not correct. Please try to update again."
NO_ANSWER = "No answer from Vantorix. Please check if it is connected."
SEND_FAILED = "Can't send Command. Please check if Vantorix is connected."
PORT_GONE = re.compile(r"The serial port .+ is gone \(unplugged\?\)\.")
LIST_NAMES = {"p": "parameter list", "t": "tool list"}
COMMAND_LETTERS = {"ls": "l", "params": "p", "tools": "t", "rm": "ld"}
# What the hit answer is to a correct client (read_faults.txt explains each).
HITS = {"ok", "none", "bad", "late", "long", "endless", "endless-after", "gone", "gone-after"}
SURVIVES = {"always", "once", "no"}
FAULTS = read_table("read_faults.txt", "label ci long first letters baud hit survives text",
                    {"hit": HITS, "survives": SURVIVES})



def draw_folder(rng):
    """(folders, sizes: file path -> size) of a small controller: ram, ROM and ram/cncprg always, 1 to 7 files."""
    extra = rng.sample(["ram/cncprg/sub", "ROM/macros", "ram/empty"], rng.randint(0, 2))
    folders = sorted({"ram", "ROM", "ram/cncprg", *extra})
    files, wanted = {}, rng.randint(1, 7)
    while len(files) < wanted:
        path = f"{rng.choice(folders)}/{draw_name(rng, [])}"
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


def controller_listing(s, workdir, simulator, faults=()):
    """The answer to "l" of the run's controller, asked for on a simulator of its own with these faults before the
    run: the truth that places the faults and that a listing must show."""
    probe = copy.copy(s)
    probe.faults, probe.files = list(faults), []
    run = Run(probe, workdir, simulator, f"{workdir}/probe")
    if not run.start():
        return b""
    line = os.open(run.link, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(line)
    os.write(line, b"l\r\n")
    answer, end = b"", time.monotonic() + 10
    # Until the empty line that ends a listing, or the line goes quiet.
    while not answer.endswith(b"\r\n\r\n") and time.monotonic() < end and select.select([line], [], [], 0.5)[0]:
        answer += os.read(line, 4096)
    os.close(line)
    end_child(run.sim)
    return answer


def read_listing(listing):
    """(tree, free, starts) of a listing: each tree line (the lines between the first one and the free-space lines)
    as (depth, where its name starts, name, size or None for a folder, path), the free bytes of the RAM and the flash
    disk, and where each line starts."""
    lines = listing.split(b"\r\n")
    starts = list(itertools.accumulate([len(line) + 2 for line in lines[:-1]], initial=0))
    free = next(i for i, line in enumerate(lines) if line.startswith(b"Free RamDisk:"))
    tree, folders = [], []
    for start, line in zip(starts[1:free], lines[1:free]):
        body = line.lstrip(b" ")
        depth = len(line) - len(body)
        size, name = (None, body[6:]) if body.startswith(b"(dir) ") else body.split(b" ", 1)
        folders[depth:] = [name.decode("latin-1")]
        tree.append((depth, start + len(line) - len(name), name, size and int(size), "/".join(folders)))
    disks = [int(lines[i].split(b":")[1]) for i in (free, free + 1)]
    return tree, disks, starts


def expected_tree(listing):
    """What vtx ls --json must print for the listing the controller sends."""
    tree, (ram, flash), _ = read_listing(listing)
    root = {"name": "/", "type": "dir", "children": []}
    places = {"": root}
    for _, _, name, size, path in tree:
        entry = {"name": name.decode("latin-1"), "type": "dir", "children": []} if size is None else \
            {"name": name.decode("latin-1"), "type": "file", "size": size}
        places[path.rpartition("/")[0]]["children"].append(entry)
        places[path] = entry
    return {"ramDiskFree": ram, "flashDiskFree": flash, "root": root}


def listing_places(rng, listing):
    """Bytes of the listing by the names of the fault tables, for a name of more than one byte."""
    tree, _, starts = read_listing(listing)
    _, name_at, name, _, _ = rng.choice([line for line in tree if len(line[2]) > 1])
    # Not the first tree line: the rest of a listing cut there would hold the whole tree.
    places = {"name": name_at + rng.randint(1, len(name) - 1), "between": rng.choice(starts[2:len(tree) + 2]),
              "free": starts[-2], "end": starts[-1]}
    places["cut"] = places[rng.choice(["name", "between", "free"])]
    return dict(places, inside=rng.choice([0, places["cut"]]))


def fill_fault(rng, text, places, **fixed):
    """The simulator's fault text with its places filled: places() the bytes, then the times and lengths."""
    long_ms = rng.randint(1300, 1800)
    return text.format(**places(), **fixed, short=rng.randint(300, 700), long=long_ms,
                       longer=rng.choice([long_ms, rng.randint(2300, 2700)]), later=rng.randint(2300, 3000),
                       length=rng.randint(8, 64)).replace("+", " ").split()


def draw_places(rng, s):
    """Bytes of the answer the fault hits (a list comes after its echo line); {cut} in a list or a delete answer is any
    of its bytes."""
    if s.letter == "l":
        length, places = len(s.listing), listing_places(rng, s.listing)
    else:
        length = len(b"x\r\n" + s.lists[s.letter]) if s.letter in "pt" else len(b"File deleted\r\n")
        places = {"cut": (cut := rng.randrange(length)), "inside": rng.choice([0, cut])}
    return dict(places, any=rng.randint(0, length), after=AFTER)


def draw_count(rng, s):
    """0 for every answer to the letter, else which one: a listing up to one past the attempts, the first of the
    others."""
    return rng.choice([0, *range(1, (ATTEMPTS + 1 if s.letter == "l" else 1) + 1)])


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
    s.count, s.baud, s.hit, s.survives = draw_count(rng, s), int(fault.baud), fault.hit, fault.survives
    s.faults, s.place_seed = [], rng.randrange(1 << 32)   # placed in the listing once the controller has sent it
    s.existing = {path: b"x" * size for path, size in s.sizes.items()}
    s.existing.update({".params.txt": s.lists["p"], ".tools.txt": s.lists["t"]})
    return s


def place_faults(s, listing):
    """The run's simulator faults, placed in the answers of its controller."""
    rng, s.listing = random.Random(s.place_seed), listing
    s.faults = fill_fault(rng, FAULTS[s.label].text, lambda: draw_places(rng, s), x=s.letter,
                          n=f":{s.count}" * bool(s.count), n1=f":{s.count + 1}" * bool(s.count))


def honest_messages(s):
    """Every message that is true of some state of the line for the run's command; rm's words about its file are
    checked against the folder."""
    if s.command in ("params", "tools"):
        return {NO_ANSWER, SEND_FAILED, f"The Vantorix sent no {LIST_NAMES[COMMAND_LETTERS[s.command]]}."}
    return {BAD, NO_ANSWER, SEND_FAILED}


def still_listed(s, message):
    """For rm: whether the message says that the file is still on the controller."""
    return message.startswith(f"vtx: /{s.target}: still on the controller after the delete; ")


def must_succeed(s):
    """A correct client ends in success: the fault never keeps it from the truth, or it hits a single listing and
    another attempt follows."""
    return s.survives == "always" or (s.survives == "once" and s.letter == "l" and s.count != 0)


def time_limit(s):
    """Every read and every quiet phase at its bound (the line time of a full buffer and a read time), for each
    listing attempt before and after a delete and the delete's answer, and slack."""
    return (2 * ATTEMPTS + 1) * 2 * (BUFFER_BYTES * 10 / s.baud + READ_S) + SLACK_S


def describe(data):
    return "no file" if data is None else f"{len(data)} bytes beginning {data[:60]!r}"


def output_problems(s, seen):
    """ls: the listed tree is the folder's; params and tools: the -o file holds the list, or what it held before."""
    if s.command == "ls" and seen.status == 0:
        try:
            printed = json.loads(seen.stdout)
        except ValueError:
            return [f"vtx ls --json printed no JSON: {seen.stdout[:200]!r}"]
        wanted = expected_tree(s.listing)
        return [] if printed == wanted else [f"listed {printed}, the controller holds {wanted}"]
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
    """The run's problems, by the truth alone: exit 0 must show what the folder holds; a failure must be honest, say
    nothing untrue of the folder and leave the -o file as it was; a fault that a correct client survives must end in
    success."""
    finished, _, message, seen, _, complaints, _ = result
    if not finished:
        return complaints + [f"hang: vtx did not end within {time_limit(s):.1f} s"]
    problems = list(complaints)
    gone = False
    if seen.status == 0:
        gone = s.command == "rm"
    else:
        problems += [f"failed ({message!r}) where a correct client succeeds"] * must_succeed(s)
        kept = s.command == "rm" and still_listed(s, message)
        honest = message in honest_messages(s) or kept
        problems += [f"exit {seen.status} with {message!r}, which is no honest message of vtx {s.command}"] * (
            not honest)
        # A failed rm may or may not have deleted its file; what it says of the file must be true.
        gone = s.command == "rm" and not kept and s.target not in seen.files
    return problems + output_problems(s, seen) + folder_problems(s, seen, gone)


def read_run(s, workdir, build):
    """(finished, succeeded, message, what vtx left, -, complaints, detail) of one run."""
    os.makedirs(workdir)
    listing = controller_listing(s, workdir, os.path.join(build, "vantorix-sim"))
    listed = {path: size for _, _, _, size, path in read_listing(listing)[0]} if b"\nFree RamDisk:" in listing else {}
    if listed != {**dict.fromkeys(s.folders), **s.sizes}:
        seen = SimpleNamespace(status=None, stdout="", files={}, output=None)
        return True, False, "", seen, [], [f"the controller lists {listing!r}, not its folder"], "no run"
    place_faults(s, listing)
    output = os.path.join(workdir, "list.txt")
    if s.old_output is not None:
        with open(output, "wb") as out:
            out.write(s.old_output)
    command = ["--baud", str(s.baud), "--attempts", str(ATTEMPTS), s.command] + {"ls": ["--json"], "rm": ["/" + s.target]}.get(s.command,
                                                                                                  ["-o", output])
    finished, status, report, stdout, storage, _, complaints = run_vtx(s, workdir, build, lambda run: command,
                                                                       time_limit(s))
    seen = SimpleNamespace(status=status, stdout=stdout, files={path: len(data) for path, data in storage.items()},
                           output=open(output, "rb").read() if os.path.exists(output) else None)
    complaints += [f"unexpected exit status {status}"] * (finished and status not in (0, 1))
    detail = f"vtx {s.command}, faults {' '.join(s.faults) or '-'}: exit {status}; stderr: " + " | ".join(report[-4:])
    # A port said to be gone must be one whose line hung up; the message judged is the one before that sentence.
    said_gone = [line for line in report if PORT_GONE.fullmatch(line)]
    if said_gone and not any(fault.startswith("hangup") for fault in s.faults):
        complaints.append(f"says {said_gone[0]!r}, but the line never hung up")
    said = [line for line in report if not PORT_GONE.fullmatch(line)]
    return finished, status == 0, said[-1] if said else "", seen, [], complaints, detail


if __name__ == "__main__":
    args = arguments("Read-side fault campaign of vtx ls, params, tools and rm against the simulated controller.",
                     runs=24, deadline=120, jobs=2, what="runs").parse_args()
    sys.exit(run_campaign(args, "vtx read campaign", lambda s, workdir: read_run(s, workdir, args.build),
                          draw_read_scenario, judge, "read"))
