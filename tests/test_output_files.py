"""Output files never replace anything: runs a day apart with one name, what
a user keeps at a name, a full file system, a killed run; and a short file
fails the run and keeps its articles. Runs are made as cron makes them, with
-delete and the processed-file log."""

import os
import subprocess
import time
import unittest

from quillon_e2e import QUILLON, QuillonTest, command, uuencode
from spool import date, posting, random_bytes
from test_no_loss import BANNER, SpoolTest
from test_output_errors import size_limit


class CronTest(SpoolTest):
    """Runs over one spool directory (of fewer than ten articles) that keeps
    its log between runs."""

    def setUp(self):
        super().setUp()
        os.mkdir(self.path("spool"))
        self.next_article = 1
        self.assertEqual(self.quillon("-log", "spool",
                                      env={"QUILLONLOG": self.log})[0], 0)

    def post(self, texts):
        """Adds articles to the spool under the next numbers."""
        paths = self.spool(texts, first=self.next_article)
        self.next_article += len(texts)
        return paths

    def cron(self, *args):
        """-delete over every article in the spool."""
        return self.quillon("-delete", *args,
                            *(os.path.join("spool", n) for n in self.left()),
                            env={"QUILLONLOG": self.log})

    def entries(self):
        """The article numbers in the log, as a set."""
        lines = self.logged().splitlines()
        self.assertEqual(lines[0], "*" + os.path.realpath(self.path("spool")))
        return {int(l[1:]) for l in lines[1:]}

    def outputs(self):
        return sorted(n for n in os.listdir(self.dir)
                      if n not in ("spool", "newslog", "newslog.lock"))

    def decoded(self, subjects, files, names):
        """Standard output of a scan run that decodes `names`."""
        return (self.header(subjects, len(subjects), files)
                + b"".join(b"UUdecoding %s\n" % n.encode() for n in names)
                + self.footer())


def subjects(name, parts):
    return ["%s (%d/%d)" % (name, i + 1, parts) for i in range(parts)]


class SameNameAcrossRuns(CronTest):

    def test_other_bytes_take_the_next_name_and_same_bytes_change_nothing(self):
        first = random_bytes(5000, 1)
        second = random_bytes(4000, 2)
        # Day 1: one poster's d.jpg.
        self.post(posting(first, "d.jpg", 2, poster="ann@a.example",
                          when=date(1)))
        rc, out, err = self.cron()
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.decoded(subjects("d.jpg", 2), 1, ["d.jpg"]))
        # Day 2: another poster's d.jpg; the first stays.
        self.post(posting(second, "d.jpg", 2, poster="bob@b.example",
                          when=date(2)))
        rc, out, err = self.cron()
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.decoded(subjects("d.jpg", 2), 1,
                                           ["d.jpg.1"]))
        self.assertEqual(self.outputs(), ["d.jpg", "d.jpg.1"])
        self.assertEqual(self.read("d.jpg"), first)
        self.assertEqual(self.read("d.jpg.1"), second)
        self.assertEqual(self.left(), [])
        self.assertEqual(self.entries(), {1, 2, 3, 4})
        # Days 3 and 4: each posted again: it finds its own bytes, and
        # nothing changes.
        stamps = {n: os.stat(self.path(n)).st_mtime_ns
                  for n in self.outputs()}
        for day, data, poster, name in ((3, second, "bob@b.example", "d.jpg.1"),
                                        (4, first, "ann@a.example", "d.jpg")):
            self.post(posting(data, "d.jpg", 2, poster=poster,
                              when=date(day)))
            rc, out, err = self.cron()
            self.assertEqual((rc, err), (0, b""))
            self.assertEqual(out, self.decoded(subjects("d.jpg", 2), 1,
                                               [name]))
            self.assertEqual({n: os.stat(self.path(n)).st_mtime_ns
                              for n in self.outputs()}, stamps)
            self.assertEqual(self.left(), [])
        self.assertEqual(self.entries(), set(range(1, 9)))


    def test_a_posting_decoded_second_finds_its_bytes_at_the_name(self):
        first = random_bytes(5000, 1)
        second = random_bytes(4000, 2)
        # Day 1: bob's d.jpg alone. Day 2: ann's d.jpg, and bob's again;
        # ann's is decoded first and takes d.jpg.1, bob's then finds its
        # own bytes at d.jpg instead of writing them to d.jpg.2.
        self.post(posting(second, "d.jpg", 2, poster="bob@b.example",
                          when=date(1)))
        self.assertEqual(self.cron()[0], 0)
        self.post(posting(first, "d.jpg", 2, poster="ann@a.example",
                          when=date(2)) +
                  posting(second, "d.jpg", 2, poster="bob@b.example",
                          when=date(2)))
        rc, out, err = self.cron()
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.decoded(subjects("d.jpg", 2) * 2, 2,
                                           ["d.jpg.1", "d.jpg"]))
        self.assertEqual(self.outputs(), ["d.jpg", "d.jpg.1"])
        self.assertEqual(self.read("d.jpg"), second)
        self.assertEqual(self.read("d.jpg.1"), first)
        self.assertEqual(self.left(), [])


