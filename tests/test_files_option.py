"""-files: file arguments read from a list file or standard input, one path a
line, after those of the command line; a run with the list is the run with
the same paths as arguments."""

import os
import random
import shutil
import tempfile
import unittest

from quillon_e2e import QuillonTest, uuencode
from spool import article, posting, random_bytes, write_spool

BANNER = b"Quillon ver 3.7.0\n"


def single_parts(names):
    """One one-part posting per name, its subject the name itself."""
    return [posting(random_bytes(200, i), name, 1, poster="p%d@x" % i,
                    subject_fmt="%(name)s")[0]
            for i, name in enumerate(names)]


def subjects(out):
    """The subject lines a scan printed, in reading order."""
    return out.split(b"\n\n")[1].split(b"\n")


class ListFormats(QuillonTest):

    def setUp(self):
        super().setUp()
        names = ["a.bin", "b.bin", "c.bin", "d.bin", "e.bin"]
        texts = dict(zip(names, single_parts(names)))
        # Blanks in directory and file names, kept as they are.
        self.paths = {}
        for name, text in texts.items():
            rel = os.path.join("my spool", " %s x" % name)
            self.write(rel, text)
            self.paths[name] = rel
        self.paths["e.bin"] = self.path(self.paths["e.bin"])  # absolute

    def test_line_ends_empty_lines_and_standard_input(self):
        listed = [self.paths[n] for n in ["c.bin", "b.bin", "e.bin", "d.bin"]]
        cases = [
            ("LF and CR LF, no last end", "%s\r\n%s\n%s\r\n%s" %
             tuple(listed), False),
            ("empty lines", "\n\r\n%s\n\n\n%s\n%s\r\n\r\n%s\n\n" %
             tuple(listed), False),
            ("standard input", "\n".join(listed) + "\n", True),
        ]
        for name, text, from_stdin in cases:
            with self.subTest(name):
                self.write("list", text)
                source = "-" if from_stdin else "list"
                rc, out, err = self.quillon(
                    "-files", source, self.paths["a.bin"],
                    stdin=text.encode() if from_stdin else b"")
                self.assertEqual((rc, err), (0, b""))
                # After those of the command line, in the list's order.
                self.assertEqual(subjects(out), [b"a.bin", b"c.bin", b"b.bin",
                                                 b"e.bin", b"d.bin"])
                self.assertIn(b"5 complete (non-segmented) files found.", out)
                for n in self.paths:
                    self.assertTrue(os.path.exists(self.path(n)), n)
                    os.remove(self.path(n))

    def test_an_empty_list_is_a_run_over_no_file(self):
        # Standard input is not read as data, whether or not it is the list.
        data = uuencode(b"not data", "stdin.bin")
        self.write("empty", "\n\r\n")
        scanned = BANNER + b"\n\nFound 0 uuencoded file segments.\n"
        cases = [
            (["-files", "-"], b"\n\n", 2, scanned),
            (["-files", "empty"], data, 2, scanned),
            (["-plain", "-files", "empty"], data, 0, BANNER),
        ]
        for args, stdin, status, out in cases:
            with self.subTest(args=args):
                self.assertEqual(self.quillon(*args, stdin=stdin),
                                 (status, out, b""))
                self.assertFalse(os.path.exists(self.path("stdin.bin")))

    def test_a_list_that_cannot_be_read_ends_the_run_first(self):
        os.mkdir(self.path("dir"))
        log = self.write("log", "*%s\n" % self.dir)
        env = {"QUILLONLOG": log}
        for name, before in [("missing", []),
                             ("dir", ["-log", self.path("my spool")])]:
            with self.subTest(list=name):
                rc, out, err = self.quillon(
                    *before, "-files", name, self.paths["a.bin"], env=env)
                self.assertEqual(
                    (rc, out, err),
                    (1, b"", b"quillon: cannot access file %s\n"
                     % name.encode()))
                self.assertEqual(self.read("log"), b"*%s\n"
                                 % self.dir.encode())
                self.assertFalse(os.path.exists(self.path("a.bin")))


