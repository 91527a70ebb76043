#!/usr/bin/env python3
"""Checks, from the headers and import table objdump reads out of each PE file, that it is a 32-bit x86 program
that Windows 7 starts.

    pe_check.py RULES FILE...      (RULES: tests/package/windows7.txt)

Prints one line per fault and exits 1 when there is any."""
import re, subprocess, sys


def faults(path, dlls, newer):
    dump = subprocess.run(["objdump", "-p", path], capture_output=True, text=True, check=True).stdout
    field = lambda name: (re.search(rf"^{name}\s+(\S+)", dump, re.M) or [None, "?"])[1]
    form = re.search(r"file format (\S+)", dump)[1]
    found = [f"file format {form}, not pei-i386 (32-bit x86)"] * (form != "pei-i386")
    found += [f"optional header magic {field('Magic')}, not PE32 (010b)"] * (field("Magic") != "010b")
    for what in ("OSystem", "Subsystem"):
        major, minor = field(f"Major{what}Version"), field(f"Minor{what}Version")
        found += [f"needs {what} version {major}.{minor}, Windows 7 is 6.1"] * (int(major) > 6)
    if int(re.search(r"^Entry d \w+ (\w+) Delay Import Directory", dump, re.M)[1], 16):
        found.append("delay-loaded imports, which this check does not read")
    dll = None
    for line in dump.splitlines():   # a "DLL Name:" line, then one line per function: vma, hint, name
        if named := re.match(r"\s*DLL Name: (\S+)", line):
            dll = named[1]
            found += [f"imports {dll}, which is not known to be on Windows 7"] * (dll.lower() not in dlls)
        elif dll and (function := re.match(r"\s*[0-9a-f]+\s+\d+\s+(\S+)$", line)) and function[1] in newer:
            found.append(f"imports {function[1]} from {dll}, which Windows 7 lacks")
        elif not line.strip():
            dll = None
    return [f"{path}: {fault}" for fault in found]


def main():
    rules = [line.strip().split("|") for line in open(sys.argv[1]) if line.strip() and not line.startswith("#")]
    dlls = {name.lower() for kind, name in rules if kind == "dll"}
    newer = {name for kind, name in rules if kind == "newer"}
    found = [fault for path in sys.argv[2:] for fault in faults(path, dlls, newer)]
    print("\n".join(found) or f"{len(sys.argv) - 2} files: PE32 for i386, Windows 7 imports only")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
