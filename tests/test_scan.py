"""The main job: scanning a news spool and decoding its postings."""

import os
import unittest

from quillon_e2e import QuillonTest, uuencode
from spool import article, date, posting, random_bytes, write_spool

BANNER = b"Quillon ver 3.7.0\n"


class MainJob(QuillonTest):

    def spool(self, articles, name="spool"):
        return write_spool(self.path(name), articles)

    def test_multi_part_postings_of_several_posters(self):
        sunset = random_bytes(5000, 1)
        beach = random_bytes(3000, 2)
        a = posting(sunset, "sunset.jpg", 3, poster="ann@a.example")
        b = posting(beach, "beach.gif", 2, poster="Bob <bob@b.example>")
        # Parts out of order, posters mixed.
        files = self.spool([a[2], b[1], a[0], b[0], a[1]])
        rc, out, err = self.quillon("-dest", self.dir, *files)
        self.assertEqual(rc, 0, err)
        self.assertEqual(self.read("sunset.jpg"), sunset)
        self.assertEqual(self.read("beach.gif"), beach)
        self.assertEqual(err, b"")
        self.assertTrue(out.startswith(BANNER + b"\nsunset.jpg (3/3)\n"))
        self.assertIn(b"\nFound 5 uuencoded file segments.\n", out)
        self.assertIn(b"2 complete (non-segmented) files found.\n", out)
        self.assertIn(b"UUdecoding sunset.jpg\n", out)
        self.assertIn(b"UUdecoding beach.gif\n", out)
        self.assertTrue(out.endswith(b"\n\n"))

    def test_missing_part_is_listed_and_not_written(self):
        data = random_bytes(6000, 3)
        parts = posting(data, "gone.zip", 3)
        files = self.spool([parts[0], parts[2]])
        rc, out, _ = self.quillon(*files)
        self.assertEqual(rc, 0)
        self.assertIn(b"\nCaptions for (file) segments not decoded:\n"
                      b"GONE.ZIP (1/3)\nGONE.ZIP (3/3)\n\n", out)
        self.assertIn(b"0 complete (non-segmented) files found.\n", out)
        self.assertFalse(os.path.exists(self.path("gone.zip")))

    def test_no_segment_exits_2(self):
        files = self.spool([article("just talk", b"hello\nworld\n")])
        rc, out, _ = self.quillon(*files)
        self.assertEqual(rc, 2)
        self.assertEqual(out, BANNER + b"\n\nFound 0 uuencoded file segments.\n")

    def test_quiet_prints_only_empty_lines_and_the_summary(self):
        files = self.spool(posting(random_bytes(500, 4), "q.bin", 1))
        rc, out, _ = self.quillon("-q", *files)
        self.assertEqual(rc, 0)
        self.assertEqual(out, b"\n1 complete (non-segmented) files found.\n"
                              b"\n\n")

    def test_fall_back_to_plain_files(self):
        data = random_bytes(700, 5)
        self.write("plain.uu", uuencode(data, "p.bin"))
        rc, out, _ = self.quillon("plain.uu")
        self.assertEqual(rc, 0)
        self.assertEqual(out, BANNER + b"\nFound ordinary uuencoded files.\n"
                              b"\nUUdecoding p.bin\n")
        self.assertEqual(self.read("p.bin"), data)

    def test_keywords_filter_articles(self):
        cat = random_bytes(400, 6)
        dog = random_bytes(400, 7)
        files = self.spool(posting(cat, "cat.jpg", 1) +
                           posting(dog, "dog.jpg", 1, poster="d@x"))
        rc, out, _ = self.quillon("-k", "-dog", *files)
        self.assertEqual(rc, 0)
        self.assertEqual(self.read("cat.jpg"), cat)
        self.assertFalse(os.path.exists(self.path("dog.jpg")))

    def test_repost_replaces_the_damaged_part(self):
        data = random_bytes(6000, 8)
        good = posting(data, "r.bin", 3)
        damaged = bytearray(good[1])
        damaged[-200] ^= 1
        repost = good[1].replace(b"Subject: r.bin (2/3)",
                                 b"Subject: REPOST: r.bin (2/3)")
        files = self.spool([good[0], bytes(damaged), good[2], repost])
        rc, out, _ = self.quillon(*files)
        self.assertEqual(rc, 0)
        self.assertEqual(self.read("r.bin"), data)

    def test_duplicate_article_is_decoded_once(self):
        data = random_bytes(3000, 9)
        parts = posting(data, "dup.bin", 2)
        files = self.spool([parts[0], parts[1], parts[1]])
        rc, out, _ = self.quillon(*files)
        self.assertEqual(rc, 0)
        self.assertEqual(self.read("dup.bin"), data)
        self.assertNotIn(b"Short file", out)


