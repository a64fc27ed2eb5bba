"""No posting is lost: postings that share a file name, a part reposted
twice, last parts shorter than three full lines and the ways they end,
subjects longer than a line read, and directories or empty files among the
article files. Each case runs as cron would run it, with -delete and the
processed-file log."""

import itertools
import os
import random
import unittest

from quillon_e2e import QuillonTest, uuencode, uuencode_lines
from spool import article, date, posting, random_bytes, write_spool

BANNER = b"Quillon ver 3.7.0\n"


class SpoolTest(QuillonTest):

    def setUp(self):
        super().setUp()
        self.log = self.path("newslog")

    def spool(self, articles, name="spool", first=1):
        paths = write_spool(self.path(name), articles, first)
        return [os.path.relpath(p, self.dir) for p in paths]

    def run_logged(self, *args):
        """A run over the spool directory with the log, from the test's
        directory; returns status, output and messages."""
        with open(self.log, "w") as f:
            f.write("*%s\n" % os.path.realpath(self.path("spool")))
        return self.quillon(*args, env={"QUILLONLOG": self.log})

    def logged(self):
        with open(self.log) as f:
            return f.read()

    def left(self, name="spool"):
        return sorted(os.listdir(self.path(name)))

    def header(self, subjects, segments, files, listed=()):
        """What a scan run prints up to the decode pass; `listed`: the
        subjects of the segments not decoded."""
        out = BANNER + b"Reading %s\n\n" % self.log.encode()
        out += b"".join(s.encode() + b"\n" for s in subjects)
        out += b"\nFound %d uuencoded file segments.\n" % segments
        if listed:
            out += (b"\nCaptions for (file) segments not decoded:\n"
                    + b"".join(s.upper().encode() + b"\n" for s in listed)
                    + b"\n")
        return out + b"%d complete (non-segmented) files found.\n\n" % files

    def footer(self):
        return b"\nUpdating %s\n" % self.log.encode()

    def log_of(self, read_order):
        """The log after a run that processed every file: the directory
        line, then the entries newest first."""
        spool = os.path.realpath(self.path("spool"))
        names = [os.path.basename(p) for p in read_order]
        return "*%s\n" % spool + "".join("@%s\n" % n for n in reversed(names))


def filler(size, seed):
    """`size` characters of subject text without digits, dots, slashes or
    the word "of", as stands before the part numbers of a long subject."""
    rng = random.Random(seed)
    words = ["sunny", "beach", "holiday", "pictures", "-", "[best]", "the",
             "Coast", "and", "more", "NEW", "scans"]
    text = ""
    while len(text) < size:
        text += rng.choice(words) + " "
    return text[:size]


def subject_of(text):
    for line in text.split(b"\n"):
        if line.startswith(b"Subject: "):
            return line[9:].decode()
    raise AssertionError("no subject")


