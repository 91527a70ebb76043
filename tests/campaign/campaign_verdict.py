"""Whether what the sender reported agrees with what reached the controller.

The rules, for every run:
- the controller holds, for some k, exactly the first k files of the batch
  (each byte for byte) and otherwise its old files: nothing cut short, no
  stray file, no old file lost;
- success is reported only when every file of the batch arrived;
- no upload temp file outlives the controller's giving up.
Runs whose outcome does not depend on timing must also meet the expected
outcome exactly: status, message, number of files that arrived.
"""
from dataclasses import dataclass, field

from campaign_scenario import storage_after


@dataclass
class RunRecord:
    finished: bool                 # False: the sender hung past its limit
    succeeded: bool
    message: str                   # what the sender said last ('' for nothing)
    storage: dict                  # visible controller files after the run
    temps: list                    # upload temp files still there
    seconds: float = 0.0
    complaints: list = field(default_factory=list)   # from the harness (simulator, helper)
    detail: str = ""               # more of the sender's output, for the report


def deliverable_count(scenario):
    """How many leading files could possibly arrive: up to the first bad one."""
    for i, upload in enumerate(scenario.files):
        if upload.kind != "file":
            return i
    return len(scenario.files)


def describe_difference(scenario, storage, arrived):
    wanted = storage_after(scenario, arrived)
    lines = []
    for path in sorted(set(wanted) | set(storage)):
        have, want = storage.get(path), wanted.get(path)
        if have == want:
            continue
        if have is None:
            lines.append(f"{path}: missing (expected {len(want)} bytes)")
        elif want is None:
            lines.append(f"{path}: {len(have)} bytes that should not be there")
        else:
            new = [u.data for u in scenario.files if f"{scenario.host_dir}/{u.target}" == path]
            if scenario.change_after:
                new.append(scenario.changed_data)
            cut = any(len(have) < len(d) and d.startswith(have) for d in new)
            mixed = scenario.change_after and len(have) in (len(n) for n in new) and have not in new
            lines.append(f"{path}: {len(have)} bytes, expected {len(want)}" + (" (cut short)" if cut else "")
                         + (" (neither the old nor the new version of the changing PC file)" if mixed else ""))
    return "; ".join(lines)


def judge(scenario, expected, record):
    """(problems, notes): problems make the run fail, notes are worth telling."""
    problems, notes = list(record.complaints), []
    if not record.finished:
        problems.append("hang: the sender did not end within its limit")
    if record.temps:
        problems.append("upload temp file left after the controller gave up: " + ", ".join(record.temps))

    total = len(scenario.files)
    versions = (False, True) if scenario.change_after else (False,)
    matching = [k for k in range(deliverable_count(scenario) + 1)
                if any(storage_after(scenario, k, changed) == record.storage for changed in versions)]
    if not matching:
        closest = min(range(deliverable_count(scenario) + 1),
                      key=lambda k: len(set(storage_after(scenario, k).items()) ^ set(record.storage.items())))
        if record.succeeded:
            closest = deliverable_count(scenario)
        problems.append("controller holds no clean prefix of the batch: "
                        + describe_difference(scenario, record.storage, closest))
    if record.finished and record.succeeded and total not in matching:
        problems.append("success reported, but not every file arrived whole")

    if expected is not None and record.finished:
        if record.succeeded != (expected.exit_code == 0):
            problems.append(f"reported {'success' if record.succeeded else 'failure'}, expected "
                            f"{'success' if expected.exit_code == 0 else 'failure'}")
        if record.message != expected.message:
            problems.append(f"message {record.message!r}, expected {expected.message!r}")
        if matching and expected.arrived not in matching:
            problems.append(f"{matching[0]} file(s) arrived, expected {expected.arrived}")
    elif record.finished and record.message and not record.succeeded and total in matching and total > 0:
        notes.append(f"{record.message!r} although every file arrived")
    return problems, notes
