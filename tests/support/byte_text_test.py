#!/usr/bin/env python3
"""The Python reader of the byte syntax against the cases of byte_text.rows, which the C++ reader meets too."""
import os
import subprocess
import sys
import unittest

sys.dont_write_bytecode = True   # no cache folder in the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from byte_text import ByteTextError, read_byte_text, split_fields, text_bytes


def shared_cases():
    with open(os.path.join(HERE, "byte_text.rows"), encoding="latin-1") as table:
        for number, line in enumerate(table.read().split("\n"), 1):
            if line and line[0] != "#":
                yield number, split_fields(line)


class ByteText(unittest.TestCase):
    def test_cases_of_the_shared_table(self):
        count = 0
        for number, field in shared_cases():
            with self.subTest(line=number):
                self.assertEqual(len(field), 4 if field[0] == "bytes" else 3)
                count += 1
                if field[0] == "error":
                    with self.assertRaises(ByteTextError) as caught:
                        read_byte_text(field[-1], {"HELLO": "hi"})
                    self.assertEqual(str(caught.exception), field[1])
                    continue
                data, pauses = read_byte_text(field[-1], {"HELLO": "hi"})
                self.assertEqual(data.hex() or "-", field[1])
                self.assertEqual(" ".join(f"{at}:{ms}" for at, ms in pauses) or "-", field[2])
        self.assertGreaterEqual(count, 25)

    def test_text_bytes_refuses_a_pause(self):
        self.assertEqual(text_bytes("a\\x62c"), b"abc")
        with self.assertRaises(ByteTextError):
            text_bytes("a{5}b")

    def test_the_shell_function_on_the_cases_without_pauses(self):
        """bytes TEXT of byte_text.sh, through the command byte_text.py: the bytes, or status 2 and why."""
        cases = [f for _, f in shared_cases() if f[0] == "bytes" and f[2] == "-" and "<HELLO>" not in f[-1]]
        loop = 'source "$0"; for text; do bytes "$text" | od -An -v -tx1 | tr -d " \\n"; echo "|${PIPESTATUS[0]}"; done'
        done = subprocess.run(["bash", "-c", loop, os.path.join(HERE, "byte_text.sh")]
                              + [os.fsdecode(field[-1].encode("latin-1")) for field in cases], capture_output=True)
        self.assertEqual(done.stdout.decode().split("\n")[:-1], [f"{'' if f[1] == '-' else f[1]}|0" for f in cases])
        done = subprocess.run(["bash", "-c", 'source "$0"; bytes "\\q"', os.path.join(HERE, "byte_text.sh")],
                              capture_output=True)
        self.assertEqual(done.returncode, 2)
        self.assertEqual(done.stdout, b"")
        self.assertEqual(done.stderr, b"byte_text.py: unknown escape \\q at character 1\n")


if __name__ == "__main__":
    unittest.main()
