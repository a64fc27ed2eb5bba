"""cmake --install into a temporary prefix, also staged with DESTDIR: the
layout of the installed files, and the installed programs at work; and the
README's Install commands, run as written in a copy of the tree."""

import gzip
import os
import shutil
import subprocess
import unittest

from quillon_e2e import HERE, QuillonTest, readme_block
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


SAMPLE = os.path.join(SOURCE, "sample", "spool")


def copy_tree(target):
    """The files of the source tree that git tracks or would track (no build
    directories), copied to `target`; without git, all but build*/."""
    try:
        listed = subprocess.run(
            ["git", "-C", SOURCE, "ls-files", "-z", "--cached", "--others",
             "--exclude-standard"], stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        shutil.copytree(SOURCE, target, symlinks=True,
                        ignore=shutil.ignore_patterns("build*", ".git"))
        return
    for name in listed.decode().split("\0"):
        source = os.path.join(SOURCE, name)
        if not name or not os.path.isfile(source):
            continue
        os.makedirs(os.path.dirname(os.path.join(target, name)),
                    exist_ok=True)
        shutil.copy2(source, os.path.join(target, name))


def files_under(top):
    found = set()
    for folder, _, names in os.walk(top):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), top))
    return found


class InstallCase(QuillonTest):
    """Checks of an installed tree."""

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

    def check_sample(self, quillon):
        """The installed `quillon` decodes the sample spool's four
        complete postings, one of them yEnc and one MIME."""
        articles = sorted(os.path.join(SAMPLE, name)
                          for name in os.listdir(SAMPLE))
        out = self.path("out")
        shutil.rmtree(out, ignore_errors=True)
        os.mkdir(out)
        rc, _, err = self.run_program(quillon, ["-q", "-dest", out] + articles)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(sorted(os.listdir(out)),
                         ["beach.gif", "comet.jpg", "moon.png", "sunset.jpg"])
        self.assertEqual(self.read("out", "sunset.jpg"),
                         random_bytes(9000, 1))
        self.assertEqual(self.read("out", "beach.gif"), random_bytes(4000, 2))
        self.assertEqual(self.read("out", "moon.png"), random_bytes(600, 4))
        self.assertEqual(self.read("out", "comet.jpg"), random_bytes(5000, 5))


class Install(InstallCase):

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
        self.check_sample(os.path.join(prefix, "bin", "quillon"))


@unittest.skipUnless(os.environ.get("QUILLON_README_INSTALL") == "1",
                     "builds the programs in Release; .ci/run runs it "
                     "(QUILLON_README_INSTALL=1)")
class ReadmeInstall(InstallCase):
    """The README's Install commands as written, in a copy of the tree. Only
    where they would leave it are they redirected: the sudo install goes to
    the default prefix under DESTDIR=<tmp>/root, /tmp/stage becomes
    <tmp>/stage, and HOME (for ~/.local) is <tmp>/home."""

    def run_readme(self, tree):
        script = ["set -e"]
        for line in readme_block("<!-- install commands -->"):
            line = line.replace("sudo cmake --install",
                                'DESTDIR="$ROOT" cmake --install')
            line = line.replace("/tmp/stage", '"$STAGE"')
            self.assertNotIn("sudo", line)
            script.append(line)
        env = dict(os.environ, HOME=self.path("home"), ROOT=self.path("root"),
                   STAGE=self.path("stage"))
        env.pop("DESTDIR", None)
        done = subprocess.run(["bash", "-c", "\n".join(script)], cwd=tree,
                              env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT)
        return done.returncode, done.stdout.decode(errors="replace")

    def test_readme_install_commands(self):
        tree = self.path("tree")
        copy_tree(tree)
        rc, log = self.run_readme(tree)
        self.assertEqual(rc, 0, log[-4000:])
        installed = [self.path("root", "usr", "local"),
                     self.path("home", ".local"), self.path("stage", "usr")]
        for top in installed:
            self.check_tree(top)
            self.check_sample(os.path.join(top, "bin", "quillon"))

        # A build that fails installs nothing, not even what it built before.
        for top in ["root", "home", "stage"]:
            shutil.rmtree(self.path(top))
        with open(os.path.join(tree, "quillon", "driver", "main.cc"), "a") as f:
            f.write("\n#error a broken build\n")
        rc, log = self.run_readme(tree)
        self.assertNotEqual(rc, 0, log[-4000:])
        for top in installed:
            self.assertFalse(os.path.exists(top), top)


if __name__ == "__main__":
    unittest.main()
