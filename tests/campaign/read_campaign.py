#!/usr/bin/env python3
"""Read-side fault campaign of vtx ls, params, tools and rm against the simulated controller: each run reads a random
small controller folder through vtx while the controller misbehaves in one way (read_faults.txt). vtx's exit status,
last message and output must be what a correct client makes of that fault, and agree with the folder."""
import itertools, json, os, random, sys
from types import SimpleNamespace

sys.dont_write_bytecode = True   # no cache folder in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from upload_campaign import Scenario, arguments, draw_label, draw_name, read_table, run_campaign, run_vtx

BUFFER_BYTES, READ_S, ATTEMPTS, SLACK_S = 262143, 0.99, 2, 5   # a read's most, the read time, listing attempts
AFTER = 999999                                                 # a byte past the end of every answer
BAD = "The Vantorix-answer was not correct. Please try to update again."
NO_ANSWER = "No answer from Vantorix. Please check if it is connected."
SEND_FAILED = "Can't send Command. Please check if Vantorix is connected."
LIST_NAMES = {"p": "parameter list", "t": "tool list"}
COMMAND_LETTERS = {"ls": "l", "params": "p", "tools": "t", "rm": "ld"}
# What the hit answer is to a correct client (read_faults.txt explains each).
HITS = {"ok", "none", "bad", "late", "long", "endless", "endless-after", "gone", "gone-after"}
SURVIVES = {"always", "once", "no"}
FAULTS = read_table("read_faults.txt", "label ci long first letters baud hit survives text",
                    {"hit": HITS, "survives": SURVIVES})


TOO_LONG = "The {} is longer than the 262143 bytes the program can read; it was not written."
NEVER_ENDS = "The Vantorix did not stop sending the {}; it was not written."


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


def listing_places(rng, s):
    """Bytes of the listing by the names of the fault tables, for a name of more than one byte."""
    lines = listing_text(s).decode().split("\r\n")[:-1]
    starts = list(itertools.accumulate([len(line) + 2 for line in lines[:-1]], initial=0))
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
                       length=rng.randint(8, 64)).replace("+", " ").split()


def draw_places(rng, s):
    """Bytes of the answer the fault hits (a list comes after its echo line); {cut} in a list or a delete answer is any
    of its bytes."""
    if s.letter == "l":
        length, places = len(listing_text(s)), listing_places(rng, s)
    else:
        length = len(b"x\r\n" + s.lists[s.letter]) if s.letter in "pt" else len(b"File deleted\r\n")
        places = {"cut": (cut := rng.randrange(length)), "inside": rng.choice([0, cut])}
    return dict(places, any=rng.randint(0, length), after=AFTER)


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
    s.count, s.baud, s.hit, s.survives = draw_count(rng, s), int(fault.baud), fault.hit, fault.survives
    s.faults = fill_fault(rng, fault.text, lambda: draw_places(rng, s), x=s.letter, n=f":{s.count}" * bool(s.count),
                          n1=f":{s.count + 1}" * bool(s.count))
    s.existing = {path: b"x" * size for path, size in s.sizes.items()}
    s.existing.update({".params.txt": s.lists["p"], ".tools.txt": s.lists["t"]})
    return s


def honest_messages(s):
    """Every message that is true of some state of the line for the run's command; rm's words about its file are
    checked against the folder."""
    listing = {BAD, NO_ANSWER, SEND_FAILED}
    if s.command in ("params", "tools"):
        name = LIST_NAMES[COMMAND_LETTERS[s.command]]
        return {NO_ANSWER, SEND_FAILED, TOO_LONG.format(name), NEVER_ENDS.format(name),
                f"The Vantorix sent no {name}."}
    return listing


def still_listed(s, message):
    """For rm: whether the message says that the file is still on the controller."""
    return message.startswith(f"vtx: /{s.target}: still on the controller after the delete; ")


def must_succeed(s):
    """A correct client ends in success: the fault never keeps it from the truth, or it hits a single listing and
    another attempt follows."""
    return s.survives == "always" or (s.survives == "once" and s.letter == "l" and s.count != 0)


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
