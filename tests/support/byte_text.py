#!/usr/bin/env python3
"""Bytes as the test data writes them down (tests/README.md, "Bytes in test data"): C escapes, the named control
bytes, repeats and pauses; the same reader as tests/support/byte_text.cpp, for Python and shell tests.

  byte_text.py TEXT...          writes the bytes of each TEXT to stdout; status 2 and why when one does not read
"""
import os
import re
import string
import sys

CONTROL_BYTES = {"NUL": b"\x00", "SOH": b"\x01", "STX": b"\x02", "EOT": b"\x04", "ACK": b"\x06", "NAK": b"\x15",
                 "CAN": b"\x18"}
ESCAPES = {"r": b"\r", "n": b"\n", "t": b"\t", "\\": b"\\"}
BRACE = re.compile(r"\{(\d{1,9})(\*?)\}")
NAME = re.compile(r"<([A-Z][A-Z0-9]*)>")
HEX = set(string.hexdigits)


class ByteTextError(ValueError):
    """A text that does not read; the message says what and at which character (counted from 1)."""


def _at(index):
    return f" at character {index + 1}"


def _read_part(text, start, end, names, in_repeat):
    out, pauses, i = bytearray(), [], start
    while i < end:
        c = text[i]
        if c == "\\":
            if i + 1 >= end:
                raise ByteTextError("a backslash ends the text" + _at(i))
            e = text[i + 1]
            if e in ESCAPES:
                out += ESCAPES[e]
                i += 2
            elif e == "x":
                if i + 3 >= end or text[i + 2] not in HEX or text[i + 3] not in HEX:
                    raise ByteTextError("\\x needs two hex digits" + _at(i))
                out.append(int(text[i + 2:i + 4], 16))
                i += 4
            elif e in string.punctuation:
                out += e.encode("latin-1")
                i += 2
            else:
                raise ByteTextError(f"unknown escape \\{e}" + _at(i))
        elif c == "<" and (m := NAME.match(text, i, end)):
            value = CONTROL_BYTES.get(m.group(1), names.get(m.group(1)))
            if value is None:
                raise ByteTextError(f"unknown name <{m.group(1)}>" + _at(i))
            out += value
            i = m.end()
        elif text.startswith("{*}", i, end):
            raise ByteTextError("{*} closes no repeat" + _at(i))
        elif c == "{" and (m := BRACE.match(text, i, end)):
            number = int(m.group(1))
            if not m.group(2):
                pauses.append((len(out), number))
                i = m.end()
                continue
            if in_repeat:
                raise ByteTextError("a repeat inside a repeat" + _at(i))
            close = text.find("{*}", m.end(), end)
            if close < 0:
                raise ByteTextError(f"{{{number}*}} has no {{*}}" + _at(i))
            unit, unit_pauses = _read_part(text, m.end(), close, names, True)
            for _ in range(number):
                pauses += [(len(out) + at, ms) for at, ms in unit_pauses]
                out += unit
            i = close + 3
        else:
            out += c.encode("latin-1")
            i += 1
    return bytes(out), pauses


def read_byte_text(text, names=None):
    """(bytes, pauses) of text, a str whose characters are its bytes (a file read as latin-1); pauses are (AT, MS)
    pairs, MS of silence before bytes[AT]. Raises ByteTextError."""
    names = {key: value if isinstance(value, bytes) else value.encode() for key, value in (names or {}).items()}
    return _read_part(text, 0, len(text), names, False)


def text_bytes(text, names=None):
    """The bytes of a text that holds no pause."""
    data, pauses = read_byte_text(text, names)
    if pauses:
        raise ByteTextError("a pause in a text that is not sent in time")
    return data


def split_fields(line):
    """A table line's fields, split at each '|' that no backslash escapes; the escapes stay for the reader."""
    fields, i = [""], 0
    while i < len(line):
        if line[i] == "|":
            fields.append("")
        else:
            fields[-1] += line[i:i + 2] if line[i] == "\\" else line[i]
            i += line[i] == "\\"
        i += 1
    return fields


def main(arguments):
    try:   # each argument's own bytes, whatever the locale
        data = b"".join(text_bytes(os.fsencode(text).decode("latin-1")) for text in arguments)
    except ByteTextError as problem:
        print(f"byte_text.py: {problem}", file=sys.stderr)
        return 2
    sys.stdout.buffer.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
