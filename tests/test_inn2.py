"""The main job against a real news server: uuencoded and yEnc postings go
into an INN tradspool through inews and rnews, and quillon decodes the
article files the server wrote, read in shell glob order, once with the
spool in native format and once in wire format."""

import email.utils
import os
import shutil
import unittest
import zlib

import yenc
from inn_server import missing_reason, started_server
from quillon_e2e import QuillonTest, sharutils_uuencode
from spool import random_bytes

PICTURES = "alt.binaries.pictures.quillon"
SOUNDS = "alt.binaries.sounds.quillon"
MISC = "alt.binaries.misc.quillon"
YENC = "alt.binaries.yenc.quillon"

ANN = "ann@pictures.example (Ann Example)"
BOB = "Bob <bob@beach.example>"
CAROL = "carol@lost.example"
DAVE = "dave@talk.example (Dave)"
ERIN = "Erin <erin@late.example>"
GINA = "gina@tunes.example"
HUGO = "Hugo <hugo@harbor.example>"
IRIS = "iris@piers.example (Iris)"

# Sizes of 45 * k + 14 bytes end in a data line of 14 bytes, whose length
# character is "."; a wire-format spool stores that line with a second dot.
SUNSET = random_bytes(45 * 40 + 14, 11)
BEACH = random_bytes(45 * 66 + 14, 12)
RIVER = random_bytes(45 * 50 + 30, 13)
LOST = random_bytes(45 * 45 + 14, 14)
LATE = random_bytes(45 * 30 + 14, 15)
TUNE = random_bytes(45 * 35 + 14, 16)
HARBOR = random_bytes(45 * 48 + 14, 17)
PIER = random_bytes(45 * 20 + 7, 18)

HOLIDAY = random_bytes(12000, 21)
CANAL = random_bytes(9000, 22)
ISLAND = random_bytes(9000, 23)
NOTES = random_bytes(2500, 24)
# Every other byte encodes to ".": lines that begin with a dot, which the
# wire format stores with a second one.
DOTS = bytes(4 if i % 2 == 0 else b
             for i, b in enumerate(random_bytes(6000, 25)))


