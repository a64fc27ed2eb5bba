"""cmake --install into a temporary prefix, also staged with DESTDIR: the
layout of the installed files, and the installed programs at work."""

import gzip
import os
import subprocess
import unittest

from quillon_e2e import HERE, QuillonTest
from spool import random_bytes

BUILD = os.environ.get("QUILLON_BUILD_DIR",
                       os.path.join(HERE, "..", "build"))
SOURCE = os.path.join(HERE, "..")
CMAKE = os.environ.get("QUILLON_CMAKE", "cmake")

# Every installed file; nothing of the tests, benchmarks or fuzzers.
LAYOUT = {
    "bin/quillon", "bin/fibonacci", "bin/rescreen",
    "share/man/man1/quillon.1.gz", "share/man/man1/fibonacci.1.gz",
    "share/man/man1/rescreen.1.gz",
    "share/doc/quillon/README.md",
    "share/bash-completion/completions/quillon",
}


def files_under(top):
    found = set()
    for folder, _, names in os.walk(top):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), top))
    return found


class Install(QuillonTest):

    def install(self, prefix, destdir=None):
        env = dict(os.environ)
        env.pop("DESTDIR", None)
        if destdir:
            env["DESTDIR"] = destdir
        done = subprocess.run(
            [CMAKE, "--install", BUILD, "--prefix", prefix],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
        self.assertEqual(done.returncode, 0, done.stdout.decode())

    def check_tree(self, top):
        self.assertEqual(files_under(top), LAYOUT)
        for program in ["quillon", "fibonacci", "rescreen"]:
            self.assertTrue(os.access(os.path.join(top, "bin", program),
                                      os.X_OK), program)
        pages = {"quillon/quillon.1", "fibonacci/fibonacci.1",
                 "rescreen/rescreen.1"}
        for page in pages:
            installed = os.path.join(top, "share/man/man1",
                                     os.path.basename(page) + ".gz")
            with gzip.open(installed) as f, \
                    open(os.path.join(SOURCE, page), "rb") as source:
                self.assertEqual(f.read(), source.read(), page)
        for installed, source in [
                ("share/doc/quillon/README.md", "README.md"),
                ("share/bash-completion/completions/quillon",
                 "completion/quillon.bash")]:
            with open(os.path.join(top, installed), "rb") as f, \
                    open(os.path.join(SOURCE, source), "rb") as g:
                self.assertEqual(f.read(), g.read(), installed)

    def test_prefix(self):
        prefix = self.path("prefix")
        self.install(prefix)
        self.check_tree(prefix)
        bin_dir = os.path.join(prefix, "bin")
        self.assertEqual(
            self.run_program(os.path.join(bin_dir, "quillon"), ["--version"]),
            (0, b"quillon 3.7.0\n", b""))
        self.assertEqual(
            self.run_program(os.path.join(bin_dir, "fibonacci"), ["10"]),
            (0, b"55\n", b""))
        self.assertEqual(
            self.run_program(os.path.join(bin_dir, "rescreen"), []),
            (0, b"\x1bc", b""))

    def test_destdir_stages_under_the_prefix(self):
        stage = self.path("stage")
        prefix = self.path("opt", "quillon")
        self.install(prefix, destdir=stage)
        self.assertFalse(os.path.exists(prefix))
        self.check_tree(stage + prefix)

    def test_installed_quillon_decodes_the_sample_spool(self):
        prefix = self.path("prefix")
        self.install(prefix)
        spool = os.path.join(SOURCE, "sample", "spool")
        articles = sorted(os.path.join(spool, name)
                          for name in os.listdir(spool))
        os.mkdir(self.path("out"))
        rc, _, err = self.run_program(
            os.path.join(prefix, "bin", "quillon"),
            ["-q", "-dest", "out"] + articles)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(sorted(os.listdir(self.path("out"))),
                         ["beach.gif", "sunset.jpg"])
        self.assertEqual(self.read("out", "sunset.jpg"),
                         random_bytes(9000, 1))
        self.assertEqual(self.read("out", "beach.gif"), random_bytes(4000, 2))


if __name__ == "__main__":
    unittest.main()
