"""The PC side of a run: the batch's files on disk, and the change of one of
them while it is being sent."""
import os

from campaign_controller import TEMP_PREFIX
from campaign_scenario import upload_target_path


def write_batch(scenario, folder):
    """Writes the batch's PC files; their paths in batch order."""
    os.makedirs(folder)
    paths = []
    for i, upload in enumerate(scenario.files):
        # Each file in its own folder, so a name may come twice in a batch.
        own = os.path.join(folder, str(i))
        os.makedirs(own)
        path = os.path.join(own, upload.source)
        if upload.kind in ("file", "empty"):
            with open(path, "wb") as out:
                out.write(upload.data)
        elif upload.kind == "folder":
            os.makedirs(path)
        paths.append(path)
    return paths


def change_pc_file(scenario, paths):
    """Changes the scenario's file as an editor or a post-processor would."""
    path = paths[scenario.change_index]
    new = scenario.changed_data
    if scenario.change_how == "replace":
        # Written beside it and renamed over it: a new file under the old name.
        with open(path + ".new", "wb") as out:
            out.write(new)
        os.replace(path + ".new", path)
        return
    with open(path, "r+b") as out:    # grow, shrink, rewrite: the same file
        out.write(new)
        out.truncate(len(new))


def change_due(scenario, root):
    """True once the controller is receiving the changing file and holds at
    least `change_after` bytes of it (the files before it have arrived)."""
    for upload in scenario.files[:scenario.change_index]:
        try:
            if os.path.getsize(os.path.join(root, upload_target_path(scenario, upload))) != upload.size:
                return False
        except OSError:
            return False
    folder = os.path.join(root, scenario.host_dir)
    try:
        names = [n for n in os.listdir(folder) if n.startswith(TEMP_PREFIX)]
        return any(os.path.getsize(os.path.join(folder, n)) >= scenario.change_after for n in names)
    except OSError:
        return False
