#!/usr/bin/env python3
"""check_zip.py ZIP VERSION FOLDER: the zip that ships, its programs left in FOLDER. Its three files, the Readme, each
program's version resource and manifest, and, from the headers and imports objdump reads out of it, that it is a
32-bit x86 program that Windows 7 starts (windows7.txt: what it may import). Prints each fault; exits 1 on any."""
import pathlib, re, subprocess, sys, zipfile


def pe_faults(path, dlls, newer):
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
    return found


def zip_faults(package, version):
    found = [f"holds {package.namelist()}"] * (sorted(package.namelist()) != ["Readme.txt", "VBrowser.exe", "vtx.exe"])
    readme = package.read("Readme.txt")
    found += ["Readme.txt: not the whole text"] * (readme.count(b"\n") <= 100)
    found += ["Readme.txt: a line without CR LF"] * (readme.count(b"\n") != readme.count(b"\r\n"))
    found += [f"Readme.txt: no version {version}"] * (b"version " + version.encode() not in readme)
    for name in ("VBrowser.exe", "vtx.exe"):
        exe = package.read(name)
        # Each text the version resource, the manifest and its processor need; Windows refuses another processor's.
        for text in [version.encode("utf-16-le"), "CompanyName".encode("utf-16-le"),
                     "LegalCopyright".encode("utf-16-le"), b'level="asInvoker"', b'processorArchitecture="x86"']:
            found += [f"{name}: no {text}"] * (text not in exe)
        found += [f"{name}: a manifest for amd64"] * (b'"amd64"' in exe)
    scaling = b"<gdiScaling" in package.read("VBrowser.exe")
    return found + ["VBrowser.exe: no <gdiScaling in its manifest"] * (not scaling)


def main():
    rules = [line.strip().split("|") for line in open(pathlib.Path(__file__).with_name("windows7.txt"))
             if line.strip() and not line.startswith("#")]
    dlls = {name.lower() for kind, name in rules if kind == "dll"}
    newer = {name for kind, name in rules if kind == "newer"}
    package = zipfile.ZipFile(sys.argv[1])
    found = zip_faults(package, sys.argv[2])
    package.extractall(sys.argv[3], ["VBrowser.exe", "vtx.exe"])
    found += [f"{name}: {fault}" for name in ("VBrowser.exe", "vtx.exe")
              for fault in pe_faults(f"{sys.argv[3]}/{name}", dlls, newer)]
    print("\n".join(found) or "the zip's files as they ship; PE32 for i386, Windows 7 imports only")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