class SameNameTest(SpoolTest):
    """Two posters post different files under one name."""

    def postings(self):
        ann = random_bytes(3000, 21)
        bob = random_bytes(2000, 22)
        a = posting(ann, "holiday.zip", 2, poster="ann@a.example",
                    when=date(1))
        b = posting(bob, "holiday.zip", 2, poster="bob@b.example",
                    when=date(2))
        return {"a": (ann, a), "b": (bob, b)}

    ORDERS = [["a0", "b0", "a1", "b1"], ["b1", "a1", "b0", "a0"],
              ["a0", "a1", "b0", "b1"]]

    def check(self, order, dos):
        posts = self.postings()
        texts = [posts[k[0]][1][int(k[1])] for k in order]
        files = self.spool(texts)
        options = ["-dos"] if dos else []
        rc, out, err = self.run_logged(*options, "-delete", *files)
        self.assertEqual((rc, err), (0, b""))
        # The poster read first is poster 1, and decoded first.
        first, second = order[0][0], "b" if order[0][0] == "a" else "a"
        names = (["holida01.zip", "holida02.zip"] if dos
                 else ["holiday.zip", "holiday.zip.1"])
        self.assertEqual(out, self.header([subject_of(t) for t in texts], 4, 2)
                         + b"UUdecoding %s\nUUdecoding %s\n"
                         % (names[0].encode(), names[1].encode())
                         + self.footer())
        self.assertEqual(self.read(names[0]), posts[first][0])
        self.assertEqual(self.read(names[1]), posts[second][0])
        self.assertEqual(self.left(), [])
        self.assertEqual(self.logged(), self.log_of(files))

    def test_both_are_written_in_every_reading_order(self):
        for order in self.ORDERS:
            for dos in (False, True):
                with self.subTest(order=order, dos=dos):
                    self.check(order, dos)
                    for name in os.listdir(self.dir):
                        if name != "spool":
                            os.remove(self.path(name))

    def test_a_name_used_by_three_postings(self):
        # Begin names a/x.zip and b/x.zip both become x.zip without -dir.
        datas = [random_bytes(700 + i, 30 + i) for i in range(3)]
        texts = []
        for i, (name, poster) in enumerate([("x.zip", "p@1"), ("a/x.zip", "q@2"),
                                            ("b/x.zip", "r@3")]):
            texts += posting(datas[i], name, 1, poster=poster,
                             subject_fmt="x.zip (%(part)d/%(total)d)")
        files = self.spool(texts)
        rc, out, err = self.run_logged("-delete", *files)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.header(["x.zip (1/1)"] * 3, 3, 3)
                         + b"UUdecoding x.zip\nUUdecoding x.zip.1\n"
                           b"UUdecoding x.zip.2\n" + self.footer())
        for name, data in zip(["x.zip", "x.zip.1", "x.zip.2"], datas):
            self.assertEqual(self.read(name), data)
        self.assertEqual(self.left(), [])
        self.assertEqual(self.logged(), self.log_of(files))


class DoubleRepostTest(SpoolTest):
    """A part with a damaged copy and two reposts, the first damaged too."""

    def test_the_later_repost_is_decoded_in_every_reading_order(self):
        data = random_bytes(6000, 40)
        good = posting(data, "r.bin", 3, when=date(3, 10))

        def damaged(text):
            copy = bytearray(text)
            copy[-200] ^= 1
            return bytes(copy)

        copies = {
            "orig": damaged(good[1]),
            "rep1": damaged(good[1].replace(
                b"Subject: r.bin (2/3)", b"Subject: REPOST: r.bin (2/3)")
                .replace(date(3, 10).encode(), date(3, 11).encode())),
            "rep2": good[1].replace(
                b"Subject: r.bin (2/3)", b"Subject: r.bin (2/3) REPOST again")
                .replace(date(3, 10).encode(), date(3, 12).encode()),
        }
        for order in itertools.permutations(copies):
            for delete in (False, True):
                with self.subTest(order=order, delete=delete):
                    texts = [good[0]] + [copies[k] for k in order] + [good[2]]
                    files = self.spool(texts)
                    args = ["-delete"] if delete else []
                    rc, out, err = self.run_logged(*args, *files)
                    self.assertEqual((rc, err), (0, b""))
                    self.assertEqual(
                        out, self.header([subject_of(t) for t in texts], 5, 1)
                        + b"UUdecoding r.bin\n" + self.footer())
                    self.assertEqual(self.read("r.bin"), data)
                    self.assertEqual(self.left(),
                                     [] if delete else ["1", "2", "3", "4", "5"])
                    self.assertEqual(self.logged(), self.log_of(files))
                    os.remove(self.path("r.bin"))


