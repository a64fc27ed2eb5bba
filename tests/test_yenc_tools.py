"""The yEnc test tooling: articles from yencode and from the tests' own
encoder decode, with python3-sabyenc, to the bytes they were made from."""

import random
import unittest
import zlib

import yenc


def sample(size, seed=7):
    """Every byte value at many line positions, then random bytes."""
    rng = random.Random(seed)
    head = bytes(range(256)) * 3
    return (head + bytes(rng.getrandbits(8) for _ in range(size)))[:size]


def job(data, name, **changes):
    """What yenc_articles hands to either encoder, for calling the
    fallback directly."""
    base = dict(name=name, parts=1, line_size=128,
                subject=yenc.DEFAULT_SUBJECT, poster=yenc.DEFAULT_POSTER,
                date=yenc.DEFAULT_DATE, newsgroups=yenc.DEFAULT_GROUP,
                headers=[], preamble=[], drop=[], eol="lf", dot_stuff=False)
    base.update(changes)
    count = len(yenc.part_ranges(len(data), base["parts"],
                                 base.get("part_size")))
    base.setdefault("emit", list(range(1, count + 1)))
    base.setdefault("message_ids",
                    ["<m%d@example.net>" % k for k in range(len(base["emit"]))])
    return base


def makers():
    """The article makers to check: the fallback always, yencode where it
    is installed (saying so where not)."""
    out = [("fallback", yenc._fallback_articles)]
    if yenc.yencode_available():
        out.append(("yencode", yenc._run_tool))
    else:
        print("yencode is not installed (%s): only the fallback encoder is "
              "checked" % yenc.INSTALL_HINT)
    return out


class RoundTripTest(unittest.TestCase):
    def check_decodes(self, articles, data, name):
        decoded = yenc.sabyenc_decode(articles)
        for got, _, crc_ok, error in decoded:
            self.assertIsNone(error)
            self.assertTrue(crc_ok)
        self.assertEqual(b"".join(d for d, _, _, _ in decoded), data)
        self.assertEqual({n for _, n, _, _ in decoded}, {name})

    def test_yencode_articles_decode_with_sabyenc(self):
        yenc.require_yencode()
        yenc.require_sabyenc()
        for line_size, parts in ((128, 3), (61, 1), (1, 2)):
            with self.subTest(line_size=line_size, parts=parts):
                data = sample(5000 if line_size > 1 else 600)
                articles = yenc.yenc_articles(data, "holiday pics.zip",
                                              parts=parts,
                                              line_size=line_size)
                self.assertEqual(len(articles), parts)
                self.check_decodes(articles, data, "holiday pics.zip")

    def test_fallback_articles_decode_with_sabyenc(self):
        yenc.require_sabyenc()
        data = sample(4000)
        articles = yenc._fallback_articles(
            data, job(data, "a.bin", parts=3, line_size=100, eol="crlf"))
        self.check_decodes(articles, data, "a.bin")

    def test_fallback_variants_decode_with_sabyenc(self):
        # Shapes of other encoders: CR LF, upper-case and short hex, dots
        # and edges left unescaped, every TAB escaped, one-byte lines.
        yenc.require_sabyenc()
        data = sample(3000, seed=3)
        variants = [
            dict(crlf=True), dict(upper=True), dict(short=True),
            dict(escape_dots=False, escape_edges=False),
            dict(escape_all=(0x09,)), dict(line_size=1),
        ]
        for options in variants:
            with self.subTest(**options):
                bodies = [yenc.encode_yenc(data[:1000], "v.bin", size=3000,
                                           part=1, total=2, **options),
                          yenc.encode_yenc(data[1000:], "v.bin", size=3000,
                                           part=2, total=2, begin=1001,
                                           file_crc=zlib.crc32(data),
                                           **options)]
                self.check_decodes(bodies, data, "v.bin")

    def test_whole_part_form_decodes_with_sabyenc(self):
        # A file of one part as "part=1 total=1" (or without total=) and no
        # =ypart line, which the own encoder writes for whole_part.
        yenc.require_sabyenc()
        data = sample(3000, seed=5)
        for drop, fields in (([], b"part=1 total=1"), (["total"], b"part=1")):
            with self.subTest(drop=drop):
                [text] = yenc.yenc_articles(data, "w.bin", whole_part=True,
                                            drop=drop)
                self.assertIn(b"\n\n=ybegin %s line=128 size=3000 name=w.bin"
                              b"\n" % fields, text)
                self.assertNotIn(b"=ypart", text)
                self.check_decodes([text], data, "w.bin")

    def test_lines_may_begin_with_a_dot(self):
        # For wire-format tests: such lines are what dot-stuffing doubles.
        lines = yenc.encode_lines(bytes([0x2E - 42]) * 10, line_size=4,
                                  escape_dots=False)
        self.assertEqual(lines, [b"....", b"....", b".."])
        self.assertEqual(yenc.encode_lines(bytes([0x2E - 42]) * 3)[0][:2],
                         b"=n")


class ToolTest(unittest.TestCase):
    def test_fallback_writes_what_yencode_writes(self):
        yenc.require_yencode()
        cases = [(sample(5000), dict(parts=3)),
                 (sample(1024), dict(line_size=16)),
                 (sample(3000), dict(part_size=700, line_size=7)),
                 (b"", {})]
        for data, changes in cases:
            with self.subTest(size=len(data), **changes):
                j = job(data, "same.bin", **changes)
                self.assertEqual(yenc._fallback_articles(data, j),
                                 yenc._run_tool(data, j))

    def test_articles_follow_the_job(self):
        data = sample(900)
        j = job(data, "é x.bin", parts=3, emit=[3, 1, 3],
                date=["d1", "d2", "d3"], drop=["total"], total=9,
                subject="{name} [{part}/{total}] {size}",
                preamble=[".dot", "text"], dot_stuff=True, eol="crlf",
                headers=["X-Extra: 1"])
        for label, make in makers():
            with self.subTest(encoder=label):
                articles = make(data, j)
                self.assertEqual(len(articles), 3)
                first = articles[0]
                head, _, body = first.partition(b"\r\n\r\n")
                self.assertIn("Subject: é x.bin [3/9] 900".encode(), head)
                self.assertIn(b"Date: d1\r\n", head + b"\r\n")
                self.assertIn(b"X-Extra: 1", head)
                self.assertIn(b"Message-ID: <m0@example.net>", head)
                self.assertTrue(body.startswith(b"..dot\r\ntext\r\n=ybegin "
                                                b"part=3 line=128 size=900 "))
                self.assertIn("name=é x.bin\r\n=ypart begin=601 end=900\r\n"
                              .encode(), body)
                self.assertNotIn(b"\n", body.replace(b"\r\n", b""))
                self.assertEqual(articles[2].replace(b"d3", b"d1")
                                 .replace(b"<m2@", b"<m0@"), first)
                self.assertIn(b"begin=1 end=300", articles[1])

    def test_empty_file_is_one_single_part(self):
        for label, make in makers():
            with self.subTest(encoder=label):
                text = make(b"", job(b"", "empty"))[0]
                self.assertIn(b"\n=ybegin line=128 size=0 name=empty\n\n"
                              b"=yend size=0 crc32=00000000\n", text)


if __name__ == "__main__":
    unittest.main()
