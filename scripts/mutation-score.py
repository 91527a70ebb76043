#!/usr/bin/env python3
"""Mutation score of the unit tests over the core logic.

Plants one small fault at a time in the core logic files (a relational
operator flipped, == and != swapped, && and || swapped, + and - swapped, an
integer literal off by one, return 1 and return 0 swapped, a break, continue
or assignment deleted), rebuilds incrementally in its own build folder, runs
the unit test binaries and counts the faults they catch. Comments, strings and
preprocessor lines are never touched. Every site is ranked by a hash of the
seed, its file and its text, so a later run with the same seed on the same
files draws the same faults. The file is put back after every fault, also on
Ctrl-C.

  scripts/mutation-score.py [--seed 14] [--sample 80] [--report FILE] [--only FILE:LINE ...]

--only runs just the drawn faults on the lines named (as the report names
them, e.g. app/delete_command.cpp:61), to see whether a new case kills them.
"""
import argparse, hashlib, os, re, signal, subprocess, sys, time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORE = ["tree/listing_parser.cpp", "tree/listing_end.cpp", "tree/read_directories.cpp", "tree/device_tree.cpp",
        "tree/entry_path.cpp", "serial/serial_port.cpp", "serial/answer_read.cpp", "serial/line_talk.cpp",
        "app/command_line.cpp", "app/settings.cpp", "app/profile_rules.cpp",
        "app/number_rule.cpp", "app/fetch_answer.cpp", "app/delete_command.cpp", "lib/zem_array.cpp"]
# The sender's portable files; the platform backends and the dialog are left out.
CORE += sorted("serial/" + n for n in os.listdir(os.path.join(ROOT, "serial"))
               if re.fullmatch(r"upload_\w+\.cpp", n) and not re.search(r"_(win32|posix)\.cpp$", n))
# The binaries that run on a scripted line and the virtual clock.
TESTS = ["tests/tree/tree_tests", "tests/app/app_tests", "tests/upload/upload_tests",
         "tests/serial/serial_tests", "tests/remote/remote_tests", "tests/remote/vtx_tests", "tests/lib/lib_tests"]

# (kind, pattern, replacement); patterns see only code: comments and literals are blanked.
SWAPS = [("relational", r"(?<= )<(?= )", "<="), ("relational", r"(?<= )<=(?= )", "<"),
         ("relational", r"(?<= )>(?= )", ">="), ("relational", r"(?<= )>=(?= )", ">"),
         ("equality", r"==", "!="), ("equality", r"!=", "=="),
         ("logical", r"&&", "||"), ("logical", r"\|\|", "&&"),
         ("arithmetic", r"(?<= )\+(?= )", "-"), ("arithmetic", r"(?<= )-(?= )", "+"),
         ("return", r"\breturn 1;", "return 0;"), ("return", r"\breturn 0;", "return 1;")]
LITERAL = re.compile(r"(?<![\w.'])(\d+)(?![\w.'])")
DELETABLE = re.compile(r"^(\s*)(break;|continue;|[A-Za-z_][\w.\[\]>-]*\s*([-+*/|&^]|<<|>>)?=[^=].*;"
                       r"|[A-Za-z_][\w.\[\]>-]*(\+\+|--);|(\+\+|--)[A-Za-z_][\w.\[\]>-]*;)\s*$")


def code_only(lines):
    """Each line with comments, string and character literals blanked out."""
    out, in_block = [], False
    for line in lines:
        chars, i, n = list(line), 0, len(line)
        if not in_block and line.lstrip().startswith("#"):
            out.append(" " * n); continue
        while i < n:
            if in_block:
                end = line.find("*/", i)
                stop = n if end < 0 else end + 2
                chars[i:stop] = " " * (stop - i); i = stop; in_block = end < 0
            elif line.startswith("//", i):
                chars[i:] = " " * (n - i); break
            elif line.startswith("/*", i):
                in_block = True
            elif line[i] in "\"'":
                j = i + 1
                while j < n and line[j] != line[i]:
                    j += 2 if line[j] == "\\" else 1
                chars[i:j + 1] = " " * (min(j + 1, n) - i); i = j + 1
            else:
                i += 1
        out.append("".join(chars))
    return out


def sites(path):
    """Every fault that can be planted in one file: (line index, column, old, new, kind)."""
    lines = open(os.path.join(ROOT, path)).read().split("\n")
    found = []
    for idx, code in enumerate(code_only(lines)):
        for kind, pattern, new in SWAPS:
            for m in re.finditer(pattern, code):
                found.append((idx, m.start(), m.group(0), new, kind))
        for m in LITERAL.finditer(code):
            value = int(m.group(1))
            found.append((idx, m.start(), m.group(1), str(value + 1), "literal"))
            if value > 0:
                found.append((idx, m.start(), m.group(1), str(value - 1), "literal"))
        d = DELETABLE.match(code)
        if d and code.strip() == lines[idx].strip() and "{" not in code:
            body = lines[idx].strip()
            found.append((idx, len(d.group(1)), body, ";", "deleted"))
    return lines, found


