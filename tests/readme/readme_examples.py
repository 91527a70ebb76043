#!/usr/bin/env python3
"""Runs the shell examples of the READMEs as a reader pastes them.

Each README that shows commands for users (README.md and the READMEs beside the programs; those under tests/ describe
test data) gets a fresh copy of the source tree whose build/native is the build under test, and its ```sh blocks run
there in the order they come, each under `bash -e -o pipefail` in a session of its own with a time limit: it must end
with status 0 and leave no process of its own running. A block whose first line is '# not run by the README test:
REASON' is listed with its reason instead. An ```output block after a ```sh block holds what that block prints,
stdout and stderr as a terminal shows them; a line '...' stands for any number of lines. The build's programs are on
PATH, and `vtx ports` sees the fake /dev and /sys of sysroot.txt. Without the build's programs the test is skipped
(status 77), but fails with CI=true."""
import argparse, os, pathlib, re, shutil, signal, subprocess, sys, tempfile, time

MARK = "# not run by the README test:"
SHELL_NAMES = ("bash", "shell", "console", "shell-session", "zsh")   # a shell block says sh, so that it runs
FENCE = re.compile(r"^( *)(`{3,})\s*([^`\s]*)")


class Block:
    def __init__(self, readme, line, info, body):
        self.readme, self.line, self.info, self.body = readme, line, info, body

    def marked(self):
        return bool(self.body) and self.body[0].startswith(MARK)

    def name(self):
        """Where the block is and its first command: the line after the mark of a block that is not run."""
        at = 1 if self.marked() and len(self.body) > 1 else 0
        first = self.body[at] if self.body else "(empty)"
        return f"{self.readme}:{self.line + at} `{first}`"


def read_blocks(path, label):
    """The fenced blocks of a Markdown file, with the line number of their first line (counted from 1)."""
    lines, blocks, problems, i = path.read_text(encoding="utf-8").splitlines(), [], [], 0
    while i < len(lines):
        opening = FENCE.match(lines[i])
        if not opening:
            i += 1
            continue
        indent, fence, info = len(opening.group(1)), opening.group(2), opening.group(3)
        start, body, i = i + 1, [], i + 1
        while i < len(lines) and not re.fullmatch(r" *" + fence + r"`*\s*", lines[i]):
            text = lines[i]
            body.append(text[min(indent, len(text) - len(text.lstrip(" "))):])
            i += 1
        if i == len(lines):
            problems.append(f"{label}:{start - 1}: a fenced block that never closes")
        blocks.append(Block(label, start + 1, info, body))
        i += 1
    return blocks, problems


def make_tree(kind_file, root):
    """Folders, text files and links from KIND|PATH|TEXT lines."""
    for line in kind_file.read_text(encoding="utf-8").splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        kind, path, text = (line.split("|", 2) + [""])[:3]
        target = root / path
        target.parent.mkdir(parents=True, exist_ok=True)
        if kind == "d":
            target.mkdir(parents=True, exist_ok=True)
        elif kind == "f":
            target.write_text(text + "\n" if text else "", encoding="utf-8")
        elif kind == "l":
            target.symlink_to(text)


def copy_checkout(source, build, folder):
    """The source tree as a fresh clone has it, with build/native pointing at the build under test."""
    shutil.copytree(source, folder, symlinks=True, ignore=lambda where, names:
                    [n for n in names if pathlib.Path(where) == source and n in ("build", ".git")])
    (folder / "build").mkdir()
    (folder / "build" / "native").symlink_to(build)


def session_processes(session):
    """The processes still alive in a session: (pid, command line)."""
    found = []
    for entry in pathlib.Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            fields = (entry / "stat").read_text().rsplit(")", 1)[1].split()
            command = (entry / "cmdline").read_bytes().replace(b"\0", b" ").decode(errors="replace").strip()
        except (OSError, IndexError):
            continue
        if int(fields[3]) == session and fields[0] != "Z":
            found.append((int(entry.name), command))
    return found


def end_session(session, grace):
    """Waits up to GRACE seconds for a block's processes to end by themselves, then ends those left (by pid) and
    names them."""
    deadline = time.monotonic() + grace
    while session_processes(session) and time.monotonic() < deadline:
        time.sleep(0.05)
    left = session_processes(session)
    for signal_number in (signal.SIGTERM, signal.SIGKILL):
        for pid, _ in session_processes(session):
            try:
                os.kill(pid, signal_number)
            except ProcessLookupError:
                pass
        deadline = time.monotonic() + 2
        while session_processes(session) and time.monotonic() < deadline:
            time.sleep(0.05)
    return left


def expected_pattern(lines):
    return "".join(r"(?:.*\n)*?" if line == "..." else re.escape(line) + r"\n" for line in lines)


