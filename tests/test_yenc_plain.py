"""yEnc in plain files (-plain) and on standard input, alone and among
uuencoded text: multi-part files across input files in any order, the part
and whole-file checks, output names and modes."""

import os
import random
import stat
import zlib

import yenc
from quillon_e2e import QuillonTest, uuencode

BANNER = b"Quillon ver 3.7.0\n"


def data_of(n, seed=0):
    rnd = random.Random(seed * 7919 + n)
    return bytes(rnd.randrange(256) for _ in range(n))


def articles(data, name, parts=1, **options):
    """The articles of one posting, by yencode where it is installed."""
    return yenc.yenc_articles(data, name, parts=parts, fallback=True,
                              **options)


def corrupt(article):
    """The article with one data byte of its part changed."""
    lines = article.split(b"\n")
    at = next(i for i, l in enumerate(lines) if l.startswith(b"=ybegin"))
    at += 2 if lines[at + 1].startswith(b"=ypart") else 1
    line = bytearray(lines[at])
    k = next(k for k in range(1, len(line))
             if line[k] not in b"=\r" and line[k - 1] != ord("="))
    line[k] = ord("A") if line[k] != ord("A") else ord("B")
    lines[at] = bytes(line)
    return b"\n".join(lines)


class YencPlainTest(QuillonTest):

    def plain(self, *texts, options=()):
        """Writes the texts as plain files in1, in2 ... and decodes them in
        this order."""
        names = []
        for k, text in enumerate(texts):
            names.append("in%d" % (k + 1))
            self.write(names[-1], text)
        return self.quillon("-plain", *options, *names)

    def test_single_part_in_a_plain_file_and_on_stdin(self):
        for n in (1, 127, 128, 129, 5000):
            with self.subTest(n=n):
                data = data_of(n, 1)
                [article] = articles(data, "one file.bin")
                want = (0, BANNER + b"\nyDecoding one file.bin\n", b"")
                self.assertEqual(self.plain(article), want)
                self.assertEqual(self.read("one file.bin"), data)
                os.remove(self.path("one file.bin"))
                self.assertEqual(self.quillon(stdin=article), want)
                self.assertEqual(self.read("one file.bin"), data)
                os.remove(self.path("one file.bin"))

    def test_parts_in_several_files_in_reverse_order(self):
        data = data_of(40000, 2)
        for crlf in (False, True):
            with self.subTest(crlf=crlf):
                parts = articles(data, "multi.zip", parts=5, crlf=crlf)
                rc, out, err = self.plain(*reversed(parts))
                self.assertEqual((rc, out, err),
                                 (0, BANNER + b"\nyDecoding multi.zip\n", b""))
                self.assertEqual(self.read("multi.zip"), data)
                # The same parts in one stream on standard input.
                rc, _, err = self.quillon("-q", stdin=b"".join(parts[::-1]))
                self.assertEqual((rc, err), (0, b""))
                self.assertEqual(self.read("multi.zip"), data)

    def test_two_files_kept_apart_by_name_and_size(self):
        a, b = data_of(3000, 3), data_of(3100, 4)
        pa = articles(a, "a.bin", parts=3)
        pb = articles(b, "b.bin", parts=2)
        rc, out, _ = self.plain(pa[2] + pb[1], pb[0] + pa[0], pa[1])
        self.assertEqual(rc, 0)
        # Each is named once its parts are all there.
        self.assertEqual(out, BANNER + b"\nyDecoding b.bin\nyDecoding a.bin\n")
        self.assertEqual((self.read("a.bin"), self.read("b.bin")), (a, b))

    def test_mixed_with_uuencoded_files(self):
        u1, u2, y1, y2 = (data_of(n, 5) for n in (500, 90, 2000, 300))
        uu = uuencode(u1, "u1.bin").split(b"\n")
        [single] = articles(y1, "y1.bin")
        parts = articles(y2, "y2.bin", parts=2)
        # A yEnc part inside an open uuencoded file leaves it as it is.
        text = (b"\n".join(uu[:4]) + b"\n" + single + b"\n".join(uu[4:])
                + parts[1] + uuencode(u2, "u2.bin", crlf=True) + parts[0])
        for run in (lambda: self.plain(text), lambda: self.quillon(stdin=text)):
            rc, out, err = run()
            self.assertEqual((rc, err), (0, b""))
            # Each file is named when it is closed: y1.bin before the
            # uuencoded file around it, y2.bin at its last part.
            self.assertEqual(out, BANNER + b"\nyDecoding y1.bin\n"
                             b"UUdecoding u1.bin\nUUdecoding u2.bin\n"
                             b"yDecoding y2.bin\n")
            for name, data in (("u1.bin", u1), ("u2.bin", u2),
                               ("y1.bin", y1), ("y2.bin", y2)):
                self.assertEqual(self.read(name), data, name)

    def test_ybegin_counts_only_at_the_start_of_a_line(self):
        part = yenc.encode_yenc(data_of(50, 6), "no.bin")
        text = b"x" + part + b"A" * 119 + part
        rc, out, _ = self.plain(text)
        self.assertEqual((rc, out), (0, BANNER + b"\n"))
        self.assertFalse(os.path.exists(self.path("no.bin")))

    def test_crc_error_in_a_part(self):
        data = data_of(9000, 7)
        parts = articles(data, "bad.bin", parts=3)
        rc, out, err = self.plain(parts[0], corrupt(parts[1]), parts[2])
        self.assertEqual(rc, 1)
        self.assertEqual(out, BANNER + b"\nyDecoding bad.bin\n")
        self.assertEqual(err, b"quillon: CRC error in part 2 of bad.bin\n")
        # Still written, for a repair tool to mend.
        written = self.read("bad.bin")
        self.assertEqual(len(written), len(data))
        self.assertEqual(sum(x != y for x, y in zip(written, data)), 1)

    def left(self, count):
        return [k for k in range(1, count + 1)
                if os.path.exists(self.path("in%d" % k))]

    def test_a_good_copy_mends_the_file_whatever_the_order(self):
        # A damaged copy is reported only where no good copy of its part is
        # read by the end of the input; the bytes are the good copy's.
        data = data_of(6000, 8)
        parts = articles(data, "mend.bin", parts=2)
        [single] = articles(data, "one.bin")
        bad, bad_single = corrupt(parts[0]), corrupt(single)
        # (More orders: yenc_stream_test.)
        for order in ([bad, parts[1], parts[0]], [bad_single, single],
                      [single, bad_single]):
            name = b"one.bin" if single in order else b"mend.bin"
            want = (0, BANNER + b"\nyDecoding %s\n" % name, b"")
            with self.subTest(order=[p[-30:] for p in order]):
                self.assertEqual(self.plain(*order, options=["-delete"]),
                                 want)
                self.assertEqual(self.read(name.decode()), data)
                self.assertEqual(self.left(len(order)), [])
                self.assertEqual(self.quillon(stdin=b"".join(order)), want)
                self.assertEqual(self.read(name.decode()), data)
        # Without one, the damaged part is reported at the end, and its input
        # files stay.
        for order, err in (
                ([bad, parts[1]], b"CRC error in part 1 of mend.bin"),
                ([bad_single], b"CRC error in one.bin")):
            name = b"one.bin" if bad_single in order else b"mend.bin"
            os.remove(self.path(name.decode()))
            with self.subTest(order=len(order), err=err):
                self.assertEqual(
                    self.plain(*order, options=["-delete"]),
                    (1, BANNER + b"\nyDecoding %s\n" % name,
                     b"quillon: " + err + b"\n"))
                self.assertEqual(self.left(len(order)),
                                 list(range(1, len(order) + 1)))

    def test_part_one_of_one_without_ypart_line(self):
        # "part=1 total=1" (or no total=) and no =ypart line: the whole file,
        # its data on the line after =ybegin.
        data = data_of(5000, 16)
        for drop in ([], ["total"]):
            with self.subTest(total=not drop):
                [text] = articles(data, "w.bin", whole_part=True, drop=drop)
                self.assertNotIn(b"=ypart", text)
                want = (0, BANNER + b"\nyDecoding w.bin\n", b"")
                self.assertEqual(self.plain(text, options=["-delete"]), want)
                self.assertEqual(self.read("w.bin"), data)
                self.assertEqual(self.left(1), [])
                os.remove(self.path("w.bin"))
                self.assertEqual(self.quillon(stdin=text), want)
                self.assertEqual(self.read("w.bin"), data)

    def test_size_error_and_whole_file_crc_error(self):
        data = data_of(1000, 9)
        one = yenc.encode_yenc(data[:600], "s.bin", size=1000, part=1,
                               begin=1)
        two = yenc.encode_yenc(data[600:], "s.bin", size=1000, part=2,
                               begin=601, file_crc=zlib.crc32(data) ^ 1)
        rc, _, err = self.plain(one, two)
        self.assertEqual((rc, err), (1, b"quillon: CRC error in s.bin\n"))
        self.assertEqual(self.read("s.bin"), data)
        rc, _, err = self.plain(one.replace(b"size=600", b"size=599"), two)
        self.assertEqual(
            (rc, err), (1, b"quillon: size error in part 1 of s.bin\n"))
        # The whole-file CRC of a single part, in upper case and short.
        good = yenc.encode_yenc(b"\x00" * 4 + data, "w.bin", upper=True,
                                short=True)
        self.assertEqual(self.plain(good)[0], 0)
        head, _, crc = good.rpartition(b"crc32=")
        wrong = yenc.crc_text(int(crc, 16) ^ 1, upper=True).encode()
        bad = head + b"crc32=" + wrong + b"\n"
        self.assertEqual(self.plain(bad)[2], b"quillon: CRC error in w.bin\n")

    def test_missing_part_gives_a_short_file(self):
        data = data_of(30000, 10)
        parts = articles(data, "short.bin", parts=3)
        rc, out, err = self.plain(parts[2], parts[0])
        self.assertEqual((rc, err), (1, b""))
        self.assertEqual(out, BANNER + b"\nyDecoding short.bin\nShort file\n")
        rc, out, _ = self.plain(parts[2], parts[0], options=["-q"])
        self.assertEqual((rc, out), (1, b"\n"))
        # A part given twice is no gap. The short file is kept; the whole
        # one takes the next name.
        self.assertEqual(self.plain(*(parts + parts[1:2]))[0], 0)
        self.assertEqual(len(self.read("short.bin")), len(data))
        self.assertEqual(self.read("short.bin.1"), data)

    def test_delete_removes_only_the_inputs_of_sound_files(self):
        good, short = data_of(2000, 11), data_of(2000, 12)
        g = articles(good, "g.bin", parts=2)
        s = articles(short, "s.bin", parts=2)
        rc, _, _ = self.plain(g[1], s[0], g[0], options=["-delete", "-q"])
        self.assertEqual(rc, 1)
        self.assertEqual([os.path.exists(self.path("in%d" % k))
                          for k in (1, 2, 3)], [False, True, False])
        self.assertEqual(self.read("g.bin"), good)

    def test_names_dest_dir_and_dos(self):
        data = data_of(700, 13)
        [nested] = articles(data, "sub/inner.bin")
        os.mkdir(self.path("out"))
        rc, out, _ = self.plain(nested, options=["-dest", "out"])
        self.assertEqual((rc, out), (0, BANNER + b"\nyDecoding inner.bin\n"))
        self.assertEqual(self.read("out", "inner.bin"), data)
        os.mkdir(self.path("sub"))
        rc, out, _ = self.plain(nested, options=["-dir"])
        self.assertEqual((rc, out),
                         (0, BANNER + b"\nyDecoding sub/inner.bin\n"))
        self.assertEqual(self.read("sub", "inner.bin"), data)
        for name in ("../up.bin", "sub/../../up.bin", "/tmp/abs.bin"):
            with self.subTest(name=name):
                [part] = articles(data, name)
                rc, out, err = self.plain(part, options=["-dir"])
                self.assertEqual((rc, out), (1, BANNER + b"\n"))
                self.assertEqual(err, b"quillon: unable to create %s\n"
                                 % name.encode())
        self.assertFalse(os.path.exists(os.path.join(self.dir, "..",
                                                     "up.bin")))
        self.assertFalse(os.path.exists("/tmp/abs.bin"))
        # -dos: the same name as a uuencoded file of that name gets.
        long_name = "holidaypictures.jpeg"
        self.quillon("-plain", "-dos", "-q",
                     self.write("uu", uuencode(b"x", long_name)))
        [dos_name] = set(os.listdir(self.dir)) - {
            "in1", "uu", "out", "sub", "inner.bin"}
        os.remove(self.path(dos_name))
        [part] = articles(data, long_name)
        rc, out, _ = self.plain(part, options=["-dos"])
        self.assertEqual(out, BANNER + b"\nyDecoding %s\n" % dos_name.encode())
        self.assertEqual(self.read(dos_name), data)

    def test_long_name_with_blanks(self):
        # The =ybegin line runs past one line read.
        name = "a long name with blanks " * 8 + ".bin"
        data = data_of(3000, 15)
        rc, out, _ = self.plain(*reversed(articles(data, name, parts=2)))
        self.assertEqual((rc, out),
                         (0, BANNER + b"\nyDecoding %s\n" % name.encode()))
        self.assertEqual(self.read(name), data)

    def test_modes(self):
        [part] = articles(data_of(100, 14), "m.bin")
        self.plain(part, options=["-mode", "600"])
        self.assertEqual(stat.S_IMODE(os.stat(self.path("m.bin")).st_mode),
                         0o600)
        # Without -mode: 0666 less the umask.
        os.remove(self.path("m.bin"))
        old = os.umask(0o027)
        try:
            self.plain(part)
        finally:
            os.umask(old)
        self.assertEqual(stat.S_IMODE(os.stat(self.path("m.bin")).st_mode),
                         0o640)

    def test_escapes_and_a_line_ending_in_an_equals_sign(self):
        # Bytes that encode to NUL, LF, CR and "=", and every other value.
        data = bytes([214, 224, 227, 19]) * 40 + bytes(range(256)) * 2
        for line_size in (1, 2, 3, 127, 128):
            # Everything escaped whose escape is no line end and no "=y".
            every = [c for c in range(256)
                     if (c + 64) & 0xFF not in (0x0A, 0x0D, 0x79)]
            for escape_all in ((), every):
                with self.subTest(line=line_size, all=bool(escape_all)):
                    text = yenc.encode_yenc(data, "esc.bin",
                                            line_size=line_size,
                                            escape_all=escape_all,
                                            crlf=line_size == 3)
                    self.assertEqual(self.plain(text)[0], 0)
                    self.assertEqual(self.read("esc.bin"), data)
        # A lone "=" that ends a line is dropped.
        text = yenc.encode_yenc(data, "eq.bin").split(b"\n")
        text[1] += b"="
        text[2] += b"=\r"
        self.assertEqual(self.plain(b"\n".join(text))[:3:2], (0, b""))
        self.assertEqual(self.read("eq.bin"), data)


if __name__ == "__main__":
    import unittest
    unittest.main()