class ShortLastPartTest(SpoolTest):
    """Last parts and whole files shorter than three full lines."""

    def two_parts(self, data, name, first_lines):
        lines = uuencode_lines(data)
        first = b"begin 644 %s\n" % name.encode() + b"".join(lines[:first_lines])
        last = b"".join(lines[first_lines:]) + b"`\nend\n"
        return [article("%s (%d/2)" % (name, i + 1), body + b"-- \nsig\n",
                        when=date(5, 10 + i))
                for i, body in enumerate([first, last])]

    def test_short_last_parts_tiny_file_and_text_that_must_not_count(self):
        one_line = random_bytes(45 * 4 + 10, 50)    # last part: one line
        two_full = random_bytes(45 * 5, 51)         # last part: two full lines
        tiny = b"0123456789"
        texts = (self.two_parts(one_line, "one.bin", 4)
                 + self.two_parts(two_full, "two.bin", 3)
                 + [article("tiny.txt", uuencode(tiny, "tiny.txt"),
                            poster="t@t.example")])
        quoted = b"".join(b"> " + l for l in uuencode_lines(one_line)[-2:])
        texts += [
            article("Re: one.bin (2/2)", b"You wrote:\n" + quoted +
                    b"> `\n> end\n\nThanks!\n", poster="f@f.example"),
            article("story (2/3)", b"and so it came to\nend\n",
                    poster="s@s.example"),
        ]
        files = self.spool(texts)
        rc, out, err = self.run_logged("-delete", *files)
        self.assertEqual((rc, err), (0, b""))
        subjects = ["one.bin (1/2)", "one.bin (2/2)", "two.bin (1/2)",
                    "two.bin (2/2)", "tiny.txt"]
        self.assertEqual(out, self.header(subjects, 5, 3)
                         + b"UUdecoding one.bin\nUUdecoding two.bin\n"
                           b"UUdecoding tiny.txt\n" + self.footer())
        self.assertEqual(self.read("one.bin"), one_line)
        self.assertEqual(self.read("two.bin"), two_full)
        self.assertEqual(self.read("tiny.txt"), tiny)
        # The text articles are no segments: they stay, unlogged.
        self.assertEqual(self.left(), ["6", "7"])
        self.assertEqual(self.logged(), self.log_of(files[:5]))

    def test_zero_length_line_before_end_as_posted_and_as_transit_leaves_it(
            self):
        # Last parts of one full and one short data line.
        endings = [("`", 10), (" ", 20), ("", 30)]
        texts, datas = [], []
        for eol in (b"\n", b"\r\n"):
            for k, (zero, tail) in enumerate(endings):
                data = random_bytes(45 * 4 + tail, 70 + k + len(eol))
                lines = uuencode_lines(data)
                name = "e%d%s.bin" % (k, "crlf" if len(eol) == 2 else "")
                first = b"begin 644 %s\n" % name.encode() + b"".join(lines[:3])
                last = b"".join(lines[3:]) + zero.encode() + b"\nend\n"
                for i, body in enumerate([first, last.replace(b"\n", eol)]):
                    texts.append(article("%s (%d/2)" % (name, i + 1), body,
                                         when=date(6, 10 + i)))
                datas.append((name, data))
        files = self.spool(texts)
        rc, out, err = self.run_logged("-delete", *files)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.header([subject_of(t) for t in texts],
                                          len(texts), len(datas))
                         + b"".join(b"UUdecoding %s\n" % n.encode()
                                    for n, _ in datas) + self.footer())
        for name, data in datas:
            self.assertEqual(self.read(name), data, name)
        self.assertEqual(self.left(), [])
        self.assertEqual(self.logged(), self.log_of(files))

    def test_ten_byte_file_in_one_article_file(self):
        data = b"ten bytes!"
        self.assertEqual(len(data), 10)
        files = self.spool([article("ten.txt (1/1)", uuencode(data, "ten.txt"))])
        rc, out, err = self.run_logged("-delete", *files)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.header(["ten.txt (1/1)"], 1, 1)
                         + b"UUdecoding ten.txt\n" + self.footer())
        self.assertEqual(self.read("ten.txt"), data)
        self.assertEqual(self.left(), [])