def run_block(block, folder, env, limit, logs):
    """Runs one block; returns its problems (empty when it passed) and its output."""
    script, log = logs / f"block{block.line}.sh", logs / f"block{block.line}.out"
    script.write_text("\n".join(block.body) + "\n", encoding="utf-8")
    with open(log, "wb") as out:
        shell = subprocess.Popen(["bash", "-e", "-o", "pipefail", str(script)], cwd=folder, env=env,
                                 stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                 start_new_session=True)
    problems = []
    try:
        status = shell.wait(timeout=limit)
        if status != 0:
            problems.append(f"exit status {status}")
        grace = 5   # a simulator stopped at the block's end lingers about a second
    except subprocess.TimeoutExpired:
        problems.append(f"still running after {limit} s")
        grace = 0
    left = end_session(shell.pid, grace)
    shell.wait()
    left = [f"pid {pid} ({command[:100]})" for pid, command in left if pid != shell.pid]
    if left:
        more = f" and {len(left) - 3} more" if len(left) > 3 else ""
        problems.append("left running: " + ", ".join(left[:3]) + more)
    output = log.read_bytes().decode(errors="replace").replace("\r\n", "\n")
    return problems, (output + "\n" if output and not output.endswith("\n") else output)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", required=True, type=pathlib.Path, help="the source tree")
    parser.add_argument("--build", required=True, type=pathlib.Path, help="the native build folder")
    parser.add_argument("--limit", type=float, default=60, help="seconds a block may take (default 60)")
    args = parser.parse_args()
    source, build = args.source.resolve(), args.build.resolve()
    ci = os.environ.get("CI") == "true"

    missing = [name for name in ("vtx", "vantorix-sim") if not os.access(build / name, os.X_OK)]
    if missing:
        print(f"{'FAIL' if ci else 'skipped'}: {', '.join(missing)} not built in {build}")
        return 1 if ci else 77

    tops = [top for top in source.iterdir() if top.is_dir() and top.name not in ("build", "tests")
            and not top.name.startswith(".")]
    readmes = [source / "README.md"] + sorted(path for top in tops for path in top.rglob("README.md"))
    failures, skipped, ran, compared = [], [], 0, 0
    with tempfile.TemporaryDirectory(prefix="readme-examples-") as scratch:
        scratch = pathlib.Path(scratch)
        sysroot = scratch / "sysroot"
        make_tree(pathlib.Path(__file__).with_name("sysroot.txt"), sysroot)
        env = {key: value for key, value in os.environ.items() if key != "VTX_PORT"}
        env.update(PATH=f"{build}{os.pathsep}{env.get('PATH', '/usr/bin:/bin')}", VTX_SYSROOT=str(sysroot))
        for number, readme in enumerate(readmes):
            label = str(readme.relative_to(source))
            blocks, problems = read_blocks(readme, label)
            failures += problems
            folder, logs = scratch / f"checkout{number}", scratch / f"logs{number}"
            copy_checkout(source, build, folder)
            logs.mkdir()
            previous, shown = None, None   # the block before, and the output of the sh block before if it passed
            for block in blocks:
                if block.info == "output":
                    if previous is None or previous.info != "sh":
                        failures.append(f"{block.name()}: an output block follows the sh block whose output it shows")
                    elif shown is not None:
                        compared += 1
                        if not re.fullmatch(expected_pattern(block.body), shown):
                            failures.append(f"{previous.name()}: prints other lines than the output block at line "
                                            f"{block.line} shows\n--- shown:\n" + "\n".join(block.body)
                                            + f"\n--- printed:\n{shown}")
                    previous, shown = block, None
                    continue
                previous, shown = block, None
                if block.info == "":
                    failures.append(f"{block.name()}: a fenced block without a language (sh runs; text, output, "
                                    "bat and the like do not)")
                elif block.info in SHELL_NAMES:
                    failures.append(f"{block.name()}: a shell block is marked ```sh, so that it runs")
                elif block.info != "sh":
                    skipped.append((block, f"a {block.info} block, not shell"))
                elif block.marked():
                    skipped.append((block, block.body[0][len(MARK):].strip() or "no reason given"))
                else:
                    began = time.monotonic()
                    problems, output = run_block(block, folder, env, args.limit, logs)
                    ran += 1
                    print(f"ran     {block.name()} ({time.monotonic() - began:.1f} s)"
                          + (": " + "; ".join(problems) if problems else ""), flush=True)
                    if problems:
                        failures.append(f"{block.name()}: " + "; ".join(problems) + f"\n--- its output:\n{output}")
                    else:
                        shown = output
    for block, reason in skipped:
        print(f"not run {block.name()}: {reason}")
    for failure in failures:
        print(f"\nFAIL {failure}")
    print(f"\n{ran} blocks ran, {compared} of their outputs compared, {len(skipped)} blocks not run, "
          f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
