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
import argparse, contextlib, os, pathlib, re, shutil, signal, subprocess, sys, tempfile, time

MARK = "# not run by the README test:"
SHELL_NAMES = ("bash", "shell", "console", "shell-session", "zsh")   # a shell block says sh, so that it runs
FENCE = re.compile(r"^( *)(`{3,})\s*([^`\s]*)")


def read_blocks(path, label):
    """(info, line of the first body line, body) of each fenced block of a Markdown file, and its problems."""
    lines, blocks, problems, i = path.read_text(encoding="utf-8").splitlines(), [], [], 0
    while i < len(lines):
        if opening := FENCE.match(lines[i]):
            indent, start = len(opening[1]), i + 1
            i += 1
            while i < len(lines) and not re.fullmatch(r" *" + opening[2] + r"`*\s*", lines[i]):
                i += 1
            problems += [f"{label}:{start}: a fenced block that never closes"] * (i == len(lines))
            body = [text[min(indent, len(text) - len(text.lstrip(" "))):] for text in lines[start:i]]
            blocks.append((opening[3], start + 1, body))
        i += 1
    return blocks, problems


def make_sysroot(kind_file, root):
    """Folders, text files and links from KIND|PATH|TEXT lines."""
    for line in kind_file.read_text(encoding="utf-8").splitlines():
        if line.strip() and not line.startswith("#"):
            kind, path, text = (line.split("|", 2) + [""])[:3]
            (target := root / path).parent.mkdir(parents=True, exist_ok=True)
            if kind == "d":
                target.mkdir(exist_ok=True)
            elif kind == "f":
                target.write_text(text + "\n" if text else "", encoding="utf-8")
            else:
                target.symlink_to(text)


def session_processes(session):
    """(pid, command line) of each living process of a session."""
    listed = subprocess.run(["ps", "-s", str(session), "-o", "pid=,stat=,args="], capture_output=True, text=True)
    return [(int(pid), command) for pid, stat, command in
            ((line.split(None, 2) + [""])[:3] for line in listed.stdout.splitlines()) if not stat.startswith("Z")]


