"""Output files that cannot be written: a file size limit stands in for a
full disk; symbolic links at output names are never followed."""

import os
import resource
import signal
import subprocess
import unittest

from quillon_e2e import QUILLON, QuillonTest, command, uuencode
from spool import posting, random_bytes, write_spool


def size_limit(limit):
    """Runs in the child: writes past `limit` bytes fail with EFBIG."""
    def apply():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return apply


class WriteErrors(QuillonTest):

    def limited(self, limit, *args, stdin=b"", env=None):
        full_env = dict(os.environ)
        full_env.pop("QUILLONLOG", None)
        full_env.update(env or {})
        done = subprocess.run(command(QUILLON, args), input=stdin,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              cwd=self.dir, env=full_env, timeout=120,
                              preexec_fn=size_limit(limit))
        return done.returncode, done.stdout, done.stderr

    def test_scan_keeps_the_articles_of_the_failed_file(self):
        log = self.path("newslog")
        env = {"QUILLONLOG": log}
        spool = self.path("spool")
        os.mkdir(spool)
        self.assertEqual(self.quillon("-log", spool, env=env)[0], 0)
        big = random_bytes(300000, 1)
        small = random_bytes(3000, 2)
        # The big file fails in its second part, after the first was read.
        files = write_spool(spool, posting(big, "big.bin", 3) +
                            posting(small, "small.bin", 2, poster="s@s"))
        rc, _, err = self.limited(150000, "-delete", *files, env=env)
        self.assertEqual((rc, err), (1, b"quillon: write error on big.bin\n"))
        self.assertEqual(self.read("small.bin"), small)
        self.assertEqual([os.path.exists(f) for f in files],
                         [True, True, True, False, False])
        with open(log, "rb") as f:
            logged = f.read().split(b"\n")
        self.assertEqual(logged[0], b"*" + spool.encode())
        self.assertEqual(sorted(logged[1:]), [b"", b"@4", b"@5"])

    def test_plain_delete_keeps_every_input_of_the_failed_file(self):
        big = random_bytes(200000, 3)
        lines = uuencode(big, "big.bin").splitlines(True)
        cut = len(lines) // 5
        self.write("big1", b"".join(lines[:cut]))
        self.write("big2", b"".join(lines[cut:]))
        self.write("small", uuencode(b"fits", "small.bin"))
        rc, out, err = self.limited(64000, "-plain", "-delete", "big1",
                                    "big2", "small")
        self.assertEqual((rc, err), (1, b"quillon: write error on big.bin\n"))
        self.assertIn(b"UUdecoding small.bin\n", out)
        self.assertTrue(os.path.exists(self.path("big1")))
        self.assertTrue(os.path.exists(self.path("big2")))
        self.assertFalse(os.path.exists(self.path("small")))
        self.assertEqual(self.read("small.bin"), b"fits")

    def test_standard_input_failing_only_at_close(self):
        # Smaller than the stream buffer: the write fails at the close.
        data = random_bytes(2000, 4)
        rc, _, err = self.limited(1000, "-q", stdin=uuencode(data, "s.bin"))
        self.assertEqual((rc, err), (1, b"quillon: write error on s.bin\n"))
        rc, _, err = self.limited(2000, "-q", stdin=uuencode(data, "s.bin"))
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(self.read("s.bin"), data)


class SymbolicLinks(QuillonTest):

    def test_links_at_output_names_stay_untouched(self):
        os.mkdir(self.path("out"))
        self.write("target", b"keep")
        os.symlink("../target", self.path("out", "link.bin"))
        os.symlink("../nothing", self.path("out", "dangling.bin"))
        datas = [random_bytes(4000, 6), random_bytes(1000, 7),
                 random_bytes(4000, 5)]
        files = write_spool(self.path("spool"),
                            posting(datas[0], "link.bin", 2) +
                            posting(datas[1], "dangling.bin", 1,
                                    poster="d@d") +
                            posting(datas[2], "ok.bin", 2, poster="o@o"))
        rc, out, err = self.quillon("-delete", "-dest", "out", *files)
        # A link at the name is passed over like any file there.
        self.assertEqual((rc, err), (0, b""))
        self.assertIn(b"UUdecoding link.bin.1\nUUdecoding dangling.bin.1\n"
                      b"UUdecoding ok.bin\n", out)
        self.assertEqual(self.read("target"), b"keep")
        self.assertFalse(os.path.lexists(self.path("nothing")))
        self.assertEqual(os.readlink(self.path("out", "link.bin")),
                         "../target")
        self.assertEqual(os.readlink(self.path("out", "dangling.bin")),
                         "../nothing")
        for name, data in zip(["link.bin.1", "dangling.bin.1", "ok.bin"],
                              datas):
            self.assertEqual(self.read("out", name), data)
        self.assertEqual([os.path.exists(f) for f in files], [False] * 5)


if __name__ == "__main__":
    unittest.main()