class SameAsArguments(QuillonTest):
    """Each case runs twice in a tree of its own: once with every path on
    the command line, once with the paths after the first two in a list;
    status, output, messages, decoded files, what is left of the spool and
    the log must agree."""

    def scan_spool(self):
        ok = posting(random_bytes(5000, 1), "ok.bin", 3)
        gap = posting(random_bytes(5000, 2), "gap.bin", 3, poster="g@g")
        talk = article("just talk", b"hello\n")
        # A part that cannot be read, an incomplete posting, a text article.
        return [ok[2], gap[0], ok[0], talk, gap[2], ok[1]], ["spool/9"]

    def plain_files(self):
        data = random_bytes(3000, 3)
        text = uuencode(data, "split.bin")
        cut = text.index(b"\n", len(text) // 2) + 1
        return [text[:cut], text[cut:], uuencode(b"x" * 100, "x.bin")], []

    CASES = [
        ("scan, -delete and the log", ["-delete"], "scan_spool", True),
        ("fall-back mode", ["-delete"], "plain_files", False),
        ("-plain", ["-plain", "-delete"], "plain_files", False),
    ]

    def run_tree(self, tree, texts, extra, options, logged, listed):
        top = self.path(tree)
        paths = [os.path.relpath(p, top) for p in
                 write_spool(os.path.join(top, "spool"), texts)] + extra
        os.mkdir(os.path.join(top, "out"))
        env = {}
        if logged:
            log = os.path.join(top, "log")
            env["QUILLONLOG"] = log
            self.assertEqual(
                self.quillon("-log", "spool", env=env, cwd=top)[0], 0)
        args = list(options) + ["-dest", "out"]
        if listed:
            with open(os.path.join(top, "list"), "w") as f:
                f.write("".join(p + "\n" for p in paths[2:]))
            args += ["-files", "list"] + paths[:2]
        else:
            args += paths
        rc, out, err = self.quillon(*args, env=env, cwd=top)
        def own(text):
            for path in [os.path.realpath(top), top]:
                text = text.replace(path.encode(), b"TOP")
            return text

        result = {"run": (rc, own(out), err)}
        for sub in ["out", "spool"]:
            result[sub] = {
                name: self.read(tree, sub, name)
                for name in os.listdir(os.path.join(top, sub))}
        if logged:
            result["log"] = own(self.read(tree, "log"))
        return result

    def test_every_mode(self):
        for name, options, make, logged in self.CASES:
            with self.subTest(name):
                texts, extra = getattr(self, make)()
                runs = [self.run_tree(name + str(listed), texts, extra,
                                      options, logged, listed)
                        for listed in (False, True)]
                self.assertEqual(runs[0], runs[1])
                self.assertNotEqual(runs[0]["out"], {})


class BigGroup(QuillonTest):

    def setUp(self):
        super().setUp()
        # 100,000 files are made and removed in memory where that can be
        # done: on a busy disk it takes minutes.
        if os.path.isdir("/dev/shm") and os.access("/dev/shm", os.W_OK):
            self.dir = tempfile.mkdtemp(prefix="quillon-e2e-", dir="/dev/shm")
            self.addCleanup(shutil.rmtree, self.dir, True)

    def test_100000_articles_on_standard_input(self):
        # 2,000 postings of 50 tiny parts each, handed over in reverse order
        # with -delete.
        parts, postings = 50, 2000
        datas = [random.Random(n).randbytes(parts * 135)
                 for n in range(postings)]
        texts = []
        for n, data in enumerate(datas):
            texts += posting(data, "f%04d.bin" % n, parts,
                             poster="p%d@x" % (n % 7))
        paths = write_spool(self.path("spool"), texts)
        os.mkdir(self.path("out"))
        listing = "".join(os.path.relpath(p, self.dir) + "\n"
                          for p in reversed(paths))
        rc, out, err = self.quillon("-delete", "-dest", "out", "-files", "-",
                                    stdin=listing.encode())
        self.assertEqual((rc, err), (0, b""))
        self.assertIn(b"\nFound 100000 uuencoded file segments.\n"
                      b"2000 complete (non-segmented) files found.\n", out)
        self.assertEqual(os.listdir(self.path("spool")), [])
        self.assertEqual(len(os.listdir(self.path("out"))), postings)
        for n, data in enumerate(datas):
            self.assertEqual(self.read("out", "f%04d.bin" % n), data)


if __name__ == "__main__":
    unittest.main()
