"""One run per log at a time: a run that uses the log holds a lock on the
file beside it, and another run with that log waits for it."""

import contextlib
import errno
import fcntl
import os
import select
import subprocess
import time
import unittest

from quillon_e2e import QUILLON, QuillonTest, command
from spool import article, posting, random_bytes, write_spool

TIMEOUT = 60


class LogLock(QuillonTest):

    def setUp(self):
        super().setUp()
        self.log = self.path("newslog")
        self.lock = self.log + ".lock"
        self.env = dict(os.environ, QUILLONLOG=self.log)
        self.spool = self.path("spool")
        self.waiting = b"quillon: waiting for another run using %s\n" % (
            self.log.encode())

    def start(self, *args):
        """quillon running in the background with the log."""
        proc = subprocess.Popen(command(QUILLON, args), cwd=self.dir,
                                env=self.env, bufsize=0,
                                stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(proc.kill)
        return proc

    def first_line(self, stream):
        """The first line of a run's standard error, read as it comes."""
        text = b""
        deadline = time.monotonic() + TIMEOUT
        while not text.endswith(b"\n"):
            left = deadline - time.monotonic()
            self.assertGreater(left, 0, "no line after %r" % text)
            if select.select([stream], [], [], left)[0]:
                chunk = os.read(stream.fileno(), 1)
                self.assertTrue(chunk, "the run ended after %r" % text)
                text += chunk
        return text

    @contextlib.contextmanager
    def lock_held(self):
        fd = os.open(self.lock, os.O_RDWR | os.O_CREAT)
        try:
            fcntl.flock(fd, fcntl.LOCK_EX)
            yield
        finally:
            os.close(fd)

    def open_fifo(self, fifo, reader):
        """The FIFO's writing end, once `reader` has opened it: from then on
        that run is in its scan, holding the lock, and reads until the end
        is closed."""
        deadline = time.monotonic() + TIMEOUT
        while True:
            try:
                return os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
            except OSError as e:
                if e.errno != errno.ENXIO:
                    raise
            self.assertIsNone(reader.poll(), "the run ended early")
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.01)

    def finish(self, proc):
        out, err = proc.communicate(timeout=TIMEOUT)
        return proc.returncode, out, err

    def log_text(self):
        with open(self.log, "rb") as f:
            return f.read()

    def test_each_use_of_the_log_waits_for_a_held_lock(self):
        data = random_bytes(3000, 61)
        files = write_spool(self.spool, posting(data, "w.bin", 2))
        logged = b"*%s\n" % self.spool.encode()
        for args, before, after in [
                (["-log", self.spool], b"", logged),
                (["-unlog", self.spool], logged, b""),
                (["-delete"] + files, logged, logged + b"@2\n@1\n")]:
            with self.subTest(args[0]):
                with open(self.log, "wb") as f:
                    f.write(before)
                with self.lock_held():
                    proc = self.start("-q", *args)
                    self.assertEqual(self.first_line(proc.stderr),
                                     self.waiting)
                    # It waits for the lock before it touches anything.
                    self.assertIsNone(proc.poll())
                    self.assertEqual(self.log_text(), before)
                    self.assertFalse(os.path.exists(self.path("w.bin")))
                rc, _, err = self.finish(proc)
                self.assertEqual((rc, err), (0, b""))
                self.assertEqual(self.log_text(), after)
        self.assertEqual(self.read("w.bin"), data)
        self.assertEqual(os.listdir(self.spool), [])
        self.assertTrue(os.path.exists(self.lock))

    def test_runs_without_a_log_take_no_lock(self):
        self.write("plain.uu", b"begin 644 p.txt\n#86)C\n`\nend\n")
        for args, stdin in [([], b"begin 644 s.txt\n#86)C\n`\nend\n"),
                            (["-plain", "plain.uu"], b"")]:
            with self.lock_held():
                done = subprocess.run(command(QUILLON, ["-q"] + args),
                                      input=stdin, cwd=self.dir, env=self.env,
                                      timeout=TIMEOUT, stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE)
            self.assertEqual((done.returncode, done.stderr), (0, b""))
        self.assertEqual((self.read("s.txt"), self.read("p.txt")),
                         (b"abc", b"abc"))

    def test_two_runs_with_delete_over_one_spool(self):
        datas = [random_bytes(2500 + i, 62 + i) for i in range(3)]
        articles = []
        for i, data in enumerate(datas):
            articles += posting(data, "%d.bin" % i, 2, poster="p%d@x" % i)
        files = write_spool(self.spool, articles)
        with open(self.log, "w") as f:
            f.write("*%s\n" % self.spool)
        fifo = self.path("fifo")
        os.mkfifo(fifo)
        # The first run is given the first two postings and an article it
        # reads from the FIFO, which keeps it in its scan; the second run
        # is given every article, the first run's among them.
        first = self.start("-delete", *files[:4], fifo)
        writer = self.open_fifo(fifo, first)
        second = self.start("-delete", *files)
        self.assertEqual(self.first_line(second.stderr), self.waiting)
        os.write(writer, article("chat", b"no data here\n"))
        os.close(writer)
        rc1, out1, err1 = self.finish(first)
        rc2, out2, err2 = self.finish(second)
        self.assertEqual((rc1, err1, rc2, err2), (0, b"", 0, b""))
        # Each posting is decoded once; the second run reads none of the
        # articles that the first deleted.
        self.assertIn(b"UUdecoding 0.bin\n", out1)
        self.assertIn(b"UUdecoding 1.bin\n", out1)
        self.assertNotIn(b"2.bin", out1)
        self.assertNotIn(b"0.bin", out2)
        self.assertNotIn(b"1.bin", out2)
        self.assertIn(b"UUdecoding 2.bin\n", out2)
        for i, data in enumerate(datas):
            self.assertEqual(self.read("%d.bin" % i), data)
        self.assertEqual(os.listdir(self.spool), [])
        lines = self.log_text().split(b"\n")
        self.assertEqual(lines[0], b"*" + self.spool.encode())
        self.assertEqual(sorted(lines[1:]),
                         [b""] + [b"@%d" % n for n in range(1, 7)])

    def test_a_killed_run_leaves_no_lock_behind(self):
        data = random_bytes(2000, 65)
        files = write_spool(self.spool, posting(data, "k.bin", 1))
        fifo = self.path("fifo")
        os.mkfifo(fifo)
        first = self.start(fifo)
        writer = self.open_fifo(fifo, first)
        first.kill()
        first.communicate()
        os.close(writer)
        done = subprocess.run(command(QUILLON, ["-q"] + files), cwd=self.dir,
                              env=self.env, timeout=TIMEOUT,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual((done.returncode, done.stderr), (0, b""))
        self.assertEqual(self.read("k.bin"), data)
        self.assertTrue(os.path.exists(self.lock))

    def test_a_lock_that_cannot_be_taken_stops_the_run(self):
        data = random_bytes(2000, 66)
        files = write_spool(self.spool, posting(data, "n.bin", 1))
        log = self.path("none", "newslog")
        self.env["QUILLONLOG"] = log
        # -log and -unlog: test_log and test_log_rewrite.
        proc = self.start("-q", "-delete", *files)
        self.assertEqual(self.finish(proc), (
            1, b"", b"quillon: cannot lock %s.lock\n" % log.encode()))
        self.assertFalse(os.path.exists(self.path("n.bin")))
        self.assertEqual(len(os.listdir(self.spool)), 1)
        self.assertFalse(os.path.exists(self.path("none")))


if __name__ == "__main__":
    unittest.main()
