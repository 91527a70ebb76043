"""The simulated controller of one run: its process, its storage folder, and
what that folder holds once the controller has finished or given up the
upload."""
import os
import select
import signal
import subprocess
import threading
import time

# Names the simulator gives a file while it is being received.
TEMP_PREFIX = ".sim-upload-"
# Inactivity after which the simulator gives up an upload in a campaign run.
SILENCE_MS = 1000
# After giving up it swallows the sender's output for up to five seconds.
ABORT_DRAIN_S = 5.0

# Every child process of the campaign, so that an interrupted campaign
# leaves none behind; once it is stopping no new child starts.
LIVE_CHILDREN = set()
CHILDREN_LOCK = threading.Lock()
STOPPING = False


def end_all_children():
    global STOPPING
    with CHILDREN_LOCK:
        STOPPING = True
        children = list(LIVE_CHILDREN)
        LIVE_CHILDREN.clear()
    for child in children:
        if child.poll() is None:
            try:
                child.kill()
                child.wait(timeout=5)
            except (OSError, subprocess.TimeoutExpired):
                pass


def forget_child(child):
    with CHILDREN_LOCK:
        LIVE_CHILDREN.discard(child)


def start_child(args, **options):
    with CHILDREN_LOCK:
        if STOPPING:
            raise RuntimeError("the campaign is stopping")
        child = subprocess.Popen(args, **options)
        LIVE_CHILDREN.add(child)
        return child


def prepare_storage(root, scenario):
    for disk in ("ram/cncprg", "ROM"):
        os.makedirs(os.path.join(root, disk), exist_ok=True)
    if scenario.make_dir:
        os.makedirs(os.path.join(root, scenario.host_dir), exist_ok=True)
    for path, content in scenario.existing.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as out:
            out.write(content)


def read_storage(root):
    """(visible files: relative path -> content, hidden upload temp files)."""
    visible, temps = {}, []
    for folder, _, names in os.walk(root):
        for name in names:
            full = os.path.join(folder, name)
            relative = os.path.relpath(full, root)
            if name.startswith(TEMP_PREFIX):
                temps.append(relative)
            elif not name.startswith(".") and os.path.isfile(full) and not os.path.islink(full):
                with open(full, "rb") as source:
                    visible[relative] = source.read()
    return visible, temps


def wait_until_no_temp(root, limit_s):
    """Polls until no upload temp file is left; the ones still there at the limit."""
    end = time.monotonic() + limit_s
    while True:
        temps = read_storage(root)[1]
        if not temps or time.monotonic() >= end:
            return temps
        time.sleep(0.1)


def settle_and_stop(sim, root, scenario, complaints):
    """Gives the controller its time to give up a broken upload, stops it and
    returns (visible files, upload temp files left at any point)."""
    settle = SILENCE_MS / 1000 + ABORT_DRAIN_S + 1.0
    if any(f.startswith("stall-from") for f in scenario.faults):
        settle += 3
    temps = wait_until_no_temp(root, settle) if sim.alive() else []
    complaint = sim.stop()
    if complaint:
        complaints.append(complaint)
    storage, after_stop = read_storage(root)
    return storage, sorted(set(temps) | set(after_stop))


class Simulator:
    def __init__(self, binary, root, link, scenario, log_path, verbose=False):
        self.binary, self.root, self.link, self.log_path = binary, root, link, log_path
        self.args = [binary, "--root", root, "--link", link, "--mode", scenario.mode,
                     "--silence-ms", str(SILENCE_MS), "--ram-size", str(scenario.ram_size),
                     "--flash-size", str(scenario.flash_size)]
        if scenario.baud:
            self.args += ["--baud", str(scenario.baud)]
        for fault in scenario.faults:
            self.args += ["--fault", fault]
        if verbose:
            self.args.append("--verbose")
        self.process = None
        self.starts = 0

    def start(self):
        """Starts the simulator and waits for its terminal; '' or a complaint."""
        args = self.args
        self.starts += 1
        log = open(self.log_path, "ab")
        log.write(f"--- start {self.starts}: {' '.join(args)}\n".encode())
        log.flush()
        self.process = start_child(args, stdout=subprocess.PIPE, stderr=log, stdin=subprocess.DEVNULL)
        log.close()
        ready, _, _ = select.select([self.process.stdout], [], [], 10)
        line = self.process.stdout.readline() if ready else b""
        self.process.stdout.close()
        if not line.strip() or not os.path.islink(self.link):
            self.stop(1)
            return "the simulator did not come up"
        return ""

    def alive(self):
        return self.process is not None and self.process.poll() is None

    def signal(self, name):
        if self.alive():
            self.process.send_signal(getattr(signal, "SIG" + name))

    def wait(self, limit_s):
        try:
            self.process.wait(timeout=limit_s)
            return True
        except subprocess.TimeoutExpired:
            return False

    def stop(self, limit_s=5):
        """Asks the simulator to end; '' or a complaint when it had to be killed."""
        if self.process is None:
            return ""
        complaint = ""
        if self.process.poll() is None:
            self.process.terminate()
            if not self.wait(limit_s):
                complaint = f"the simulator did not end within {limit_s} s of SIGTERM"
                self.process.kill()
                self.process.wait()
        forget_child(self.process)
        return complaint
