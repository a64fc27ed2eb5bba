"""yEnc postings in news spools: the scan finds them, groups the parts of
each posting, writes every part at its range from its best copy, checks the
parts and the file against their CRCs and sizes, and names, deletes and logs
as for uuencoded postings. Articles come from the npm package yencode where
it is installed, else from the tests' own encoder (saying so); the shapes no
encoder writes by itself are made by hand."""

import itertools
import os
import re
import subprocess
import unittest
import zlib

import yenc
from quillon_e2e import QUILLON, QuillonTest, command
from spool import article, date, posting, random_bytes, write_spool

BANNER = b"Quillon ver 3.7.0\n"
EARLY = date(13, 10)
LATE = date(15, 10)


def ypost(data, name, parts=3, **changes):
    """The articles of one yEnc posting, in part order unless `emit` says."""
    changes.setdefault("line_size", 64)
    return yenc.yenc_articles(data, name, parts=parts, fallback=True,
                              **changes)


def subject_of(text):
    for line in text.split(b"\n"):
        if line.startswith(b"Subject: "):
            return line[9:].rstrip(b"\r")
    raise AssertionError("no subject")


def caption_of(text):
    return subject_of(text).upper()


def set_keyword(text, line_start, keyword, value):
    """The article with `keyword=` of its line beginning with `line_start`
    changed to `value` (or removed, when value is None)."""
    def change(match):
        line = match.group(0)
        if value is None:
            return re.sub(rb" %s=[^ \r\n]*" % keyword, b"", line)
        return re.sub(rb"(?<= %s=)[^ \r\n]*" % keyword, value, line)
    return re.sub(rb"(?m)^%s[^\n]*" % re.escape(line_start), change, text)


def hand_posting(pieces, name, size, subject=None, poster="alice@example.org",
                 when=EARLY, **options):
    """Articles around yEnc parts made by the tests' own encoder: `pieces`
    is a list of (begin, data); the last part carries the whole file's
    crc32= (file_crc in options)."""
    out = []
    total = len(pieces)
    for number, (begin, data) in enumerate(pieces, 1):
        extra = dict(options)
        if number != total:
            extra.pop("file_crc", None)
        body = yenc.encode_yenc(data, name, size=size,
                                part=number if total > 1 else None,
                                total=total, begin=begin, **extra)
        subj = (subject or '"{name}" yEnc ({part}/{total})').format(
            name=name, part=number, total=total)
        text = article(subj, body, poster=poster, when=when)
        out.append(text)
    return out


def hand_lines(lines, data, name):
    """A two-part posting whose first part holds the encoded `lines`, which
    stand for `data`, and whose second part 100 bytes more from the tests'
    own encoder; returns the articles and the whole file's bytes."""
    tail = random_bytes(100, 30)
    size = len(data) + len(tail)
    first = b"\n".join(
        [b"=ybegin part=1 total=2 line=128 size=%d name=%s"
         % (size, name.encode()), b"=ypart begin=1 end=%d" % len(data)]
        + lines + [b"=yend size=%d part=1 pcrc32=%08x"
                   % (len(data), zlib.crc32(data))]) + b"\n"
    second = yenc.encode_yenc(tail, name, size=size, part=2, total=2,
                              begin=len(data) + 1,
                              file_crc=zlib.crc32(data + tail))
    texts = [article('"%s" yEnc (%d/2)' % (name, n), body)
             for n, body in ((1, first), (2, second))]
    return texts, data + tail


class YencTest(QuillonTest):

    def spool(self, articles, name="spool"):
        return write_spool(self.path(name), articles)

    def expected(self, texts, segments=None, complete=0, captions=(),
                 uu=(), y=(), log=None):
        """What a scan run prints: the subjects, counts, captions not
        decoded, then the UUdecoding and yDecoding lines."""
        out = BANNER + (b"Reading %s\n" % log.encode() if log else b"")
        out += b"\n" + b"".join(subject_of(t) + b"\n" for t in texts)
        count = len(texts) if segments is None else segments
        out += b"\nFound %d uuencoded file segments.\n" % count
        if captions:
            out += (b"\nCaptions for (file) segments not decoded:\n" +
                    b"".join(caption_of(t) + b"\n" for t in captions) + b"\n")
        out += b"%d complete (non-segmented) files found.\n\n" % complete
        out += b"".join(b"UUdecoding %s\n" % n.encode() for n in uu)
        out += b"".join(b"yDecoding %s\n" % n.encode() for n in y)
        return out + b"\n" + (b"Updating %s\n" % log.encode() if log else b"")

    def start_log(self, spool="spool"):
        log = self.path("newslog")
        with open(log, "w") as f:
            f.write("*%s\n" % os.path.realpath(self.path(spool)))
        return log

    def logged(self, log):
        with open(log) as f:
            return {os.path.basename(l[1:]) for l in f.read().splitlines()
                    if l.startswith("@")}

    def left(self, name="spool"):
        return set(os.listdir(self.path(name)))

    def assertBytes(self, name, data):
        got = self.read(name)
        if got != data:
            at = next((i for i, (g, d) in enumerate(zip(got, data)) if g != d),
                      min(len(got), len(data)))
            self.fail("%s: %d bytes, not %d; first difference at byte %d"
                      % (name, len(got), len(data), at))


