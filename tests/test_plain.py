"""Decoding of standard input and of plain uuencoded files (-plain)."""

import os
import random
import stat
import unittest

from quillon_e2e import QuillonTest, sharutils_uuencode, uuencode

BANNER = b"Quillon ver 3.7.0\n"
LENGTHS = [0, 1, 44, 45, 46, 90, 100000]


def data_of(n, seed=0):
    rnd = random.Random(seed * 7919 + n)
    return bytes(rnd.randrange(256) for _ in range(n))


class StdinTest(QuillonTest):

    def test_lengths_through_stdin(self):
        for n in LENGTHS:
            with self.subTest(n=n):
                data = data_of(n)
                rc, out, err = self.quillon(stdin=uuencode(data, "f.bin"))
                self.assertEqual((rc, out, err),
                                 (0, BANNER + b"\nUUdecoding f.bin\n", b""))
                self.assertEqual(self.read("f.bin"), data)
                os.remove(self.path("f.bin"))

    def test_crlf_lines(self):
        for n in LENGTHS:
            with self.subTest(n=n):
                data = data_of(n, 1)
                rc, _, _ = self.quillon(
                    "-q", stdin=uuencode(data, "f.bin", crlf=True))
                self.assertEqual(rc, 0)
                self.assertEqual(self.read("f.bin"), data)
                os.remove(self.path("f.bin"))

    def test_sharutils_uuencode(self):
        for n in LENGTHS:
            data = data_of(n, 2)
            encoded = sharutils_uuencode(data, "s.bin")
            if encoded is None:
                self.skipTest("uuencode (sharutils) is not installed")
            with self.subTest(n=n):
                self.assertEqual(self.quillon("-q", stdin=encoded)[0], 0)
                self.assertEqual(self.read("s.bin"), data)
                os.remove(self.path("s.bin"))

    def test_quiet_prints_only_the_empty_line(self):
        rc, out, _ = self.quillon("-quiet", stdin=uuencode(b"x", "q"))
        self.assertEqual((rc, out), (0, b"\n"))

    def test_short_files(self):
        first = b"".join(uuencode(data_of(100), "a.bin").splitlines(True)[:-2])
        second = uuencode(data_of(50), "b.bin")
        rc, out, err = self.quillon(stdin=first + second + first)
        self.assertEqual(rc, 1)
        # The second short a.bin is a file of its own: it does not replace
        # the first.
        self.assertEqual(out, BANNER + b"\nUUdecoding a.bin\nShort file\n"
                         b"UUdecoding b.bin\nUUdecoding a.bin.1\n"
                         b"Short file\n")
        self.assertEqual(err, b"quillon: short file a.bin\n"
                         b"quillon: short file a.bin.1\n")
        self.assertEqual(self.read("b.bin"), data_of(50))
        # Full lines are written as they come; the short tail never is.
        self.assertEqual(self.read("a.bin"), data_of(100)[:90])
        self.assertEqual(self.read("a.bin.1"), data_of(100)[:90])

    def test_end_line_writes_the_two_lines_before_it(self):
        data = data_of(50)
        lines = uuencode(data, "e.bin").splitlines(True)
        # "endless" ends the file; " end" does not.
        text = b"".join(lines[:2]) + b" end\n" + b"".join(lines[2:4]) + \
            b"endless\n"
        self.quillon(stdin=text)
        self.assertEqual(self.read("e.bin"), data)

    def test_broken_begin_line_is_completed(self):
        data = data_of(46)
        body = uuencode(data, "x").split(b"\n", 1)[1]
        self.quillon(stdin=b"begin 600\nbroken.bin\n" + body)
        self.assertEqual(self.read("broken.bin"), data)
        self.assertEqual(stat.S_IMODE(os.stat(self.path("broken.bin")).st_mode),
                         0o600)

    def test_begin_line_without_name_starts_nothing(self):
        rc, out, _ = self.quillon(stdin=b"begin \n")
        self.assertEqual((rc, out), (0, BANNER + b"\n"))


    def test_one_end_of_input_on_a_terminal_ends_the_run(self):
        # A terminal answers every read after its end of input anew: the
        # run must stop at the first one, with a file still open after a
        # line that is no full data line.
        import pty
        import select
        import subprocess
        import time
        from quillon_e2e import QUILLON, command
        master, slave = pty.openpty()
        proc = subprocess.Popen(command(QUILLON, ["-q"]), stdin=slave,
                                stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, cwd=self.dir)
        os.close(slave)
        try:
            data = data_of(45)
            os.write(master, b"begin 644 t.bin\n" + uuencode(data, "t")[12:74]
                     + b"#86)C\n")
            time.sleep(0.5)
            os.write(master, b"\x04")
            deadline = time.time() + 20
            while time.time() < deadline:
                try:
                    proc.wait(timeout=0.1)
                    break
                except subprocess.TimeoutExpired:
                    pass
                # Keep the terminal's echo from filling up; once the program
                # has closed the terminal, reading it fails.
                if select.select([master], [], [], 0)[0]:
                    try:
                        os.read(master, 1024)
                    except OSError:
                        pass
            self.assertIsNotNone(proc.poll(), "still waiting for input")
            out, err = proc.communicate()
            # Without its end line it is a short file.
            self.assertEqual((proc.returncode, out, err),
                             (1, b"\n", b"quillon: short file t.bin\n"))
            self.assertEqual(self.read("t.bin"), data)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
            os.close(master)