class ExtendedAndDelete(QuillonTest):

    def test_batch_file_with_delete_goes_after_its_last_segment(self):
        one = random_bytes(4000, 10)
        two = random_bytes(4000, 11)
        p1 = posting(one, "one.bin", 2)
        p2 = posting(two, "two.bin", 2, poster="z@z")
        self.write("batch1", p1[0] + p2[0])
        self.write("batch2", p1[1] + p2[1])
        rc, out, err = self.quillon("-ex", "-del", "batch1", "batch2")
        self.assertEqual(rc, 0, err)
        self.assertEqual(self.read("one.bin"), one)
        self.assertEqual(self.read("two.bin"), two)
        self.assertFalse(os.path.exists(self.path("batch1")))
        self.assertFalse(os.path.exists(self.path("batch2")))

    def test_undecodable_article_survives_delete_without_error_file(self):
        parts = posting(random_bytes(6000, 12), "half.bin", 3)
        files = write_spool(self.path("s"), parts[:2])
        rc, _, _ = self.quillon("-del", *files)
        self.assertEqual(rc, 0)
        self.assertTrue(all(os.path.exists(f) for f in files))

    def test_errors_file_collects_undecodable_segments(self):
        parts = posting(random_bytes(6000, 13), "half.bin", 3)
        files = write_spool(self.path("s"), parts[:2])
        rc, _, _ = self.quillon("-del", "-errors", "errs", *files)
        self.assertEqual(rc, 0)
        errs = self.read("errs")
        self.assertIn(b"begin 644 half.bin\n", errs)
        self.assertIn(b"section 2 of file half.bin\n", errs)
        self.assertFalse(any(os.path.exists(f) for f in files))


class ArticleEdges(QuillonTest):
    """Edge cases of reading articles, seen through whole runs."""

    def test_three_articles_in_one_file(self):
        data = random_bytes(8000, 20)
        self.write("batch", b"".join(posting(data, "three.bin", 3)))
        rc, out, _ = self.quillon("-extended", "batch")
        self.assertEqual(rc, 0)
        self.assertIn(b"Found 3 uuencoded file segments.", out)
        self.assertEqual(self.read("three.bin"), data)
        # Without -extended the file is one article: its first part only.
        os.remove(self.path("three.bin"))
        rc, out, _ = self.quillon("batch")
        self.assertIn(b"Found 1 uuencoded file segments.", out)

    def test_parts_far_apart_and_out_of_order_in_one_file(self):
        # The pass reads the file ahead (from what its buffer holds) and back
        # again, parts bigger than one read among small ones; the file goes
        # after its last segment.
        big = random_bytes(60000, 24)
        small = random_bytes(3000, 25)
        p1 = posting(big, "big.bin", 3)
        p2 = posting(small, "small.bin", 2, poster="z@z")
        self.write("batch", p2[1] + p1[2] + p1[0] + p1[1] + p2[0])
        rc, out, err = self.quillon("-extended", "-delete", "batch")
        self.assertEqual(rc, 0, err)
        self.assertIn(b"Found 5 uuencoded file segments.", out)
        self.assertEqual(self.read("big.bin"), big)
        self.assertEqual(self.read("small.bin"), small)
        self.assertFalse(os.path.exists(self.path("batch")))

    def test_a_removed_file_is_not_read_again_under_another_name(self):
        # The file goes after its last segment; what the pass still holds of
        # it must not stand in for it under its other name.
        one, two = random_bytes(3000, 26), random_bytes(3000, 27)
        self.write("batch", b"".join(posting(one, "one.bin", 2) +
                                     posting(two, "two.bin", 2, poster="z@z")))
        rc, out, err = self.quillon("-extended", "-delete", "batch", "./batch")
        self.assertEqual(rc, 1)
        self.assertEqual(err, b"quillon: cannot access file ./batch\n")
        self.assertEqual(self.read("one.bin"), one)
        self.assertFalse(os.path.exists(self.path("one.bin.1")))

    def test_broken_begin_line_is_joined_with_the_next(self):
        data = random_bytes(300, 21)
        text = posting(data, "joined.bin", 1)[0].replace(
            b"begin 644 joined.bin\n", b"begin 600\njoined.bin\n")
        self.write("1", text)
        rc, out, _ = self.quillon("1")
        self.assertEqual(rc, 0)
        self.assertEqual(self.read("joined.bin"), data)
        self.assertEqual(os.stat(self.path("joined.bin")).st_mode & 0o777,
                         0o600)

    def test_what_does_not_start_the_fall_back_mode(self):
        data = random_bytes(300, 22)
        self.write("a", posting(data, "a.bin", 1)[0])
        self.write("plain.uu", uuencode(b"plain", "plain.bin"))
        # A plain file after the first segment is passed over ...
        rc, out, err = self.quillon("missing", "a", "plain.uu")
        self.assertEqual(rc, 1)
        self.assertEqual(err, b"quillon: cannot access file missing\n")
        self.assertNotIn(b"ordinary", out)
        self.assertFalse(os.path.exists(self.path("plain.bin")))
        # ... and one after a file that could not be opened starts it; the
        # plain decoding then fails on that file again, and ends the run.
        rc, out, err = self.quillon("missing", "plain.uu")
        self.assertIn(b"Found ordinary uuencoded files.\n", out)
        self.assertEqual(rc, 1)
        self.assertEqual(err, b"quillon: cannot access file missing\n" * 2)

    def test_part_numbers_in_the_body(self):
        # Subjects without numbers; the body says "name part/total".
        data = random_bytes(6000, 23)
        parts = posting(data, "body.bin", 2, subject_fmt="body.bin")
        fixed = [p.replace(b"section %d of file" % (i + 1),
                           b"body.bin %d/2" % (i + 1))
                 for i, p in enumerate(parts)]
        files = write_spool(self.path("s"), list(reversed(fixed)))
        rc, out, _ = self.quillon(*files)
        self.assertEqual(rc, 0)
        self.assertEqual(self.read("body.bin"), data)