class Postings(YencTest):

    def test_single_part_named_with_blanks(self):
        data = random_bytes(3000, 1)
        texts = ypost(data, "holiday pictures.zip", parts=1)
        self.assertNotIn(b"=ypart", texts[0])
        files = self.spool(texts)
        rc, out, err = self.quillon("-dest", self.dir, *files)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.expected(texts, complete=1,
                                            y=["holiday pictures.zip"]))
        self.assertBytes("holiday pictures.zip", data)
        rc, out, err = self.quillon("-quiet", *files)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, b"\n1 complete (non-segmented) files found.\n"
                              b"\n\n")

    def test_empty_file(self):
        texts = ypost(b"", "empty.bin", parts=1)
        self.assertIn(b"=ybegin line=64 size=0 name=empty.bin\n", texts[0])
        rc, out, err = self.quillon(*self.spool(texts))
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.expected(texts, complete=1,
                                            y=["empty.bin"]))
        self.assertBytes("empty.bin", b"")

    def test_multi_part_in_every_reading_order(self):
        data = random_bytes(7000, 2)
        texts = ypost(data, "four.bin", parts=4)
        for order in itertools.permutations(range(4)):
            with self.subTest(order=order):
                read = [texts[i] for i in order]
                files = self.spool(read, "s%s" % "".join(map(str, order)))
                rc, out, err = self.quillon(*files)
                self.assertEqual((rc, err), (0, b""))
                self.assertEqual(out, self.expected(read, complete=1,
                                                    y=["four.bin"]))
                self.assertBytes("four.bin", data)
                os.remove(self.path("four.bin"))

    def test_total_from_the_subject_or_none_at_all(self):
        data = random_bytes(5000, 3)
        cases = [("from.bin", '{name} ({part}/{total})'),
                 ("none.bin", 'here is {name}, enjoy')]
        for name, subject in cases:
            with self.subTest(name=name):
                texts = ypost(data, name, parts=3, drop=["total"],
                              subject=subject, emit=[3, 1, 2])
                self.assertNotIn(b"total=", texts[0])
                rc, out, err = self.quillon(*self.spool(texts, name + ".in"))
                self.assertEqual((rc, err), (0, b""))
                self.assertIn(b"1 complete (non-segmented) files found.\n",
                              out)
                self.assertBytes(name, data)

    def test_subjects_of_200_and_1000_characters(self):
        # Without total= the number of parts comes from the subject's end.
        data = random_bytes(5000, 7)
        for size in (200, 1000):
            with self.subTest(size=size):
                subject = (("long subject text " * 60)[:size - 15]
                           + " {name} ({part}/{total})")
                texts = ypost(data, "long.bin", parts=3, drop=["total"],
                              subject=subject)
                self.assertEqual(len(subject_of(texts[0])), size)
                rc, out, err = self.quillon(*self.spool(texts, str(size)))
                self.assertEqual((rc, err), (0, b""))
                self.assertEqual(out, self.expected(texts, complete=1,
                                                    y=["long.bin"]))
                self.assertBytes("long.bin", data)
                os.remove(self.path("long.bin"))

    def test_several_posters_and_a_uuencoded_file_of_one_name(self):
        ann = random_bytes(4000, 4)
        bob = random_bytes(3500, 5)
        uu = random_bytes(2000, 6)
        a = ypost(ann, "same.bin", parts=2, poster="ann@a.example")
        b = ypost(bob, "same.bin", parts=2, poster="Bob <bob@b.example>")
        u = posting(uu, "same.bin", 1, poster="carl@c.example")
        # Bob's posting is met first, so it is decoded first; the
        # uuencoded file is written before every yEnc file.
        read = [b[1], a[0], u[0], a[1], b[0]]
        rc, out, err = self.quillon("-delete", *self.spool(read))
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.expected(
            read, complete=3, uu=["same.bin"],
            y=["same.bin.1", "same.bin.2"]))
        self.assertBytes("same.bin", uu)
        self.assertBytes("same.bin.1", bob)
        self.assertBytes("same.bin.2", ann)
        self.assertEqual(self.left(), set())

    def test_postings_differing_in_size_or_total_stay_apart(self):
        # One poster, one name: a different size or total is another
        # posting, so neither completes the other.
        data = random_bytes(6000, 7)
        good = ypost(data, "apart.bin", parts=3)
        other_size = ypost(data[:5000], "apart.bin", parts=3)
        other_total = set_keyword(good[1], b"=ybegin", b"total", b"4")
        read = [good[0], other_size[1], other_total, good[2]]
        rc, out, err = self.quillon(*self.spool(read))
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.expected(read, captions=read))
        self.assertEqual(os.listdir(self.dir), ["spool"])


