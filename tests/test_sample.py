"""The README's main-job command on the bundled sample spool."""

import glob
import os
import unittest

from quillon_e2e import HERE, QuillonTest
from spool import random_bytes

SPOOL = os.path.join(HERE, "..", "sample", "spool")


class SampleSpool(QuillonTest):

    def test_decodes_the_complete_postings(self):
        files = sorted(glob.glob(os.path.join(SPOOL, "*")))
        rc, out, err = self.quillon("-dest", self.dir, *files)
        self.assertEqual((rc, err), (0, b""))
        # The generator's data: sunset.jpg (a damaged part and its repost),
        # beach.gif (a duplicated part), moon.png (yEnc, two parts),
        # comet.jpg (MIME, split by mpack in three message/partial
        # articles); holiday.zip lacks its part 2.
        self.assertEqual(self.read("sunset.jpg"), random_bytes(9000, 1))
        self.assertEqual(self.read("beach.gif"), random_bytes(4000, 2))
        self.assertEqual(self.read("moon.png"), random_bytes(600, 4))
        self.assertEqual(self.read("comet.jpg"), random_bytes(5000, 5))
        self.assertEqual(sorted(os.listdir(self.dir)),
                         ["beach.gif", "comet.jpg", "moon.png", "sunset.jpg"])
        self.assertIn(b"Captions for (file) segments not decoded:\n"
                      b"HOLIDAY.ZIP (1/3)\nHOLIDAY.ZIP (3/3)\n\n", out)

    def test_readme_shows_what_the_user_sees(self):
        # The README's quick start prints this; keep the two in step.
        with open(os.path.join(HERE, "..", "README.md")) as f:
            readme = f.read()
        start = readme.index("```\nQuillon ver 3.7.0") + 4
        shown = readme[start:readme.index("```", start)].encode()
        files = sorted(glob.glob(os.path.join(SPOOL, "*")))
        rc, out, _ = self.quillon("-dest", self.dir, *files)
        self.assertEqual(rc, 0)
        self.assertEqual(out, shown)


if __name__ == "__main__":
    unittest.main()
