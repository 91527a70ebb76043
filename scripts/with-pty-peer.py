#!/usr/bin/env python3
"""Runs a program against a peer on a pseudo-terminal.

Makes a pty, keeps its slave open for the whole run (so the line never hangs
up between the program's opens), points PORTDIR/comN at the slave, plays the
peer on the master, runs the program and exits with the program's status.

    scripts/with-pty-peer.py [options] -- PROGRAM [ARGS...]

Options:
  --prefix DIR     Wine prefix; with --portdir, scripts/wine-prefix.sh maps
                   COM1..COM9 and COM12 to PORTDIR/com1... first (once per
                   prefix).
  --arch ARCH      the prefix's kind for scripts/wine-prefix.sh: win32 (the
                   default) or win64.
  --portdir DIR    directory of the comN links (default: a temporary one).
  --com N          which link to point at the slave (default 1).
  --peer CMD       run CMD (through the shell) as the peer, with its stdin and
                   stdout on the master; it is ended when the program ends.
                   Without --peer the built-in peer below answers.
  --record FILE    built-in peer: write every byte the program sent to FILE.
  --answer TRIGGER REPLY
                   built-in peer (repeatable): whenever the bytes received so
                   far end with TRIGGER, send REPLY. Both are written with
                   Python's bytes escapes (\\r, \\n, \\x06). In REPLY,
                   {line} becomes the slave's current settings as
                   "<speed> <bits><parity><stop>", for example "115200 8N1",
                   so a program can check what it set, and {count} the
                   number of bytes received so far.
  --timeout SEC    end the program after SEC seconds (default 120).

The program gets VBROWSER_PTY (the slave path) and VBROWSER_COM ("COMn") in
its environment; a Windows program opens VBROWSER_COM through Wine, a native
one the slave path. Wine settings come from the command itself, for example
  -- env WINEPREFIX=... WINEDEBUG=-all wine test.exe
"""

import argparse
import codecs
import os
import pty
import select
import signal
import subprocess
import sys
import tempfile
import termios
import threading
import time
import tty


SPEEDS = {getattr(termios, n): n[1:] for n in dir(termios) if n.startswith("B") and n[1:].isdigit()}


def describe_line(slave):
    attrs = termios.tcgetattr(slave)
    cflag, speed = attrs[2], attrs[5]
    bits = {termios.CS5: 5, termios.CS6: 6, termios.CS7: 7, termios.CS8: 8}[cflag & termios.CSIZE]
    parity = "N" if not cflag & termios.PARENB else ("O" if cflag & termios.PARODD else "E")
    stop = 2 if cflag & termios.CSTOPB else 1
    return "%s %d%s%d" % (SPEEDS.get(speed, "?"), bits, parity, stop)


def play_builtin_peer(master, slave, answers, record, stop):
    received = bytearray()
    while not stop.is_set():
        ready, _, _ = select.select([master], [], [], 0.05)
        if not ready:
            continue
        try:
            chunk = os.read(master, 4096)
        except OSError:
            # No one holds the slave at this instant; the test keeps it open,
            # so this only passes through while the program re-opens.
            time.sleep(0.01)
            continue
        received += chunk
        if record:
            with open(record, "wb") as out:
                out.write(received)
        for trigger, reply in answers:
            if received.endswith(trigger):
                reply = reply.replace(b"{line}", describe_line(slave).encode())
                reply = reply.replace(b"{count}", str(len(received)).encode())
                os.write(master, reply)


def main():
    parser = argparse.ArgumentParser(description="Run a program against a peer on a pty.")
    parser.add_argument("--prefix")
    parser.add_argument("--portdir")
    parser.add_argument("--arch", default="win32", choices=["win32", "win64"])
    parser.add_argument("--com", type=int, default=1)
    parser.add_argument("--peer")
    parser.add_argument("--record")
    parser.add_argument("--answer", nargs=2, action="append", default=[], metavar=("TRIGGER", "REPLY"))
    parser.add_argument("--timeout", type=float, default=120)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no program given after --")

    portdir = args.portdir or tempfile.mkdtemp(prefix="pty-peer-")
    os.makedirs(portdir, exist_ok=True)
    if args.prefix:
        here = os.path.dirname(os.path.abspath(__file__))
        subprocess.run([os.path.join(here, "wine-prefix.sh"), args.prefix, portdir, args.arch], check=True)

    master, slave = pty.openpty()
    tty.setraw(master)
    slave_path = os.ttyname(slave)
    link = os.path.join(portdir, "com%d" % args.com)
    if os.path.lexists(link):
        os.unlink(link)
    os.symlink(slave_path, link)
    if args.record:
        open(args.record, "wb").close()

    stop = threading.Event()
    peer = None
    if args.peer:
        peer = subprocess.Popen(args.peer, shell=True, stdin=master, stdout=master, start_new_session=True)
    else:
        answers = [tuple(codecs.escape_decode(os.fsencode(text))[0] for text in pair) for pair in args.answer]
        threading.Thread(target=play_builtin_peer, args=(master, slave, answers, args.record, stop),
                         daemon=True).start()

    env = dict(os.environ, VBROWSER_PTY=slave_path, VBROWSER_COM="COM%d" % args.com)
    program = subprocess.Popen(command, env=env, start_new_session=True)
    try:
        status = program.wait(timeout=args.timeout)
    except subprocess.TimeoutExpired:
        os.killpg(program.pid, signal.SIGKILL)
        program.wait()
        print("with-pty-peer: program timed out after %g s" % args.timeout, file=sys.stderr)
        status = 124
    finally:
        stop.set()
        if peer and peer.poll() is None:
            os.killpg(peer.pid, signal.SIGTERM)
            try:
                peer.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.killpg(peer.pid, signal.SIGKILL)
                peer.wait()
        if os.path.islink(link) and os.readlink(link) == slave_path:
            os.unlink(link)
        os.close(slave)
        os.close(master)
    return status if status >= 0 else 128 - status


if __name__ == "__main__":
    sys.exit(main())
