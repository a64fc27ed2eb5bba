"""A spool of 100,000 small articles handed over with -files -: every
complete posting decoded exactly, none of those that lost a part."""

import os
import random
import shutil
import tempfile
import unittest

from quillon_e2e import EMULATOR, QuillonTest
from spool import article, encoded_parts, random_bytes

# Under the sanitizers or an emulator the same spool, ten times smaller.
ARTICLES = 10000 if os.environ.get("ASAN_OPTIONS") or EMULATOR else 100000
# Two parts of three full data lines each: the least that every part
# qualifies with.
DATA_SIZE = 6 * 45
POSTERS = ["poster%d@example.org" % i for i in range(20)]


class BigSpoolTest(QuillonTest):

    def spool_dir(self):
        """A directory for the spool and the decoded files, in memory where
        the system has one: on disk, making 150,000 files takes minutes."""
        shm = "/dev/shm"
        where = shm if os.access(shm, os.W_OK) else None
        d = tempfile.mkdtemp(prefix="quillon-e2e-spool-", dir=where)
        self.addCleanup(shutil.rmtree, d, True)
        return d

    def test_every_complete_posting_and_no_other(self):
        rng = random.Random(27)
        postings = ARTICLES // 2
        # One posting in 50 lost its second part; its first stays.
        lost = set(range(7, postings, 50))
        articles = []
        expected = {}
        # The data of posting n is bytes of the pool from n on: postings
        # differ without making 50,000 random strings.
        pool = random_bytes(postings + DATA_SIZE, 1)
        for n in range(postings):
            name = "f%06d.bin" % n
            data = pool[n:n + DATA_SIZE]
            poster = POSTERS[n % len(POSTERS)]
            for part, body in enumerate(encoded_parts(data, name, 2), 1):
                if part == 2 and n in lost:
                    continue
                subject = "%s (%d/2)" % (name, part)
                articles.append(article(subject, body, poster=poster,
                                        msgid="<%d.%d@example.org>" % (n, part)))
            if n not in lost:
                expected[name] = data
        rng.shuffle(articles)
        spool = self.spool_dir()
        for number, text in enumerate(articles, 1):
            fd = os.open(os.path.join(spool, str(number)),
                         os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
            os.write(fd, text)
            os.close(fd)
        out = os.path.join(spool, "out")
        os.mkdir(out)
        names = "".join("%d\n" % n for n in range(1, len(articles) + 1))
        status, _, err = self.quillon("-q", "-dest", out,
                                      "-files", "-", stdin=names.encode(),
                                      cwd=spool)
        self.assertEqual((status, err), (0, b""))
        self.assertEqual(sorted(os.listdir(out)), sorted(expected))
        for name, data in expected.items():
            with open(os.path.join(out, name), "rb") as f:
                self.assertEqual(f.read(), data, name)


if __name__ == "__main__":
    unittest.main()
