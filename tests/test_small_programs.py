"""End-to-end tests of fibonacci and rescreen."""

import os
import subprocess
import unittest

from quillon_e2e import (EMULATOR, FIBONACCI, RESCREEN, QuillonTest,
                         command)

RANGE_ERROR = b"fibonacci: position must be from 1 to 46\n"


class FibonacciTest(QuillonTest):

    def test_positions(self):
        cases = [("1", b"1\n"), ("2", b"1\n"), ("10", b"55\n"),
                 ("20", b"6765\n"), ("30", b"832040\n"), ("12abc", b"144\n"),
                 (" +7", b"13\n"), ("0019", b"4181\n")]
        for arg, out in cases:
            with self.subTest(arg=arg):
                self.assertEqual(self.run_program(FIBONACCI, [arg]),
                                 (0, out, b""))

    def test_wrong_argument_count_prints_usage_with_invocation_name(self):
        for args in ([], ["3", "4"]):
            with self.subTest(args=args):
                self.assertEqual(
                    self.run_program(FIBONACCI, args),
                    (1, b"", b"Usage: %s number\n" % FIBONACCI.encode()))
        done = subprocess.run(command(FIBONACCI, [], argv0="fib-alias"),
                              executable=None if EMULATOR else FIBONACCI,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual((done.returncode, done.stdout, done.stderr),
                         (1, b"", b"Usage: fib-alias number\n"))

    def test_positions_out_of_range_are_refused(self):
        # Each of these would recurse without end or overflow 32 bits.
        for arg in ["0", "-3", "abc", "", "47", "-0", "4294967297",
                    "9" * 400, "-" + "9" * 400]:
            with self.subTest(arg=arg):
                self.assertEqual(self.run_program(FIBONACCI, [arg]),
                                 (1, b"", RANGE_ERROR))


class RescreenTest(QuillonTest):

    def test_writes_exactly_esc_c(self):
        for args in ([], ["x"], ["-h", "--reset", "many words"]):
            with self.subTest(args=args):
                self.assertEqual(self.run_program(RESCREEN, args),
                                 (0, b"\x1bc", b""))

    def test_redirected_to_a_file(self):
        for args in ([], ["ignored", "too"]):
            with self.subTest(args=args):
                with open(self.path("out"), "wb") as out:
                    done = subprocess.run(command(RESCREEN, args), stdout=out,
                                          stdin=subprocess.DEVNULL)
                self.assertEqual(done.returncode, 0)
                self.assertEqual(self.read("out"), bytes([0x1B, 0x63]))
                os.remove(self.path("out"))


if __name__ == "__main__":
    unittest.main()