class DosNames(QuillonTest):

    def test_equal_dos_names_are_numbered(self):
        a = random_bytes(300, 14)
        b = random_bytes(300, 15)
        files = write_spool(self.path("s"),
                            posting(a, "pictures_a_1.jpg", 1) +
                            posting(b, "pictures_b_1.jpg", 1))
        rc, out, _ = self.quillon("-dos", *files)
        self.assertEqual(rc, 0)
        self.assertEqual(self.read("pictur_1.jpg"), a)
        self.assertEqual(self.read("pictur01.jpg"), b)


class LogCycle(QuillonTest):
    """Repeated runs over a growing spool with QUILLONLOG set."""

    def test_growing_spool(self):
        log = self.path("newslog")
        env = {"QUILLONLOG": log}
        spool = self.path("pics")
        first = random_bytes(3000, 16)
        second = random_bytes(3000, 17)
        p1 = posting(first, "first.bin", 2)
        p2 = posting(second, "second.bin", 2, poster="s@s")
        chat = article("chat", b"no data here\n")
        os.mkdir(spool)
        rc, _, _ = self.quillon("-log", spool, env=env)
        self.assertEqual(rc, 0)
        write_spool(spool, p1 + [chat], first=101)
        names = lambda: sorted(os.listdir(spool), key=int)
        rc, out, _ = self.quillon(*[os.path.join(spool, n) for n in names()],
                                  env=env)
        self.assertEqual(rc, 0)
        self.assertIn(b"Reading %s\n" % log.encode(), out)
        self.assertIn(b"Updating %s\n" % log.encode(), out)
        self.assertEqual(self.read("first.bin"), first)
        with open(log, "rb") as f:
            self.assertEqual(f.read(), b"*%s\n@102\n@101\n" % spool.encode())

        write_spool(spool, p2, first=104)
        os.remove(self.path("first.bin"))
        rc, out, _ = self.quillon(*[os.path.join(spool, n) for n in names()],
                                  env=env)
        self.assertEqual(rc, 0)
        self.assertFalse(os.path.exists(self.path("first.bin")))
        self.assertEqual(self.read("second.bin"), second)
        with open(log, "rb") as f:
            self.assertEqual(f.read(), b"*%s\n@105\n@104\n@101\n@102\n"
                             % spool.encode())

        # The news system expires 101 and 102; a run from inside the spool
        # loads its entries unflagged and drops those of files not named.
        os.remove(os.path.join(spool, "101"))
        os.remove(os.path.join(spool, "102"))
        third = random_bytes(500, 18)
        write_spool(spool, posting(third, "third.bin", 1), first=106)
        rc, out, _ = self.quillon("-dest", self.dir, *names(), env=env,
                                  cwd=spool)
        self.assertEqual(rc, 0)
        self.assertEqual(self.read("third.bin"), third)
        with open(log, "rb") as f:
            self.assertEqual(f.read(), b"*%s\n@106\n@104\n@105\n"
                             % spool.encode())

        rc, out, _ = self.quillon("-unlog", spool, env=env)
        self.assertEqual(rc, 0)
        with open(log, "rb") as f:
            self.assertEqual(f.read(), b"")


if __name__ == "__main__":
    unittest.main()