def cut(data, name, parts):
    """The system uuencode's text of `data`, cut into `parts` bodies."""
    lines = sharutils_uuencode(data, name).splitlines(keepends=True)
    begin, rest = lines[0], lines[1:]
    per = -(-len(rest) // parts)
    chunks = [rest[i * per:(i + 1) * per] for i in range(parts)]
    for chunk in chunks:
        assert sum(1 for l in chunk if l.startswith(b"M")) >= 3
    chunks[0].insert(0, begin)
    return [b"".join(chunk) for chunk in chunks]


def part_body(name, part, total, text):
    return (b"This is part %d of %d of %s, posted with a news reader.\n\n"
            % (part, total, name.encode())) + text + b"-- \nenjoy\n"


def binary_parts(data, name, parts):
    """Bodies of a posting, in part order."""
    return [part_body(name, i + 1, parts, text)
            for i, text in enumerate(cut(data, name, parts))]


def damage(body):
    """The body with one data line of its middle lost."""
    lines = body.splitlines(keepends=True)
    data = [i for i, l in enumerate(lines) if l.startswith(b"M")]
    del lines[data[len(data) // 2]]
    return b"".join(lines)


def followup_body(name):
    return (b"Thanks for posting %s!\n\n> This is part 1\n\n...is there more"
            b" of this series?\nDave\n" % name.encode())


def inews_article(poster, group, subject, body):
    """A locally posted article: the server adds Path, Date, Message-ID and
    the folded Injection-Info."""
    head = "From: %s\nNewsgroups: %s\nSubject: %s\n\n" % (poster, group,
                                                           subject)
    return head.encode() + body


def fed_article(poster, group, subject, body, number):
    """An article as an upstream server passes it on, with a long header
    folded in the middle of its header block."""
    host = poster.split("@")[1].split(">")[0].split(" ")[0]
    head = [
        "Path: feeder.example.net!news.%s!not-for-mail" % host,
        "From: %s" % poster,
        "Newsgroups: %s" % group,
        "Subject: %s" % subject,
        "Date: %s" % email.utils.formatdate(usegmt=True),
        "Organization: Example Upstream",
        "Message-ID: <batch.%d@%s>" % (number, host),
        "Injection-Info: news.%s; posting-host=\"client.%s\";" % (host, host),
        "\tlogging-data=\"%d\"; mail-complaints-to=\"abuse@%s\"" % (
            number, host),
        "Injection-Date: %s" % email.utils.formatdate(usegmt=True),
        "X-Newsreader: Example Reader 1.0",
    ]
    return ("\n".join(head) + "\n\n").encode() + body


def glob_order(directory):
    """The article files of a group directory as `directory/*` lists them."""
    return [os.path.join(directory, name) for name in sorted(os.listdir(
        directory)) if os.path.isfile(os.path.join(directory, name))]


class Article:
    def __init__(self, posting, text):
        self.posting = posting  # the output file it belongs to, or None
        self.text = text
        self.number = None


def pictures_postings():
    """The postings of the pictures group in posting order, and the late
    part that arrives after the first run. Several posters, parts out of
    order, a damaged part and its repost posted later (so that the repost
    gets a two-digit number and the glob lists it before the damaged copy),
    an exact duplicate, a posting with a part missing and text followups."""
    sunset = binary_parts(SUNSET, "sunset.jpg", 3)
    beach = binary_parts(BEACH, "beach.bin", 4)
    river = binary_parts(RIVER, "river.bin", 3)
    lost = binary_parts(LOST, "lost.bin", 3)
    late = binary_parts(LATE, "late.bin", 2)

    def post(name, who, subject, body):
        return Article(name, inews_article(who, PICTURES, subject, body))

    def text(who, subject, body):
        return Article(None, inews_article(who, PICTURES, subject, body))

    articles = [
        post("sunset.jpg", ANN, "sunset.jpg (3/3)", sunset[2]),       # 1
        post("sunset.jpg", ANN, "sunset.jpg (1/3)", sunset[0]),       # 2
        post("beach.bin", BOB, "beach.bin (2/4)", beach[1]),          # 3
        post("river.bin", ANN, "river.bin (2/3)", damage(river[1])),  # 4
        text(DAVE, "Re: sunset.jpg (1/3)", followup_body("sunset")),  # 5
        post("sunset.jpg", ANN, "sunset.jpg (2/3)", sunset[1]),       # 6
        post("beach.bin", BOB, "beach.bin (1/4)", beach[0]),          # 7
        post(None, CAROL, "[1/3] lost.bin", lost[0]),                 # 8
        post("river.bin", ANN, "river.bin (1/3)", river[0]),          # 9
        post("beach.bin", BOB, "beach.bin (4/4)", beach[3]),          # 10
        post("river.bin", ANN, "river.bin (3/3)", river[2]),          # 11
        post(None, CAROL, "[3/3] lost.bin", lost[2]),                 # 12
        post("beach.bin", BOB, "beach.bin (3/4)", beach[2]),          # 13
        post("river.bin", ANN, "river.bin (2/3) REPOST", river[1]),   # 14
        post("beach.bin", BOB, "beach.bin (3/4)", beach[2]),          # 15
        text(DAVE, "Re: beach.bin (3/4)", followup_body("beach")),    # 16
        post(None, ERIN, "late.bin (1/2)", late[0]),                  # 17
    ]
    late_part = post("late.bin", ERIN, "late.bin (2/2)", late[1])     # 18
    return articles, late_part


def sounds_postings():
    tune = binary_parts(TUNE, "tune.bin", 2)
    return [
        Article("tune.bin", inews_article(GINA, SOUNDS, "tune.bin (2/2)",
                                          tune[1])),
        Article(None, inews_article(DAVE, SOUNDS, "Re: tune.bin (2/2)",
                                    followup_body("tune"))),
        Article("tune.bin", inews_article(GINA, SOUNDS, "tune.bin (1/2)",
                                          tune[0])),
    ]


def batch_articles():
    """The articles of the rnews batch: text followups stand between the
    parts, so each part follows an article that has a subject and no data."""
    harbor = binary_parts(HARBOR, "harbor.bin", 3)
    pier = binary_parts(PIER, "pier.bin", 2)
    texts = [
        (HUGO, "harbor.bin (2/3)", harbor[1]),
        (DAVE, "Re: harbor.bin (1/3)", followup_body("harbor")),
        (HUGO, "harbor.bin (1/3)", harbor[0]),
        (IRIS, "pier.bin (1/2)", pier[0]),
        (DAVE, "Re: pier.bin (1/2)", followup_body("pier")),
        (HUGO, "harbor.bin (3/3)", harbor[2]),
        (DAVE, "Re: harbor.bin (3/3)", followup_body("harbor")),
        (IRIS, "pier.bin (2/2)", pier[1]),
    ]
    return [fed_article(who, MISC, subject, body, n)
            for n, (who, subject, body) in enumerate(texts, 1)]


def yenc_bodies(data, name, parts, emit=None):
    """The bodies of a yEnc posting, one per part in `emit`, from yencode's
    post and multi_post where it is installed, else the tests' encoder."""
    texts = yenc.yenc_articles(data, name, parts=parts, emit=emit,
                               fallback=True)
    return [t.split(b"\n\n", 1)[1] for t in texts]


def dot_bodies(data, name, parts):
    """yEnc bodies of an encoder that does not escape a leading "."."""
    step = -(-len(data) // parts)
    out = []
    for i in range(parts):
        piece = data[i * step:(i + 1) * step]
        out.append(yenc.encode_yenc(
            piece, name, size=len(data), part=i + 1, total=parts,
            begin=i * step + 1, line_size=64, escape_dots=False,
            file_crc=zlib.crc32(data) if i == parts - 1 else None))
    return out


def yenc_postings():
    """The yEnc postings in posting order: several posters, parts out of
    order, a duplicated part, a damaged part and its repost, a posting
    with a part missing, a single part, names with blanks, data lines that
    begin with "." and a text followup."""
    holiday = yenc_bodies(HOLIDAY, "summer holiday.zip", 4)
    canal = yenc_bodies(CANAL, "canal.bin", 3)
    island = yenc_bodies(ISLAND, "island.bin", 3)
    notes = yenc_bodies(NOTES, "my notes.txt", 1)
    dots = dot_bodies(DOTS, "dots.bin", 2)

    def post(name, who, subject, body):
        return Article(name, inews_article(who, YENC, subject, body))

    holiday_subject = '[1/1] - "summer holiday.zip" yEnc (%d/4) 12000'
    return [
        post("summer holiday.zip", ANN, holiday_subject % 3, holiday[2]),
        post("canal.bin", BOB, '"canal.bin" yEnc (2/3)',
             yenc.damage(canal[1])),
        post("summer holiday.zip", ANN, holiday_subject % 1, holiday[0]),
        post("canal.bin", BOB, '"canal.bin" yEnc (1/3)', canal[0]),
        post(None, CAROL, "island.bin (1/3)", island[0]),
        post("summer holiday.zip", ANN, holiday_subject % 4, holiday[3]),
        post("dots.bin", ERIN, "dots.bin (2/2)", dots[1]),
        Article(None, inews_article(DAVE, YENC, "Re: canal.bin (2/3)",
                                    followup_body("canal"))),
        post("canal.bin", BOB, '"canal.bin" yEnc (3/3)', canal[2]),
        post("summer holiday.zip", ANN, holiday_subject % 2, holiday[1]),
        post("my notes.txt", GINA, '"my notes.txt" yEnc (1/1)', notes[0]),
        post(None, CAROL, "island.bin (3/3)", island[2]),
        post("summer holiday.zip", ANN, holiday_subject % 2, holiday[1]),
        post("dots.bin", ERIN, "dots.bin (1/2)", dots[0]),
        post("canal.bin", BOB, 'REPOST "canal.bin" yEnc (2/3)', canal[1]),
    ]


def rnews_batch(articles):
    return b"".join(b"#! rnews %d\n" % len(a) + a for a in articles)


class InnSpool(QuillonTest):
    """Runs with a spool in the format given by WIREFORMAT."""

    WIREFORMAT = None
    PICTURES_DONE = {"sunset.jpg": SUNSET, "beach.bin": BEACH,
                     "river.bin": RIVER}

    def setUp(self):
        reason = missing_reason()
        if reason:
            self.skipTest(reason)
        super().setUp()
        self.server = started_server(self, self.WIREFORMAT)
        for group in (PICTURES, SOUNDS, MISC, YENC):
            self.server.newgroup(group)

    def post_all(self, group, articles):
        for article in articles:
            self.server.post(article.text)
        self.server.sync()
        self.number(group, articles)

    def number(self, group, articles, first=1):
        """Gives each article its number in the group, and makes sure the
        server stored them in posting order, as the tests assume."""
        for number, article in enumerate(articles, first):
            path = os.path.join(self.server.group_dir(group), str(number))
            with open(path, "rb") as f:
                stored = f.read()
            subject = article.text.split(b"\nSubject: ")[1].split(b"\n")[0]
            self.assertIn(b"\nSubject: " + subject + self.eol(), stored,
                          "article %d of %s" % (number, group))
            article.number = number

    def eol(self):
        return b"\r\n" if self.WIREFORMAT else b"\n"

    def decode(self, dest, files, *options, env=None):
        os.makedirs(self.path(dest), exist_ok=True)
        rc, out, err = self.quillon("-dest", self.path(dest), *options,
                                    *files, env=env)
        self.assertEqual(rc, 0, out + err)
        self.assertEqual(err, b"")
        return out

    def assertDecoded(self, dest, expected, out):
        """Exactly the complete postings were written, byte for byte."""
        self.assertEqual(sorted(os.listdir(self.path(dest))),
                         sorted(expected), out.decode(errors="replace"))
        for name, data in expected.items():
            got = self.read(dest, name)
            if got != data:
                at = next((i for i, (g, d) in enumerate(zip(got, data))
                           if g != d), min(len(got), len(data)))
                self.fail("%s: %d bytes, not %d; first difference at byte "
                          "%d\n%s" % (name, len(got), len(data), at,
                                       out.decode(errors="replace")))

    def test_spool(self):
        if shutil.which("uuencode") is None:
            self.skipTest("uuencode (sharutils) is not installed")
        pictures, late = pictures_postings()
        self.post_all(PICTURES, pictures)
        sounds = sounds_postings()
        self.post_all(SOUNDS, sounds)
        batch = rnews_batch(batch_articles())
        self.write("misc.batch", batch)
        self.server.rnews(batch)
        self.server.sync()

        pictures_dir = self.server.group_dir(PICTURES)
        self.check_stored(pictures_dir)
        glob = glob_order(pictures_dir)
        self.assertLess(glob.index(os.path.join(pictures_dir, "14")),
                        glob.index(os.path.join(pictures_dir, "4")))

        # The decoded articles, with the damaged copy that the repost
        # replaces and the older copy of the duplicate: every article of a
        # complete posting. The text followups, the parts of the posting
        # with a part missing and the late posting's first part stay.
        done = {a.number for a in pictures if a.posting in self.PICTURES_DONE}
        with self.subTest("pictures, glob order, with the log"):
            log = self.path("quillon.log")
            env = {"QUILLONLOG": log}
            self.assertEqual(self.quillon("-log", pictures_dir, env=env)[0], 0)
            out = self.decode("run1", glob, env=env)
            self.assertDecoded("run1", self.PICTURES_DONE, out)
            self.assertEqual(self.logged(log, pictures_dir), done)

        with self.subTest("pictures, -delete on a copy"):
            copy = self.path("copy", *PICTURES.split("."))
            shutil.copytree(pictures_dir, copy)
            out = self.decode("deleted", glob_order(copy), "-delete")
            self.assertDecoded("deleted", self.PICTURES_DONE, out)
            left = {int(name) for name in os.listdir(copy)}
            self.assertEqual(left, {a.number for a in pictures} - done)

        with self.subTest("pictures, again with the log after a late part"):
            self.server.post(late.text)
            self.server.sync()
            self.number(PICTURES, [late], len(pictures) + 1)
            out = self.decode("run2", glob_order(pictures_dir), env=env)
            self.assertDecoded("run2", {"late.bin": LATE}, out)
            late_numbers = {a.number for a in pictures + [late]
                            if a.text.find(b"Subject: late.bin") >= 0}
            self.assertEqual(self.logged(log, pictures_dir),
                             done | late_numbers)

        with self.subTest("sounds, glob order"):
            out = self.decode("sounds",
                              glob_order(self.server.group_dir(SOUNDS)))
            self.assertDecoded("sounds", {"tune.bin": TUNE}, out)

        expected = {"harbor.bin": HARBOR, "pier.bin": PIER}
        with self.subTest("misc, the rnews batch with -extended"):
            out = self.decode("batch", [self.path("misc.batch")],
                              "-extended")
            self.assertDecoded("batch", expected, out)

        with self.subTest("misc, the articles rnews stored, glob order"):
            out = self.decode("misc", glob_order(self.server.group_dir(MISC)))
            self.assertDecoded("misc", expected, out)

    def test_yenc_spool(self):
        articles = yenc_postings()
        self.post_all(YENC, articles)
        directory = self.server.group_dir(YENC)
        with open(os.path.join(directory, "7"), "rb") as f:
            dots = f.read()
        if self.WIREFORMAT:
            self.assertGreater(dots.count(b"\r\n.."), 10)
            self.assertTrue(dots.endswith(b"\r\n.\r\n"))
        else:
            self.assertGreater(dots.count(b"\n."), 10)
            self.assertNotIn(b"\r", dots)
        expected = {"summer holiday.zip": HOLIDAY, "canal.bin": CANAL,
                    "my notes.txt": NOTES, "dots.bin": DOTS}
        done = {a.number for a in articles if a.posting in expected}
        glob = glob_order(directory)
        self.assertLess(glob.index(os.path.join(directory, "15")),
                        glob.index(os.path.join(directory, "2")))

        with self.subTest("yEnc, glob order, with the log"):
            log = self.path("quillon.log")
            env = {"QUILLONLOG": log}
            self.assertEqual(self.quillon("-log", directory, env=env)[0], 0)
            out = self.decode("run1", glob, env=env)
            self.assertDecoded("run1", expected, out)
            # Article 12 comes before 5 in the glob; a caption keeps the
            # subject's CR.
            cr = b"\r" if self.WIREFORMAT else b""
            self.assertIn(b"\nCaptions for (file) segments not decoded:\n"
                          b"ISLAND.BIN (3/3)%s\nISLAND.BIN (1/3)%s\n\n"
                          % (cr, cr), out)
            self.assertEqual(self.logged(log, directory), done)
            rc, out, err = self.quillon("-dest", self.path("run1"), *glob,
                                        env=env)
            self.assertEqual((rc, err), (0, b""))
            self.assertNotIn(b"yDecoding", out)
            self.assertIn(b"\nFound 2 uuencoded file segments.\n", out)

        with self.subTest("yEnc, -delete on a copy"):
            copy = self.path("copy", *YENC.split("."))
            shutil.copytree(directory, copy)
            out = self.decode("deleted", glob_order(copy), "-delete")
            self.assertDecoded("deleted", expected, out)
            left = {int(name) for name in os.listdir(copy)}
            self.assertEqual(left, {a.number for a in articles} - done)

    def check_stored(self, directory):
        """The spool holds the articles in the format asked for."""
        with open(os.path.join(directory, "10"), "rb") as f:
            beach_end = f.read()
        if self.WIREFORMAT:
            self.assertTrue(beach_end.endswith(b"\r\nenjoy\r\n.\r\n"))
            self.assertIn(b"\r\n..", beach_end)
        else:
            self.assertTrue(beach_end.endswith(b"\nend\n-- \nenjoy\n"))
            self.assertNotIn(b"\r", beach_end)
            self.assertIn(b"\n.", beach_end)
        self.assertIn(b"\nInjection-Info: ", beach_end)
        self.assertIn(self.eol() + b"\tlogging-data=", beach_end)

    def logged(self, log, directory):
        """The article numbers the log holds for the directory."""
        with open(log) as f:
            lines = f.read().splitlines()
        self.assertIn("*" + directory, lines)
        numbers = set()
        current = None
        for line in lines:
            if line.startswith("*"):
                current = line[1:]
            elif line.startswith("@") and current == directory:
                numbers.add(int(line[1:]))
        return numbers


class NativeSpool(InnSpool):
    WIREFORMAT = False


class WireFormatSpool(InnSpool):
    WIREFORMAT = True


del InnSpool

if __name__ == "__main__":
    unittest.main()
