#!/usr/bin/env python3
"""Reads the headers and the import table of a PE file and checks that it is
a 32-bit x86 program that Windows 7 starts.

    pe_check.py RULES FILE...      (RULES: tests/package/windows7.txt)

Prints one line per fault and exits 1 when there is any."""
import struct
import sys

MACHINE_I386 = 0x14C
MAGIC_PE32 = 0x10B
IMPORT_DIRECTORY, DELAY_IMPORT_DIRECTORY = 1, 13


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE file")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        (self.os_major, self.os_minor, _, _, self.subsystem_major,
         self.subsystem_minor) = struct.unpack_from("<6H", data, optional + 40)
        # PE32's data directories start 96 bytes into the optional header, PE32+'s 112.
        directories = optional + (96 if self.magic == MAGIC_PE32 else 112)
        count = struct.unpack_from("<I", data, directories - 4)[0]
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(count)]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(sections)]

    def offset(self, rva):
        for size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise ValueError("address 0x%x is in no section" % rva)

    def text(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def imports(self):
        """{dll: [function or '#ordinal', ...]} from the import table."""
        rva, size = self.directories[IMPORT_DIRECTORY]
        found = {}
        at = self.offset(rva) if size else None
        while at is not None:
            lookup, _, _, name, first = struct.unpack_from("<5I", self.data, at)
            if not (lookup or name or first):
                break
            functions = found.setdefault(self.text(name), [])
            thunk = self.offset(lookup or first)
            width, ordinal_flag = (4, 1 << 31) if self.magic == MAGIC_PE32 else (8, 1 << 63)
            while entry := int.from_bytes(self.data[thunk:thunk + width], "little"):
                functions.append("#%d" % (entry & 0xFFFF) if entry & ordinal_flag else self.text(entry + 2))
                thunk += width
            at += 20
        return found


def read_rules(path):
    dlls, newer = set(), set()
    for line in open(path):
        if line.strip() and not line.startswith("#"):
            kind, name = line.strip().split("|")
            (dlls if kind == "dll" else newer).add(name.lower() if kind == "dll" else name)
    return dlls, newer


def faults(name, data, dlls, newer):
    image = Image(data)
    found = []
    if image.machine != MACHINE_I386:
        found.append("machine 0x%x, not i386 (0x14c)" % image.machine)
    if image.magic != MAGIC_PE32:
        found.append("optional header magic 0x%x, not PE32 (0x10b)" % image.magic)
    if image.os_major > 6:
        found.append("needs Windows %d.%d (MajorOperatingSystemVersion)" % (image.os_major, image.os_minor))
    if image.subsystem_major > 6:
        found.append("needs subsystem %d.%d" % (image.subsystem_major, image.subsystem_minor))
    if len(image.directories) > DELAY_IMPORT_DIRECTORY and image.directories[DELAY_IMPORT_DIRECTORY][1]:
        found.append("delay-loaded imports, which this check does not read")
    for dll, functions in sorted(image.imports().items()):
        if dll.lower() not in dlls:
            found.append("imports %s, which is not known to be on Windows 7" % dll)
        found += ["imports %s from %s, which Windows 7 lacks" % (f, dll) for f in functions if f in newer]
    return ["%s: %s" % (name, fault) for fault in found]


def main():
    dlls, newer = read_rules(sys.argv[1])
    found = [fault for path in sys.argv[2:] for fault in faults(path, open(path, "rb").read(), dlls, newer)]
    print("\n".join(found) or "%d files: PE32 for i386, Windows 7 imports only" % len(sys.argv[2:]))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