class PlainTest(QuillonTest):

    def test_each_file_and_one_file_split_over_several(self):
        lines = uuencode(data_of(1000), "big.bin").splitlines(True)
        cut = [0, 3, 4, 10, len(lines)]
        names = []
        for i in range(4):
            part = b"".join(lines[cut[i]:cut[i + 1]])
            names.append(self.write("part%d" % i, part))
        names.append(self.write("small", uuencode(data_of(45), "small.bin")))
        rc, out, err = self.quillon("-plain", *names)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, BANNER +
                         b"\nUUdecoding big.bin\nUUdecoding small.bin\n")
        self.assertEqual(self.read("big.bin"), data_of(1000))
        self.assertEqual(self.read("small.bin"), data_of(45))

    def test_dest_mode_and_names(self):
        os.mkdir(self.path("out"))
        os.makedirs(self.path("sub", "dir"))
        self.write("a", uuencode(b"one", "a/b/c.bin", mode="755"))
        self.write("b", uuencode(b"two", "sub/dir/d.bin", mode="6751"))
        rc, out, _ = self.quillon("-plain", "-dest", "out", "-mode", "600",
                                  "a")
        self.assertEqual((rc, out), (0, BANNER + b"\nUUdecoding c.bin\n"))
        self.assertEqual(self.read("out/c.bin"), b"one")
        self.assertEqual(stat.S_IMODE(os.stat(self.path("out", "c.bin"))
                                      .st_mode), 0o600)
        rc, out, _ = self.quillon("-plain", "-dir", "b")
        self.assertEqual(out, BANNER + b"\nUUdecoding sub/dir/d.bin\n")
        self.assertEqual(self.read("sub/dir/d.bin"), b"two")
        # Set-id bits of a begin line are never given to the file.
        self.assertEqual(stat.S_IMODE(os.stat(self.path("sub/dir/d.bin"))
                                      .st_mode), 0o751)

    def test_dir_refuses_names_outside_the_output_directory(self):
        os.mkdir(self.path("out"))
        self.write("up", uuencode(b"evil", "../evil.bin"))
        self.write("abs", uuencode(b"evil", self.path("abs.bin")))
        # A name of the output directory itself takes no numbered name.
        self.write("dot", uuencode(b"evil", "."))
        self.write("ok", uuencode(b"fine", "ok.bin"))
        rc, out, err = self.quillon("-plain", "-dir", "-delete", "-dest",
                                    "out", "up", "abs", "dot", "ok")
        self.assertEqual(rc, 1)
        self.assertEqual(err, b"quillon: unable to create out/../evil.bin\n"
                         b"quillon: unable to create out/" +
                         self.path("abs.bin").encode() + b"\n"
                         b"quillon: unable to create out/.\n")
        self.assertFalse(os.path.exists(self.path("evil.bin")))
        self.assertFalse(os.path.exists(self.path("abs.bin")))
        # The inputs that could not be decoded stay; the decoded one goes.
        self.assertTrue(os.path.exists(self.path("up")))
        self.assertTrue(os.path.exists(self.path("abs")))
        self.assertTrue(os.path.exists(self.path("dot")))
        self.assertFalse(os.path.exists(self.path("ok")))
        self.assertEqual(os.listdir(self.path("out")), ["ok.bin"])
        self.assertEqual(self.read("out/ok.bin"), b"fine")

    def test_unwritable_output_on_stdin_ends_the_pass(self):
        text = uuencode(b"1", "no/such/x.bin") + uuencode(b"2", "y.bin")
        rc, out, err = self.quillon("-dir", stdin=text)
        self.assertEqual((rc, out), (1, BANNER + b"\n"))
        self.assertEqual(err, b"quillon: unable to create no/such/x.bin\n")
        self.assertFalse(os.path.exists(self.path("y.bin")))

    def test_dos_names_are_converted_and_numbered_only_where_taken(self):
        self.write("a", uuencode(b"a", "pictures_a_1.jpg"))
        self.write("b", uuencode(b"b", "pictures_b_1.jpg"))
        rc, out, _ = self.quillon("-plain", "-dos", "a", "b")
        self.assertEqual(out, BANNER + b"\nUUdecoding pictur_1.jpg\n"
                         b"UUdecoding pictur01.jpg\n")
        self.assertEqual(self.read("pictur_1.jpg"), b"a")
        self.assertEqual(self.read("pictur01.jpg"), b"b")

    def test_errors_file_is_created_and_bad_one_reported(self):
        self.write("a", uuencode(b"a", "a.bin"))
        rc, _, err = self.quillon("-plain", "-errors", "err.txt", "a")
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(self.read("err.txt"), b"")
        rc, _, err = self.quillon("-plain", "-errors", "no/err.txt", "a")
        self.assertEqual((rc, err), (1, b"no/err.txt: cannot open\n"))
        self.assertEqual(self.read("a.bin"), b"a")

    def test_delete_removes_decoded_inputs(self):
        lines = uuencode(data_of(200), "d.bin").splitlines(True)
        self.write("p1", b"".join(lines[:3]))
        self.write("p2", b"".join(lines[3:]))
        rc, _, _ = self.quillon("-plain", "-delete", "-q", "p1", "p2")
        self.assertEqual(rc, 0)
        self.assertEqual(os.listdir(self.dir), ["d.bin"])
        self.assertEqual(self.read("d.bin"), data_of(200))

    def test_missing_input_ends_with_status_1(self):
        self.write("a", uuencode(b"a", "a.bin"))
        rc, out, err = self.quillon("-plain", "a", "missing", "a")
        self.assertEqual(rc, 1)
        self.assertEqual(err, b"quillon: cannot access file missing\n")
        self.assertEqual(out, BANNER + b"\nUUdecoding a.bin\n")
        self.assertEqual(self.read("a.bin"), b"a")


if __name__ == "__main__":
    unittest.main()