def run_block(script, folder, env, limit):
    """Runs one block; (its problems, its output)."""
    with tempfile.TemporaryFile() as out:
        shell = subprocess.Popen(["bash", "-e", "-o", "pipefail", "-c", script], cwd=folder, env=env,
                                 stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
        try:
            status, grace = shell.wait(timeout=limit), 5   # a simulator stopped at the block's end lingers a second
            problems = [f"exit status {status}"] * (status != 0)
        except subprocess.TimeoutExpired:
            problems, grace = [f"still running after {limit} s"], 0
        deadline = time.monotonic() + grace
        while session_processes(shell.pid) and time.monotonic() < deadline:
            time.sleep(0.05)
        left = [f"pid {pid} ({command[:100]})" for pid, command in session_processes(shell.pid) if pid != shell.pid]
        problems += [f"left running: {', '.join(left)}"] * bool(left)
        for number in (signal.SIGTERM, signal.SIGKILL):
            for pid, _ in session_processes(shell.pid):
                with contextlib.suppress(ProcessLookupError):
                    os.kill(pid, number)
            deadline = time.monotonic() + 2
            while session_processes(shell.pid) and time.monotonic() < deadline:
                time.sleep(0.05)
        shell.wait()
        out.seek(0)
        output = out.read().decode(errors="replace").replace("\r\n", "\n")
    return problems, output + "\n" * (bool(output) and not output.endswith("\n"))


def check_readme(readme, label, folder, env, limit):
    """(failures, blocks not run with their reasons, blocks run, outputs compared) of one README."""
    blocks, failures = read_blocks(readme, label)
    skipped, ran, compared, previous, shown = [], 0, 0, None, None   # shown: the output of the sh block before
    for info, line, body in blocks:
        at = int(bool(body) and body[0].startswith(MARK) and len(body) > 1)   # a block not run: its command
        name = f"{label}:{line + at} `{body[at] if body else '(empty)'}`"
        if info == "output" and (previous is None or previous[0] != "sh"):
            failures.append(f"{name}: an output block follows the sh block whose output it shows")
        elif info == "output" and shown is not None:
            compared += 1
            pattern = "".join(r"(?:.*\n)*?" if text == "..." else re.escape(text) + r"\n" for text in body)
            if not re.fullmatch(pattern, shown):
                failures.append(f"{previous[1]}: prints other lines than the output block at line {line} shows\n"
                                "--- shown:\n" + "\n".join(body) + f"\n--- printed:\n{shown}")
        previous, shown = (info, name), None
        if info == "":
            failures.append(f"{name}: a fenced block without a language (sh runs; text, output, bat and the like "
                            "do not)")
        elif info in SHELL_NAMES:
            failures.append(f"{name}: a shell block is marked ```sh, so that it runs")
        elif info not in ("sh", "output"):
            skipped.append(f"{name}: a {info} block, not shell")
        elif info == "sh" and body[:1] and body[0].startswith(MARK):
            skipped.append(f"{name}: {body[0][len(MARK):].strip() or 'no reason given'}")
        elif info == "sh":
            began, ran = time.monotonic(), ran + 1
            problems, output = run_block("\n".join(body) + "\n", folder, env, limit)
            print(f"ran     {name} ({time.monotonic() - began:.1f} s)" + ": " * bool(problems) + "; ".join(problems),
                  flush=True)
            failures += [f"{name}: {'; '.join(problems)}\n--- its output:\n{output}"] * bool(problems)
            shown = None if problems else output
    return failures, skipped, ran, compared


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", required=True, type=pathlib.Path, help="the source tree")
    parser.add_argument("--build", required=True, type=pathlib.Path, help="the native build folder")
    parser.add_argument("--limit", type=float, default=60, help="seconds a block may take (default 60)")
    args = parser.parse_args()
    source, build, ci = args.source.resolve(), args.build.resolve(), os.environ.get("CI") == "true"
    if missing := [name for name in ("vtx", "vantorix-sim") if not os.access(build / name, os.X_OK)]:
        print(f"{'FAIL' if ci else 'skipped'}: {', '.join(missing)} not built in {build}")
        return 1 if ci else 77
    tops = [top for top in source.iterdir() if top.is_dir() and top.name not in ("build", "tests")
            and not top.name.startswith(".")]
    readmes = [source / "README.md"] + sorted(path for top in tops for path in top.rglob("README.md"))
    failures, skipped, ran, compared = [], [], 0, 0
    with tempfile.TemporaryDirectory(prefix="readme-examples-") as scratch:
        make_sysroot(pathlib.Path(__file__).with_name("sysroot.txt"), pathlib.Path(scratch, "sysroot"))
        env = {key: value for key, value in os.environ.items() if key != "VTX_PORT"}
        env.update(PATH=f"{build}{os.pathsep}{env.get('PATH', '/usr/bin:/bin')}", VTX_SYSROOT=f"{scratch}/sysroot")
        for number, readme in enumerate(readmes):
            folder = pathlib.Path(scratch, f"checkout{number}")   # as a fresh clone has it, build/native the build
            shutil.copytree(source, folder, symlinks=True, ignore=lambda where, names:
                            [n for n in names if pathlib.Path(where) == source and n in ("build", ".git")])
            (folder / "build").mkdir()
            (folder / "build" / "native").symlink_to(build)
            found = check_readme(readme, str(readme.relative_to(source)), folder, env, args.limit)
            failures, skipped = failures + found[0], skipped + found[1]
            ran, compared = ran + found[2], compared + found[3]
    print(*[f"not run {reason}" for reason in skipped], *[f"\nFAIL {failure}" for failure in failures], sep="\n")
    print(f"\n{ran} blocks ran, {compared} of their outputs compared, {len(skipped)} blocks not run, "
          f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