def rank(seed, path, line, col, old, new):
    key = f"{seed}|{path}|{line.strip()}|{col - (len(line) - len(line.lstrip()))}|{old}|{new}"
    return hashlib.sha256(key.encode()).hexdigest()


def run(cmd, timeout, cwd=None):
    """Exit code of cmd, or None when it ran past timeout (the whole group is killed)."""
    p = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        return p.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None
    finally:
        if p.returncode is None:
            os.killpg(p.pid, signal.SIGKILL); p.wait()


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[1])
    ap.add_argument("--seed", type=int, default=14)
    ap.add_argument("--sample", type=int, default=80)
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "mutation"))
    ap.add_argument("--report", default=None, help="where the report goes (default BUILD/mutation-report.txt)")
    ap.add_argument("--timeout", type=float, default=0, help="per-mutant test timeout in s (default 5x baseline + 10)")
    ap.add_argument("--only", nargs="+", default=[], metavar="FILE:LINE", help="only the drawn faults on these lines")
    a = ap.parse_args()
    report = a.report or os.path.join(a.build, "mutation-report.txt")
    env = dict(os.environ, CMAKE_CXX_COMPILER_LAUNCHER="ccache", CMAKE_C_COMPILER_LAUNCHER="ccache")
    if not os.path.exists(os.path.join(a.build, "build.ninja")):
        subprocess.check_call(["cmake", "-S", ROOT, "-B", a.build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                               "-DVBROWSER_BENCH=OFF", "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache",
                               "-DCMAKE_C_COMPILER_LAUNCHER=ccache"], env=env, stdout=subprocess.DEVNULL)
    targets = [os.path.basename(t) for t in TESTS]
    build = ["ninja", "-C", a.build] + targets

    def test_all(timeout):
        for t in TESTS:
            code = run([os.path.join(a.build, t)], timeout, cwd=os.path.dirname(os.path.join(a.build, t)))
            if code != 0:
                return "killed" if code is not None else "killed (timeout)"
        return "survived"

    if run(build, 1800) != 0:
        sys.exit("the unmutated tree does not build")
    start = time.time()
    if test_all(600) != "survived":
        sys.exit("the unit tests fail on the unmutated tree")
    timeout = a.timeout or 5 * (time.time() - start) + 10

    pool, seen = [], set()
    for path in CORE:
        lines, found = sites(path)
        for idx, col, old, new, kind in found:
            mutated = lines[idx][:col] + new + lines[idx][col + len(old):]
            if (path, idx, mutated) not in seen:  # "return 1" -> "return 0" is also a literal change
                seen.add((path, idx, mutated))
                pool.append((rank(a.seed, path, lines[idx], col, old, new), path, idx, col, old, new, kind))
    chosen = sorted(sorted(pool)[:a.sample], key=lambda m: (m[1], m[2], m[3]))  # by file: one object per file
    chosen = [m for m in chosen if not a.only or f"{m[1]}:{m[2] + 1}" in a.only]

    originals, results = {}, []
    def interrupted(*_):
        raise KeyboardInterrupt
    signal.signal(signal.SIGTERM, interrupted)
    signal.signal(signal.SIGINT, interrupted)   # also when started where Ctrl-C was ignored
    try:
        for n, (_, path, idx, col, old, new, kind) in enumerate(chosen, 1):
            full = os.path.join(ROOT, path)
            if path not in originals:
                originals[path] = open(full).read()
            lines = originals[path].split("\n")
            lines[idx] = lines[idx][:col] + new + lines[idx][col + len(old):]
            try:
                open(full, "w").write("\n".join(lines))
                outcome = "not viable" if run(build, 600) != 0 else test_all(timeout)
            finally:
                open(full, "w").write(originals[path])
            change = f"{old} -> {new}" if kind != "deleted" else old
            results.append((outcome, f"{path}:{idx + 1}:{col + 1}", kind, change))
            print(f"[{n}/{len(chosen)}] {outcome:16} {results[-1][1]}  {kind}: {change}", flush=True)
    except KeyboardInterrupt:
        print("interrupted; files restored", file=sys.stderr)
    finally:
        for path, text in originals.items():
            open(os.path.join(ROOT, path), "w").write(text)
        run(build, 1800)

    count = lambda word: sum(1 for r in results if r[0].startswith(word))
    killed, survived, dead = count("killed"), count("survived"), count("not viable")
    score = 100.0 * killed / max(1, killed + survived)
    text = [f"seed {a.seed}, sample {a.sample} of {len(pool)} sites in {len(CORE)} files",
            f"mutants: {len(results)}", f"not viable: {dead}", f"killed: {killed}", f"survived: {survived}",
            f"score: {score:.1f} % (killed / (killed + survived))", "", "survivors:"]
    text += [f"  {where}  {kind}: {change}" for outcome, where, kind, change in results if outcome == "survived"]
    text += ["", "all mutants:"] + [f"  {o:16} {w}  {k}: {c}" for o, w, k, c in results]
    os.makedirs(os.path.dirname(os.path.abspath(report)), exist_ok=True)
    open(report, "w").write("\n".join(text) + "\n")
    print("\n".join(text[:text.index("all mutants:") - 1]))
    print(f"report: {report}")


if __name__ == "__main__":
    main()