class LongSubjectTest(SpoolTest):
    """Subjects of 200 and 1,000 characters: the part numbers at their end
    count, and they are printed and listed whole; so is a long From: line
    read to its address."""

    def long_posting(self, size, data, name, parts, poster, named=True,
                     missing=()):
        """A posting whose subjects are `size` characters long: filler text,
        the file name unless not `named`, and "(n/m)"."""
        tail = (" " + name if named else "") + " (%(part)d/%(total)d)"
        text = filler(size - len(tail % {"part": 1, "total": parts}), size)
        texts = posting(data, name, parts, subject_fmt=text + tail,
                        poster=poster, when=date(7))
        return [t for i, t in enumerate(texts, 1) if i not in missing]

    def check(self, size):
        album = random_bytes(6000, size)
        unnamed = random_bytes(4000, size + 1)
        a = self.long_posting(size, album, "album.zip", 3, "ann@a.example")
        # Without a file name the key is found among the subject's windows.
        b = self.long_posting(size, unnamed, "b.bin", 2, "%s <bob@b.example>"
                              % filler(300, 3), named=False)
        c = self.long_posting(size, random_bytes(6000, 5), "c.bin", 3,
                              "cy@c.example", missing=[2])
        texts = a + b + c
        self.assertEqual(len(subject_of(texts[0])), size)
        files = self.spool(texts)
        rc, out, err = self.run_logged("-delete", *files)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.header([subject_of(t) for t in texts], 7, 2,
                                          [subject_of(t) for t in c])
                         + b"UUdecoding album.zip\nUUdecoding b.bin\n"
                         + self.footer())
        self.assertEqual(self.read("album.zip"), album)
        self.assertEqual(self.read("b.bin"), unnamed)
        self.assertEqual(self.left(), ["6", "7"])
        self.assertEqual(self.logged(), self.log_of(files[:5]))

    def test_subjects_of_200_characters(self):
        self.check(200)

    def test_subjects_of_1000_characters(self):
        self.check(1000)


class DirectoryArgumentTest(SpoolTest):
    """A group's directory holds the directories of its subgroups, and a
    glob over it catches them, first or among the articles."""

    def test_scan_passes_them_over_without_a_word(self):
        data = random_bytes(4000, 60)
        files = self.spool(posting(data, "d.bin", 2))
        os.mkdir(self.path("spool", "0sub"))
        os.mkdir(self.path("spool", "1sub"))
        self.write("spool/0empty", b"")
        args = ["spool/0sub", "spool/0empty", files[0], "spool/1sub", files[1]]
        rc, out, err = self.run_logged("-delete", *args)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.header(["d.bin (1/2)", "d.bin (2/2)"], 2, 1)
                         + b"UUdecoding d.bin\n" + self.footer())
        self.assertEqual(self.read("d.bin"), data)
        self.assertEqual(self.left(), ["0empty", "0sub", "1sub"])
        self.assertEqual(self.logged(), self.log_of(files))

    def test_plain_mode_reports_them_and_fall_back_passes_them_over(self):
        data = random_bytes(700, 61)
        more = random_bytes(800, 62)
        self.write("in/p.uu", uuencode(data, "p.bin"))
        self.write("in/q.uu", uuencode(more, "q.bin"))
        self.write("in/empty", b"")
        os.mkdir(self.path("in", "0sub"))
        os.mkdir(self.path("in", "1sub"))
        args = ["in/0sub", "in/empty", "in/p.uu", "in/1sub", "in/q.uu"]
        for plain, rc, err, found in (
                (True, 1, b"quillon: cannot access file in/0sub\n"
                          b"quillon: cannot access file in/1sub\n", b""),
                (False, 0, b"", b"\nFound ordinary uuencoded files.\n")):
            with self.subTest(plain=plain):
                options = ["-plain"] if plain else []
                self.assertEqual(
                    self.quillon(*options, *args),
                    (rc, BANNER + found + b"\nUUdecoding p.bin\n"
                     b"UUdecoding q.bin\n", err))
                self.assertEqual(self.read("p.bin"), data)
                self.assertEqual(self.read("q.bin"), more)
                os.remove(self.path("p.bin"))
                os.remove(self.path("q.bin"))


if __name__ == "__main__":
    unittest.main()