class RealPosters(YencTest):
    """yEnc as posters write it: no total= under a subject of two counters,
    posters whose addresses share the name before the "@", a file of one
    part written as part=1 total=1 without =ypart."""

    def run_logged(self, read, **expected):
        """Runs with -delete and the log over `read`; checks that the run
        succeeds with what `expected` says, and every article went."""
        log = self.start_log()
        rc, out, err = self.quillon("-delete", *self.spool(read),
                                    env={"QUILLONLOG": log})
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.expected(read, log=log, **expected))
        self.assertEqual(self.left(), set())
        self.assertEqual(self.logged(log),
                         {str(n) for n in range(1, len(read) + 1)})

    def test_repost_joins_by_the_subjects_last_counter(self):
        data = random_bytes(9000, 80)
        parts = ypost(data, "x.rar", parts=3, drop=["total"], date=EARLY,
                      subject='[01/17] - "{name}" yEnc ({part}/{total})')
        repost = ypost(data, "x.rar", parts=3, emit=[2], drop=["total"],
                       date=LATE,
                       subject='REPOST: "{name}" yEnc ({part}/{total})')[0]
        self.assertNotIn(b" total=", b"".join(parts) + repost)
        # Part 2 of the posting missing, or damaged: the repost mends it.
        for read in ([parts[2], repost, parts[0]],
                     [parts[0], yenc.damage(parts[1]), parts[2], repost]):
            with self.subTest(articles=len(read)):
                self.run_logged(read, complete=1, y=["x.rar"])
                self.assertBytes("x.rar", data)
                os.remove(self.path("x.rar"))

    def test_posters_are_told_apart_by_the_whole_address(self):
        # Two files of one name and size, without crc32=: taken for one
        # poster's, their parts were mixed unnoticed. One address written
        # in another form and case is still one poster. Uuencoded postings
        # still go by the name before the "@".
        first, second = random_bytes(4000, 81), random_bytes(4000, 82)
        uu = random_bytes(3000, 83)
        u = posting(uu, "u.bin", 2, poster="anonymous@first.example")
        u[1] = posting(uu, "u.bin", 2, poster="anonymous@second.example")[1]
        for own in (False, True):
            with self.subTest(encoder="own" if own else "yencode"):
                a = ypost(first, "d.jpg", parts=2, drop=["crc32"], own=own,
                          poster="anonymous@first.example")
                a2 = ypost(first, "d.jpg", parts=2, emit=[2], own=own,
                           drop=["crc32"],
                           poster="Anonymous <ANONYMOUS@First.Example>")[0]
                b = ypost(second, "d.jpg", parts=2, drop=["crc32"], own=own,
                          poster="anonymous@second.example (Anonymous)")
                self.assertNotIn(b" crc32=", a[1] + b[1])
                read = [a[0], b[1], u[0], b[0], a2, u[1]]
                self.run_logged(read, complete=3, uu=["u.bin"],
                                y=["d.jpg", "d.jpg.1"])
                self.assertBytes("d.jpg", first)
                self.assertBytes("d.jpg.1", second)
                self.assertBytes("u.bin", uu)
                for name in ("d.jpg", "d.jpg.1", "u.bin"):
                    os.remove(self.path(name))

    def test_part_one_of_one_without_ypart_line(self):
        data = random_bytes(5000, 84)
        for drop in ([], ["total"]):
            with self.subTest(total=not drop):
                [text] = ypost(data, "one.bin", parts=1, whole_part=True,
                               drop=drop)
                self.assertIn(b"\n=ybegin part=1 ", text)
                self.assertNotIn(b"=ypart", text)
                self.run_logged([text], complete=1, y=["one.bin"])
                self.assertBytes("one.bin", data)
                os.remove(self.path("one.bin"))
        # A copy of the same file from yencode, in one part without part=,
        # is a copy of the same part: damaged and later, it gives way.
        [good] = ypost(data, "one.bin", parts=1, whole_part=True, date=EARLY)
        [bad] = ypost(data, "one.bin", parts=1, date=LATE)
        read = [yenc.damage(bad), good]
        self.run_logged(read, complete=1, y=["one.bin"])
        self.assertBytes("one.bin", data)