class WhatIsAtTheName(CronTest):

    def test_a_users_file_and_a_directory_are_kept(self):
        # A symbolic link at the name: test_output_errors.
        data = random_bytes(3000, 3)
        for directory in (False, True):
            with self.subTest(directory=directory):
                if directory:
                    os.mkdir(self.path("x.bin"))
                else:
                    self.write("x.bin", b"the user's own")
                self.post(posting(data, "x.bin", 2))
                rc, out, err = self.cron()
                self.assertEqual((rc, err), (0, b""))
                self.assertEqual(out, self.decoded(subjects("x.bin", 2), 1,
                                                   ["x.bin.1"]))
                self.assertEqual(self.read("x.bin.1"), data)
                if directory:
                    os.rmdir(self.path("x.bin"))
                else:
                    self.assertEqual(self.read("x.bin"), b"the user's own")
                    os.remove(self.path("x.bin"))
                os.remove(self.path("x.bin.1"))
                self.assertEqual(self.left(), [])


class FullFileSystem(CronTest):
    """A small tmpfs where the test may mount one, else a file size limit."""

    def small_dest(self, size):
        """An output directory that takes about `size` bytes, and the
        function to run the child with (None for the tmpfs)."""
        out = self.path("out")
        os.mkdir(out)
        done = subprocess.run(["mount", "-t", "tmpfs", "-o",
                               "size=%d" % size, "tmpfs", out],
                              stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
        if done.returncode == 0:
            self.addCleanup(subprocess.run, ["umount", out])
            return None
        return size_limit(size)

    def test_nothing_partial_or_empty_is_left(self):
        big = random_bytes(400000, 5)
        small = random_bytes(3000, 6)
        files = self.post(posting(big, "big.bin", 3) +
                          posting(small, "small.bin", 2, poster="s@s"))
        child = self.small_dest(128 * 1024)
        env = dict(os.environ, QUILLONLOG=self.log)
        done = subprocess.run(command(QUILLON, ["-delete", "-dest", "out",
                                                *files]),
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              cwd=self.dir, env=env, timeout=120,
                              preexec_fn=child)
        self.assertEqual((done.returncode, done.stderr),
                         (1, b"quillon: write error on out/big.bin\n"))
        self.assertEqual(done.stdout, self.decoded(
            subjects("big.bin", 3) + subjects("small.bin", 2), 2,
            ["small.bin"]))
        self.assertEqual(os.listdir(self.path("out")), ["small.bin"])
        self.assertEqual(self.read("out", "small.bin"), small)
        self.assertEqual(self.left(), ["1", "2", "3"])
        self.assertEqual(self.entries(), {4, 5})


class KilledRun(QuillonTest):

    def test_a_run_killed_in_the_middle_of_a_file_leaves_nothing(self):
        lines = uuencode(random_bytes(9000, 7), "k.bin").splitlines(True)
        proc = subprocess.Popen(command(QUILLON, ["-q"]), cwd=self.dir,
                                stdin=subprocess.PIPE,
                                stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        try:
            proc.stdin.write(b"".join(lines[:len(lines) // 2]))
            proc.stdin.flush()
            # Waits until the output file is open: a descriptor of the
            # process in this directory.
            fds = "/proc/%d/fd" % proc.pid
            deadline = time.time() + 20
            while time.time() < deadline:
                targets = []
                for fd in os.listdir(fds):
                    try:
                        targets.append(os.readlink(os.path.join(fds, fd)))
                    except OSError:
                        pass
                if any(t.startswith(self.dir + "/") for t in targets):
                    break
                time.sleep(0.05)
            else:
                self.fail("no output file was opened")
            self.assertEqual(os.listdir(self.dir), [])
            proc.kill()
            proc.wait()
            self.assertEqual(os.listdir(self.dir), [])
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
            proc.stdin.close()


class ShortFiles(CronTest):
    """A uuencoded file without its end line keeps its bytes, fails the run,
    and keeps the articles or files whose data went into it."""

    def test_short_file_in_a_scan(self):
        short = random_bytes(6000, 8)
        ok = random_bytes(3000, 9)
        parts = posting(short, "s.bin", 2)
        # The last part lost its ending: the file is closed by the next
        # posting's begin line.
        cut = parts[1].index(b"`\nend\n")
        parts[1] = parts[1][:cut] + b"-- \nsig\n"
        files = self.post(parts + posting(ok, "ok.bin", 2, poster="o@o"))
        rc, out, err = self.cron()
        self.assertEqual(rc, 1)
        self.assertEqual(err, b"quillon: short file s.bin\n")
        expected = self.decoded(subjects("s.bin", 2) + subjects("ok.bin", 2),
                                2, [])
        self.assertEqual(out, expected.replace(
            b"\n\n\nUpdating",
            b"\n\nUUdecoding s.bin\nShort file\nUUdecoding ok.bin\n"
            b"\nUpdating"))
        whole = len(short) // 45 * 45
        self.assertEqual(self.read("s.bin"), short[:whole])
        self.assertEqual(self.read("ok.bin"), ok)
        self.assertEqual(self.left(), ["1", "2"])
        self.assertEqual(self.entries(), {3, 4})
        # Under -quiet: the message on standard error all the same.
        os.remove(self.path("s.bin"))
        rc, out, err = self.cron("-quiet")
        self.assertEqual((rc, err), (1, b"quillon: short file s.bin\n"))
        self.assertNotIn(b"Short file", out)
        self.assertEqual(self.left(), ["1", "2"])

    def test_short_file_in_plain_input(self):
        data = random_bytes(4000, 10)
        lines = uuencode(data, "p.bin").splitlines(True)
        self.write("in/1", b"".join(lines[:30]))
        self.write("in/2", b"".join(lines[30:-2]))
        # The third file's begin line closes the short file; its own lines
        # before it are no data of that file.
        self.write("in/3", b"text before it\n" + uuencode(b"fine", "f.bin"))
        rc, out, err = self.quillon("-plain", "-delete", "in/1", "in/2",
                                    "in/3")
        self.assertEqual((rc, out, err),
                         (1, BANNER + b"\nUUdecoding p.bin\nShort file\n"
                          b"UUdecoding f.bin\n",
                          b"quillon: short file p.bin\n"))
        self.assertEqual(self.read("p.bin"), data[:len(data) // 45 * 45])
        self.assertEqual(self.read("f.bin"), b"fine")
        self.assertEqual(sorted(os.listdir(self.path("in"))), ["1", "2"])


if __name__ == "__main__":
    unittest.main()
