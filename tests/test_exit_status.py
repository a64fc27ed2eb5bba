"""Exit statuses: a run that reported a failure never ends with status 0,
in the scan, in -plain and on standard input."""

import os
import subprocess
import unittest

from quillon_e2e import QUILLON, QuillonTest, command, uuencode
from spool import article, posting, random_bytes, write_spool
from test_output_errors import size_limit

DATA = random_bytes(6000, 41)
# An output directory where nothing can be created, also by root.
UNWRITABLE = "/proc"


class FailuresEndWithStatus1(QuillonTest):

    def setUp(self):
        super().setUp()
        self.articles = write_spool(self.path("spool"),
                                    posting(DATA, "ok.bin", 2))
        self.write("ok.uu", uuencode(DATA, "ok.bin"))

    def run_mode(self, mode, *options, files=(), limit=None):
        """quillon with `options` in one run mode: the scan of the spool,
        -plain on ok.uu, or standard input; `files` come after the inputs."""
        stdin = b""
        args = list(options)
        if mode == "scan":
            args += self.articles
        elif mode == "plain":
            args = ["-plain"] + args + ["ok.uu"]
        else:
            with open(self.path("ok.uu"), "rb") as f:
                stdin = f.read()
        args += list(files)
        if limit is None:
            return self.quillon(*args, stdin=stdin)
        env = dict(os.environ)
        env.pop("QUILLONLOG", None)
        done = subprocess.run(command(QUILLON, args), input=stdin,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              cwd=self.dir, env=env, timeout=120,
                              preexec_fn=size_limit(limit))
        return done.returncode, done.stdout, done.stderr

    def test_every_message_in_every_mode(self):
        cases = [
            (["-dest", UNWRITABLE],
             b"quillon: unable to create /proc/ok.bin\n", False),
            (["-errors", "none/err.txt"], b"none/err.txt: cannot open\n",
             True),
        ]
        for mode in ["scan", "plain", "stdin"]:
            for options, message, decoded in cases:
                with self.subTest(mode=mode, message=message):
                    if os.path.exists(self.path("ok.bin")):
                        os.unlink(self.path("ok.bin"))
                    rc, _, err = self.run_mode(mode, "-q", *options)
                    self.assertEqual((rc, err), (1, message))
                    self.assertEqual(os.path.exists(self.path("ok.bin")),
                                     decoded)
            with self.subTest(mode=mode, message="write error"):
                rc, _, err = self.run_mode(mode, "-q", limit=3000)
                self.assertEqual(
                    (rc, err), (1, b"quillon: write error on ok.bin\n"))
            with self.subTest(mode=mode, message="no failure"):
                rc, _, err = self.run_mode(mode, "-q")
                self.assertEqual((rc, err), (0, b""))
                self.assertEqual(self.read("ok.bin"), DATA)

    def test_an_input_that_cannot_be_read(self):
        message = b"quillon: cannot access file missing\n"
        # The scan passes over it and decodes the rest.
        rc, _, err = self.run_mode("scan", "-q", files=["missing"])
        self.assertEqual((rc, err), (1, message))
        self.assertEqual(self.read("ok.bin"), DATA)
        os.unlink(self.path("ok.bin"))
        # Plain decoding ends there.
        rc, _, err = self.run_mode("plain", "-q", files=["missing"])
        self.assertEqual((rc, err), (1, message))
        self.assertEqual(self.read("ok.bin"), DATA)

    def test_fall_back_mode(self):
        # Files without a Subject line are decoded as plain files.
        rc, out, err = self.quillon("-dest", UNWRITABLE, "ok.uu")
        self.assertIn(b"Found ordinary uuencoded files.\n", out)
        self.assertEqual((rc, err),
                         (1, b"quillon: unable to create /proc/ok.bin\n"))

    def test_a_scan_that_found_nothing_still_ends_with_2(self):
        self.write("text", article("no data", b"just text\n"))
        rc, _, err = self.quillon("-q", "-dest", UNWRITABLE, "-errors",
                                  "none/err", "missing", "text")
        self.assertEqual((rc, err),
                         (2, b"quillon: cannot access file missing\n"))


if __name__ == "__main__":
    unittest.main()