class Copies(YencTest):

    def test_damaged_part_and_its_repost(self):
        data = random_bytes(9000, 10)
        parts = ypost(data, "sunset.jpg", parts=3, date=EARLY)
        repost = ypost(data, "sunset.jpg", parts=3, emit=[2], date=LATE,
                       subject='REPOST "{name}" yEnc ({part}/{total})')[0]
        broken = yenc.damage(parts[1])
        self.assertNotEqual(yenc.reference_decode(broken),
                            yenc.reference_decode(parts[1]))
        orders = [[parts[0], broken, parts[2], repost],
                  [repost, parts[2], broken, parts[0]]]
        for order, delete in itertools.product(orders, (False, True)):
            with self.subTest(first=subject_of(order[0]), delete=delete):
                files = self.spool(order)
                log = self.start_log()
                args = ["-delete"] if delete else []
                rc, out, err = self.quillon(*args, *files,
                                            env={"QUILLONLOG": log})
                self.assertEqual((rc, err), (0, b""))
                self.assertEqual(out, self.expected(order, complete=1,
                                                    y=["sunset.jpg"], log=log))
                self.assertBytes("sunset.jpg", data)
                self.assertEqual(self.left(),
                                 set() if delete else {"1", "2", "3", "4"})
                self.assertEqual(self.logged(log), {"1", "2", "3", "4"})

    def test_damaged_repost_loses_to_the_good_original(self):
        data = random_bytes(6000, 15)
        parts = ypost(data, "keep.bin", parts=3, date=EARLY)
        repost = ypost(data, "keep.bin", parts=3, emit=[2], date=LATE)[0]
        for read in ([parts[0], parts[1], yenc.damage(repost), parts[2]],
                     [yenc.damage(repost), parts[2], parts[1], parts[0]]):
            with self.subTest(first=subject_of(read[0])):
                rc, out, err = self.quillon("-delete", *self.spool(read))
                self.assertEqual((rc, err), (0, b""))
                self.assertBytes("keep.bin", data)
                self.assertEqual(self.left(), set())

    def test_of_two_good_copies_the_later_wins_else_the_first_read(self):
        old = random_bytes(6000, 11)
        new = bytearray(old)
        new[2500:2600] = random_bytes(100, 12)
        new = bytes(new)
        first = ypost(old, "fixed.bin", parts=3, date=EARLY)
        second = ypost(new, "fixed.bin", parts=3, date=LATE)
        # The last part's crc32= is the corrected file's: only the later
        # copy of part 2 gives a file without a CRC error.
        for read in ([first[0], first[1], second[1], second[2]],
                     [second[2], second[1], first[1], first[0]]):
            with self.subTest(first=subject_of(read[0])):
                rc, out, err = self.quillon(*self.spool(read))
                self.assertEqual((rc, err), (0, b""))
                self.assertBytes("fixed.bin", new)
                os.remove(self.path("fixed.bin"))
        # Equal dates: the copy read first.
        same = ypost(new, "fixed.bin", parts=3, date=EARLY, drop=["crc32"])
        plain = [set_keyword(t, b"=yend", b"crc32", None) for t in first]
        for read, want in (([plain[0], plain[1], same[1], plain[2]], old),
                           ([plain[0], same[1], plain[1], plain[2]], new)):
            with self.subTest(equal_dates=want == new):
                rc, out, err = self.quillon(*self.spool(read))
                self.assertEqual((rc, err), (0, b""))
                self.assertBytes("fixed.bin", want)
                os.remove(self.path("fixed.bin"))

    def test_duplicated_part_is_decoded_once(self):
        data = random_bytes(5000, 13)
        parts = ypost(data, "dup.bin", parts=3)
        read = [parts[0], parts[1], parts[1], parts[2]]
        log = self.start_log()
        rc, out, err = self.quillon("-delete", *self.spool(read),
                                    env={"QUILLONLOG": log})
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.expected(read, complete=1, y=["dup.bin"],
                                            log=log))
        self.assertBytes("dup.bin", data)
        self.assertEqual(self.left(), set())
        self.assertEqual(self.logged(log), {"1", "2", "3", "4"})

    def test_missing_part(self):
        gone = ypost(random_bytes(6000, 14), "gone.bin", parts=3,
                     poster="carol@lost.example")
        fine = random_bytes(2000, 15)
        kept = ypost(fine, "fine.bin", parts=1)
        read = [gone[2], kept[0], gone[0]]
        log = self.start_log()
        rc, out, err = self.quillon("-delete", *self.spool(read),
                                    env={"QUILLONLOG": log})
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.expected(read, complete=1,
                                            captions=[gone[2], gone[0]],
                                            y=["fine.bin"], log=log))
        self.assertFalse(os.path.exists(self.path("gone.bin")))
        self.assertBytes("fine.bin", fine)
        self.assertEqual(self.left(), {"1", "3"})
        self.assertEqual(self.logged(log), {"2"})

    def test_part_without_ypart_line_is_never_placed(self):
        data = random_bytes(6000, 16)
        parts = ypost(data, "noplace.bin", parts=3, date=EARLY)
        lines = parts[1].split(b"\n")
        lost = b"\n".join(l for l in lines if not l.startswith(b"=ypart"))
        read = [parts[0], lost, parts[2]]
        rc, out, err = self.quillon(*self.spool(read))
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.expected(read, captions=read))
        self.assertFalse(os.path.exists(self.path("noplace.bin")))
        repost = ypost(data, "noplace.bin", parts=3, emit=[2], date=LATE)[0]
        rc, out, err = self.quillon(*self.spool(read + [repost], "again"))
        self.assertEqual((rc, err), (0, b""))
        self.assertBytes("noplace.bin", data)

    def test_what_is_no_yenc_segment(self):
        # A =ybegin line without size= or name=, with a name longer than
        # any file system takes, or not at the start of its line (a quote).
        data = random_bytes(500, 17)
        text = ypost(data, "x.bin", parts=1)[0]
        quote = text.replace(b"\n=y", b"\n> =y")
        long_name = ypost(data, "n" * 256, parts=1)[0]
        for broken in (set_keyword(text, b"=ybegin", b"size", None),
                       text.replace(b" name=x.bin", b""), quote, long_name):
            with self.subTest(broken=broken.split(b"=ybegin")[1][:40]):
                rc, out, err = self.quillon(*self.spool([broken]))
                self.assertEqual(rc, 2)
                self.assertIn(b"\nFound 0 uuencoded file segments.\n", out)
                self.assertNotIn(b"yDecoding", out)
        rc, out, err = self.quillon(*self.spool(ypost(data, "n" * 255,
                                                      parts=1)))
        self.assertEqual((rc, err), (0, b""))
        self.assertBytes("n" * 255, data)

    def test_text_before_ybegin_and_keywords(self):
        cat = random_bytes(3000, 18)
        dog = random_bytes(3000, 19)
        intro = ["Here is the cat, in two parts.", "", "=y is no keyword"]
        texts = (ypost(cat, "cat.jpg", parts=2, preamble=intro) +
                 ypost(dog, "dog.jpg", parts=2, poster="d@d.example"))
        rc, out, err = self.quillon("-k", "-dog", *self.spool(texts))
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.expected(texts[:2], complete=1,
                                            y=["cat.jpg"]))
        self.assertBytes("cat.jpg", cat)
        self.assertFalse(os.path.exists(self.path("dog.jpg")))


class Checks(YencTest):
    """Parts and files that fail their checks are still written; the run
    ends with status 1 and their articles are neither deleted nor logged."""

    def run_checked(self, read, good=None):
        """Runs with -delete and the log over `read` and, after it, the
        articles of a good posting `good`; returns status, output, errors."""
        fine = random_bytes(1500, 99)
        extra = ypost(fine, "fine.bin", parts=1, poster="f@f.example")
        log = self.start_log()
        files = self.spool(read + extra)
        rc, out, err = self.quillon("-delete", *files,
                                    env={"QUILLONLOG": log})
        self.assertBytes("fine.bin", fine)
        numbers = {str(n) for n in range(1, len(read) + 1)}
        self.assertEqual(self.left(), numbers)
        self.assertEqual(self.logged(log), {str(len(read) + 1)})
        self.assertIn(b"yDecoding fine.bin\n", out)
        return rc, out, err

    def test_crc_error_in_a_part_without_good_copy(self):
        data = random_bytes(6000, 20)
        parts = ypost(data, "bad.bin", parts=3)
        broken = yenc.damage(parts[1])
        rc, out, err = self.run_checked([parts[2], broken, parts[0]])
        self.assertEqual((rc, err),
                         (1, b"quillon: CRC error in part 2 of bad.bin\n"))
        self.assertIn(b"yDecoding bad.bin\n", out)
        begin = len(yenc.reference_decode(parts[0]))
        want = data[:begin] + yenc.reference_decode(broken) + data[
            begin + len(yenc.reference_decode(broken)):]
        self.assertBytes("bad.bin", want)

    def test_part_without_yend_or_with_a_broken_one(self):
        data = random_bytes(6000, 21)
        parts = ypost(data, "cut.bin", parts=3)
        no_end = b"\n".join(l for l in parts[2].split(b"\n")
                            if not l.startswith(b"=yend"))
        broken_end = set_keyword(parts[2], b"=yend", b"part", b"x")
        for last in (no_end, broken_end):
            with self.subTest(yend=b"=yend" in last):
                rc, out, err = self.run_checked([parts[0], parts[1], last])
                self.assertEqual((rc, err), (
                    1, b"quillon: CRC error in part 3 of cut.bin\n"))
                self.assertEqual(len(self.read("cut.bin")), len(data))
                self.assertEqual(self.read("cut.bin")[:4000], data[:4000])

    def test_size_error(self):
        data = random_bytes(6000, 22)
        parts = ypost(data, "size.bin", parts=3)
        wrong = set_keyword(parts[1], b"=yend", b"size", b"2001")
        rc, out, err = self.run_checked([parts[0], wrong, parts[2]])
        self.assertEqual((rc, err),
                         (1, b"quillon: size error in part 2 of size.bin\n"))
        self.assertBytes("size.bin", data)
        os.remove(self.path("size.bin"))
        # A data line lost: fewer bytes than the part's range holds.
        lines = parts[1].split(b"\n")
        del lines[len(lines) // 2]
        rc, out, err = self.run_checked([parts[0], b"\n".join(lines),
                                         parts[2]])
        self.assertEqual((rc, err),
                         (1, b"quillon: size error in part 2 of size.bin\n"))
        self.assertEqual(self.read("size.bin")[4000:], data[4000:])

    def test_whole_file_crc_only_in_the_last_part(self):
        data = random_bytes(6000, 23)
        parts = ypost(data, "whole.bin", parts=3)
        self.assertEqual([b" crc32=" in p for p in parts],
                         [False, False, True])
        wrong = "%08x" % (zlib.crc32(data) ^ 1)
        last = set_keyword(parts[2], b"=yend", b"crc32", wrong.encode())
        rc, out, err = self.run_checked([last, parts[0], parts[1]])
        self.assertEqual((rc, err),
                         (1, b"quillon: CRC error in whole.bin\n"))
        self.assertBytes("whole.bin", data)

    def test_whole_file_crc_in_every_part(self):
        data = random_bytes(6000, 24)
        crc = zlib.crc32(data)
        pieces = [(1, data[:2000]), (2001, data[2000:4000]),
                  (4001, data[4000:])]
        parts = [yenc.encode_yenc(d, "each.bin", size=6000, part=n,
                                  total=3, begin=b, file_crc=crc)
                 for n, (b, d) in enumerate(pieces, 1)]
        texts = [article('"each.bin" yEnc (%d/3)' % n, p)
                 for n, p in enumerate(parts, 1)]
        rc, out, err = self.quillon(*self.spool(texts, "first"))
        self.assertEqual((rc, err), (0, b""))
        self.assertBytes("each.bin", data)
        # A wrong crc32= in a middle part is found as well.
        texts[1] = set_keyword(texts[1], b"=yend", b"crc32",
                               b"%08x" % (crc ^ 0x100))
        rc, out, err = self.run_checked(texts)
        self.assertEqual((rc, err), (1, b"quillon: CRC error in each.bin\n"))

    def test_single_part_with_a_wrong_crc(self):
        data = random_bytes(3000, 25)
        text = ypost(data, "one.bin", parts=1)[0]
        bad = set_keyword(text, b"=yend", b"crc32",
                          b"%08x" % (zlib.crc32(data) ^ 4))
        rc, out, err = self.run_checked([bad])
        self.assertEqual(rc, 1)
        self.assertIn(err, (b"quillon: CRC error in one.bin\n",
                            b"quillon: CRC error in part 1 of one.bin\n"))
        self.assertBytes("one.bin", data)


# Encoded characters that may follow an "=": all but the line ends and NUL,
# which can stand in no line.
ESCAPABLE = [c for c in range(256) if (c + 64) & 0xFF not in (0, 0x0A, 0x0D)]


def leading_zero_piece(data, nibbles=2):
    """`data` with its last bytes changed so that its CRC-32 begins with
    `nibbles` zero hex digits."""
    base = bytearray(data)
    for k in range(1 << 24):
        base[-3:] = k.to_bytes(3, "little")
        if zlib.crc32(bytes(base)) >> (32 - 4 * nibbles) == 0:
            return bytes(base)
    raise AssertionError("no such CRC")


class Encodings(YencTest):

    def decode_posting(self, texts, name, data):
        rc, out, err = self.quillon(*self.spool(texts, name + ".in"))
        self.assertEqual((rc, err), (0, b""), out)
        self.assertBytes(name, data)

    def test_every_critical_byte_at_every_line_position(self):
        # A block of a critical byte after 0 .. L-1 others: the escape lands
        # at every position of a line, also first and last.
        size = 16
        critical = [(c - 42) & 0xFF for c in (0x00, 0x0A, 0x0D, 0x3D, 0x09,
                                              0x20, 0x2E)]
        data = b"".join(b"\x37" * p + bytes([b]) + b"\x37" * (size - 1 - p)
                        for b in critical for p in range(size))
        data += b"".join(bytes([b]) * 40 for b in critical) + bytes(range(256))
        for line_size in (size, size + 1, 128):
            with self.subTest(line_size=line_size):
                texts = ypost(data, "esc%d.bin" % line_size, parts=2,
                              line_size=line_size)
                self.decode_posting(texts, "esc%d.bin" % line_size, data)

    def test_hand_made_escapes_of_any_byte(self):
        # Lines of 12 characters with one escape at every position, nearly
        # every byte escaped once (where the encoders escape only a few), and
        # lines that are nothing but escapes.
        width = 12
        lines, data = [], bytearray()
        plain = ord("a")
        for c in list(yenc.CRITICAL) + [0x09, 0x20, 0x2E, 0x79, 0xFF]:
            for p in range(width):
                lines.append(bytes([plain] * p) + b"=" + bytes(
                    [(c + 64) & 0xFF]) + bytes([plain] * (width - 1 - p)))
                data += bytes([plain - 42] * p + [(c - 42) & 0xFF] +
                              [plain - 42] * (width - 1 - p))
        for c in ESCAPABLE:
            lines.append(b"a=" + bytes([(c + 64) & 0xFF]) + b"a")
            data += bytes([plain - 42, (c - 42) & 0xFF, plain - 42])
        lines.append(b"=@=J=M=}" * 4)
        data += bytes([0xD6, 0xE0, 0xE3, 0x13] * 4)
        texts, whole = hand_lines(lines, bytes(data), "any.bin")
        self.decode_posting(texts, "any.bin", whole)

    def test_line_ending_in_an_escape_character(self):
        # The "=" that ends a line escapes nothing and is dropped; the next
        # line starts afresh. (sabyenc reads "=" CR LF as an escaped CR, so
        # it is no peer for this case.)
        lines = [b"abcdef=", b"ghijkl", b"=", b"mn=}o="]
        data = bytes(c - 42 for c in b"abcdefghijklmn") + b"\x13" + bytes(
            [ord("o") - 42])
        texts, whole = hand_lines(lines, data, "end.bin")
        self.decode_posting(texts, "end.bin", whole)

    def test_cr_lf_and_lf_articles(self):
        data = random_bytes(8000, 31)
        crlf = ypost(data, "crlf.bin", parts=3, crlf=True)
        lf = ypost(data, "crlf.bin", parts=3)
        self.assertIn(b"\r\n=yend ", crlf[0])
        self.decode_posting(crlf, "crlf.bin", data)
        os.remove(self.path("crlf.bin"))
        self.decode_posting([crlf[0], lf[1], crlf[2]], "crlf.bin", data)
        # Hand-made CR LF lines, with a CR LF after an ending "=".
        texts, whole = hand_lines([b"abc=", b"def"], bytes(
            c - 42 for c in b"abcdef"), "hand.bin")
        texts = [t.replace(b"\n", b"\r\n") for t in texts]
        self.decode_posting(texts, "hand.bin", whole)

    def test_upper_case_and_short_hex(self):
        one = leading_zero_piece(random_bytes(2000, 32), 3)
        two = random_bytes(2000, 33)
        data = leading_zero_piece(one + two, 2)
        one, two = data[:2000], data[2000:]
        self.assertLess(zlib.crc32(one), 1 << 24)
        self.assertLess(zlib.crc32(data), 1 << 24)
        for upper, short in ((True, False), (False, True), (True, True)):
            with self.subTest(upper=upper, short=short):
                texts = hand_posting([(1, one), (2001, two)], "hex.bin", 4000,
                                     file_crc=zlib.crc32(data), upper=upper,
                                     short=short)
                if short:
                    self.assertIn(b" pcrc32=%x\n" % zlib.crc32(one),
                                  texts[0].lower())
                if upper:
                    self.assertRegex(texts[1], rb"crc32=[0-9A-F]*[A-F]")
                self.decode_posting(texts, "hex.bin", data)
                os.remove(self.path("hex.bin"))

    def test_unescaped_dots_and_edges(self):
        # Encoders that escape only the four critical bytes: a line may
        # begin with "." and begin or end with TAB or SPACE.
        data = bytes([0x2E - 42, (0x09 - 42) & 0xFF, (0x20 - 42) & 0xFF]) * 300
        texts = hand_posting([(1, data[:450]), (451, data[450:])], "dot.bin",
                             len(data), file_crc=zlib.crc32(data),
                             line_size=3, escape_dots=False,
                             escape_edges=False)
        self.assertIn(b"\n.\t \n", texts[0])
        self.decode_posting(texts, "dot.bin", data)


class OutputNames(YencTest):

    def test_dest_and_dir(self):
        data = random_bytes(3000, 40)
        texts = ypost(data, "sub/inner.bin", parts=2)
        files = self.spool(texts)
        os.makedirs(self.path("out", "sub"))
        rc, out, err = self.quillon("-dest", "out", *files)
        self.assertEqual((rc, err), (0, b""))
        self.assertIn(b"yDecoding inner.bin\n", out)
        self.assertBytes("out/inner.bin", data)
        rc, out, err = self.quillon("-dir", "-dest", "out", *files)
        self.assertEqual((rc, err), (0, b""))
        self.assertIn(b"yDecoding sub/inner.bin\n", out)
        self.assertBytes("out/sub/inner.bin", data)

    def test_dir_refuses_absolute_names_and_dotdot(self):
        os.mkdir(self.path("out"))
        evil = ypost(b"evil" * 100, "../evil.bin", parts=2, poster="e@e")
        absolute = ypost(b"abs" * 100, self.path("abs.bin"), parts=1,
                         poster="a@a")
        ok = ypost(b"fine" * 100, "ok.bin", parts=1)
        files = self.spool(evil + absolute + ok)
        rc, out, err = self.quillon("-dir", "-delete", "-dest", "out", *files)
        self.assertEqual(rc, 1)
        self.assertEqual(err, b"quillon: unable to create out/../evil.bin\n"
                         b"quillon: unable to create out/" +
                         self.path("abs.bin").encode() + b"\n")
        self.assertFalse(os.path.exists(self.path("evil.bin")))
        self.assertFalse(os.path.exists(self.path("abs.bin")))
        self.assertBytes("out/ok.bin", b"fine" * 100)
        self.assertEqual(self.left(), {"1", "2", "3"})
        # Without -dir only the last component counts.
        rc, out, err = self.quillon("-dest", "out", *files[:3])
        self.assertEqual((rc, err), (0, b""))
        self.assertBytes("out/evil.bin", b"evil" * 100)
        self.assertBytes("out/abs.bin", b"abs" * 100)

    def test_dos_names(self):
        a = random_bytes(3000, 41)
        b = random_bytes(2000, 42)
        texts = (ypost(a, "pictures_a_1.jpg", parts=2) +
                 ypost(b, "pictures_b_1.jpg", parts=1, poster="b@b"))
        rc, out, err = self.quillon("-dos", *self.spool(texts))
        self.assertEqual((rc, err), (0, b""))
        self.assertIn(b"yDecoding pictur_1.jpg\nyDecoding pictur01.jpg\n", out)
        self.assertBytes("pictur_1.jpg", a)
        self.assertBytes("pictur01.jpg", b)
        # Two posters, one name: the second file gets the numbered form.
        texts = (ypost(a, "holiday.zip", parts=2, poster="a@a") +
                 ypost(b, "holiday.zip", parts=2, poster="b@b"))
        rc, out, err = self.quillon("-dos", *self.spool(texts, "same"))
        self.assertEqual((rc, err), (0, b""))
        self.assertIn(b"yDecoding holiday.zip\nyDecoding holida01.zip\n", out)
        self.assertBytes("holiday.zip", a)
        self.assertBytes("holida01.zip", b)

    def run_with_umask(self, mask, *args):
        done = subprocess.run(command(QUILLON, args), cwd=self.dir,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              preexec_fn=lambda: os.umask(mask), timeout=120,
                              env={k: v for k, v in os.environ.items()
                                   if k != "QUILLONLOG"})
        self.assertEqual((done.returncode, done.stderr), (0, b""))

    def test_mode_and_umask(self):
        data = random_bytes(2000, 43)
        files = self.spool(ypost(data, "mode.bin", parts=2))
        for mask, args, mode in ((0o022, [], 0o644), (0o027, [], 0o640),
                                 (0, [], 0o666), (0o022, ["-mode", "600"],
                                                  0o600)):
            with self.subTest(umask=oct(mask), args=args):
                if os.path.exists(self.path("mode.bin")):
                    os.remove(self.path("mode.bin"))
                self.run_with_umask(mask, *args, *files)
                self.assertBytes("mode.bin", data)
                self.assertEqual(os.stat(self.path("mode.bin")).st_mode
                                 & 0o777, mode)

    def test_existing_file_is_kept(self):
        data = random_bytes(2000, 44)
        mine = random_bytes(5000, 45)
        self.write("over.bin", mine)
        rc, out, err = self.quillon(*self.spool(ypost(data, "over.bin")))
        self.assertEqual((rc, err), (0, b""))
        self.assertIn(b"yDecoding over.bin.1\n", out)
        self.assertEqual(self.read("over.bin"), mine)
        self.assertBytes("over.bin.1", data)

    def test_symbolic_link_at_the_output_name_is_not_followed(self):
        os.mkdir(self.path("out"))
        self.write("target", b"keep")
        os.symlink("../target", self.path("out", "link.bin"))
        os.symlink("../nothing", self.path("out", "dangling.bin"))
        datas = [random_bytes(3000, 47), random_bytes(900, 48),
                 random_bytes(3000, 46)]
        texts = (ypost(datas[0], "link.bin", parts=2) +
                 ypost(datas[1], "dangling.bin", parts=1, poster="d@d") +
                 ypost(datas[2], "ok.bin", parts=2, poster="o@o"))
        rc, _, err = self.quillon("-delete", "-dest", "out",
                                  *self.spool(texts))
        # A link at the name is passed over like any file there.
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(self.read("target"), b"keep")
        self.assertFalse(os.path.lexists(self.path("nothing")))
        self.assertEqual(os.readlink(self.path("out", "link.bin")),
                         "../target")
        self.assertEqual(os.readlink(self.path("out", "dangling.bin")),
                         "../nothing")
        for name, data in zip(["link.bin.1", "dangling.bin.1", "ok.bin"],
                              datas):
            self.assertBytes("out/" + name, data)
        self.assertEqual(self.left(), set())


class Runs(YencTest):

    def test_errors_file_receives_an_incomplete_posting(self):
        parts = ypost(random_bytes(6000, 50), "half.bin", parts=3)
        read = [parts[2], parts[0]]
        files = self.spool(read)
        rc, out, err = self.quillon("-errors", "errs", *files)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(self.read("errs"), b"".join(read))
        self.assertEqual(self.left(), {"1", "2"})
        # With -errors the segments count as processed: -delete takes them.
        os.remove(self.path("errs"))
        rc, out, err = self.quillon("-errors", "errs", "-delete", *files)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(self.read("errs"), b"".join(read))
        self.assertEqual(self.left(), set())
        self.assertFalse(os.path.exists(self.path("half.bin")))

    def test_extended_batch_with_two_parts_in_one_file(self):
        data = random_bytes(6000, 51)
        uu = random_bytes(3000, 52)
        parts = ypost(data, "batch.bin", parts=3)
        u = posting(uu, "uu.bin", 2, poster="u@u")
        self.write("batch1", parts[2] + u[0] + parts[0])
        self.write("batch2", u[1] + parts[1])
        rc, out, err = self.quillon("-extended", "-delete", "batch1",
                                    "batch2")
        self.assertEqual((rc, err), (0, b""))
        read = [parts[2], u[0], parts[0], u[1], parts[1]]
        self.assertEqual(out, self.expected(read, complete=2, uu=["uu.bin"],
                                            y=["batch.bin"]))
        self.assertBytes("batch.bin", data)
        self.assertBytes("uu.bin", uu)
        self.assertFalse(os.path.exists(self.path("batch1")))
        self.assertFalse(os.path.exists(self.path("batch2")))
        # A batch that also holds a part of an incomplete posting stays.
        half = ypost(random_bytes(5000, 53), "half.bin", parts=2,
                     poster="h@h")
        self.write("batch3", parts[0] + half[0] + parts[1] + parts[2])
        rc, out, err = self.quillon("-extended", "-delete", "batch3")
        self.assertEqual((rc, err), (0, b""))
        self.assertIn(b"\nFound 4 uuencoded file segments.\n", out)
        self.assertBytes("batch.bin", data)
        self.assertTrue(os.path.exists(self.path("batch3")))

    def test_log_then_a_rerun_decodes_nothing_new(self):
        data = random_bytes(5000, 53)
        log = self.path("newslog")
        env = {"QUILLONLOG": log}
        os.mkdir(self.path("spool"))
        self.assertEqual(self.quillon("-log", self.path("spool"),
                                      env=env)[0], 0)
        files = self.spool(ypost(data, "logged.bin", parts=3, emit=[2, 3, 1]))
        rc, out, err = self.quillon(*files, env=env)
        self.assertEqual((rc, err), (0, b""))
        self.assertBytes("logged.bin", data)
        self.assertEqual(self.logged(log), {"1", "2", "3"})
        os.remove(self.path("logged.bin"))
        rc, out, err = self.quillon(*files, env=env)
        self.assertEqual((rc, err), (2, b""))
        self.assertIn(b"\nFound 0 uuencoded file segments.\n", out)
        self.assertNotIn(b"yDecoding", out)
        self.assertFalse(os.path.exists(self.path("logged.bin")))

    def test_summary_counts_both_encodings(self):
        texts = (posting(random_bytes(3000, 54), "u1.bin", 2, poster="a@a") +
                 posting(random_bytes(300, 55), "u2.bin", 1, poster="b@b") +
                 posting(random_bytes(6000, 56), "u3.bin", 3,
                         poster="c@c")[:2])
        y1 = ypost(random_bytes(4000, 57), "y1.bin", parts=2, poster="d@d")
        y2 = ypost(random_bytes(400, 58), "y2.bin", parts=1, poster="e@e")
        y3 = ypost(random_bytes(4000, 59), "y3.bin", parts=3, poster="f@f")
        read = [y3[0], texts[0], y1[1], texts[1], y2[0], texts[2], texts[3],
                y1[0], y3[2]]
        rc, out, err = self.quillon(*self.spool(read))
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, self.expected(
            read, complete=4, captions=[texts[3], y3[0], y3[2]],
            uu=["u1.bin", "u2.bin"], y=["y1.bin", "y2.bin"]))

    def test_all_yenc_spool_is_no_longer_empty(self):
        texts = ypost(random_bytes(400, 60), "only.bin", parts=1)
        rc, out, _ = self.quillon(*self.spool(texts))
        self.assertEqual(rc, 0)
        self.assertIn(b"\nFound 1 uuencoded file segments.\n", out)


class SabyencAgrees(YencTest):
    """python3-sabyenc decodes the articles these tests give quillon to the
    bytes quillon writes."""

    def setUp(self):
        yenc.require_sabyenc()
        super().setUp()

    def check(self, texts, name):
        rc, out, err = self.quillon(*self.spool(texts, name + ".in"))
        self.assertEqual((rc, err), (0, b""))
        written = self.read(name)
        for text, (got, _, crc_ok, error) in zip(texts,
                                                 yenc.sabyenc_decode(texts)):
            self.assertIsNone(error)
            self.assertTrue(crc_ok)
            begin = re.search(rb"\n=ypart begin=(\d+)", text)
            at = int(begin.group(1)) - 1 if begin else 0
            self.assertEqual(written[at:at + len(got)], got)

    def test_encoders_output(self):
        data = random_bytes(20000, 70)
        self.check(ypost(data, "saby.bin", parts=4, emit=[4, 2, 1, 3]),
                   "saby.bin")
        self.check(ypost(data, "crlf.bin", parts=2, crlf=True), "crlf.bin")

    def test_hand_made_shapes(self):
        one = leading_zero_piece(random_bytes(2000, 71), 3)
        two = random_bytes(2000, 72)
        # sabyenc refuses CRCs of fewer than 8 digits, so no short ones here.
        texts = hand_posting([(1, one), (2001, two)], "shape.bin", 4000,
                             file_crc=zlib.crc32(one + two), upper=True,
                             escape_all=(0x09,), line_size=61)
        self.check(texts, "shape.bin")
        width_lines = [b"a=" + bytes([(c + 64) & 0xFF]) + b"a"
                       for c in ESCAPABLE]
        data = b"".join(bytes([0x37, (c - 42) & 0xFF, 0x37])
                        for c in ESCAPABLE)
        self.check(hand_lines(width_lines, data, "any.bin")[0], "any.bin")


if __name__ == "__main__":
    unittest.main()
