"""Running from cron: the README's crontab line as written, and standard
output and standard error in one stream (cron mails them together) in the
order things happened."""

import os
import shlex
import stat
import subprocess
import unittest

from quillon_e2e import HERE, QUILLON, QuillonTest, command, readme_block
from spool import article, posting, random_bytes, write_spool

# The only part of the README's line the test replaces: the spool is its own.
GROUP = "/var/spool/news/articles/alt/binaries/pictures/misc"


def without_end(text):
    """An article whose uuencoded file lost its end line."""
    return text.replace(b"`\nend\n", b"`\n")


def cron_line():
    lines = [l for l in readme_block("<!-- cron example -->")
             if l.strip() and not l.startswith("#")]
    assert len(lines) == 1, lines
    return lines[0]


class CronExample(QuillonTest):

    def setUp(self):
        super().setUp()
        self.home = self.path("home")
        os.makedirs(os.path.join(self.home, "pictures"))
        # "quillon" on PATH is the one under test.
        bin_dir = self.path("bin")
        os.mkdir(bin_dir)
        wrapper = os.path.join(bin_dir, "quillon")
        with open(wrapper, "w") as f:
            f.write("#!/bin/sh\nexec %s \"$@\"\n"
                    % shlex.join(command(QUILLON, [])))
        os.chmod(wrapper, stat.S_IRWXU)
        self.env = dict(os.environ, HOME=self.home,
                        PATH=bin_dir + os.pathsep + os.environ["PATH"])
        self.env.pop("QUILLONLOG", None)
        self.spool = self.path("spool", "misc")

    def cron(self):
        """One run of the crontab line's command, as cron's shell runs it
        in the home directory; returns status and what cron would mail."""
        fields = cron_line().split(None, 5)
        for field in fields[:5]:
            self.assertRegex(field, r"^[0-9*/,-]+$")
        self.assertEqual(fields[5].count(GROUP), 1)
        script = fields[5].replace(GROUP, shlex.quote(self.spool))
        done = subprocess.run(["/bin/sh", "-c", script], cwd=self.home,
                              env=self.env, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=120)
        return done.returncode, done.stdout

    def test_the_readme_line_as_written(self):
        self.assertIn("QUILLONLOG=", cron_line())
        for option in ["-q", "-delete", "-dest"]:
            self.assertIn(" %s " % option, cron_line())
        one = random_bytes(5000, 1)
        two = random_bytes(4000, 2)
        bad = random_bytes(900, 3)
        ones = posting(one, "one.jpg", 3)
        twos = posting(two, "two.jpg", 2, poster="t@t")
        talk = article("just talk", b"hello\n")
        write_spool(self.spool, [ones[2], twos[0], talk, ones[0], ones[1]])
        # Put under the log once, as the README says.
        log = os.path.join(self.home, ".quillonlog")
        self.assertEqual(self.quillon("-log", self.path("spool"),
                                      env={"QUILLONLOG": log})[0], 0)
        pictures = os.path.join(self.home, "pictures")

        # Nothing to mail; the part missing of two.jpg keeps its article.
        self.assertEqual(self.cron(), (0, b""))
        self.assertEqual(self.read("home", "pictures", "one.jpg"), one)
        self.assertEqual(sorted(os.listdir(self.spool)), ["2", "3"])

        # Its last part arrives, and a posting that lost its end line.
        write_spool(self.spool, twos[1:] + [without_end(
            posting(bad, "bad.jpg", 1, poster="b@b")[0])], first=6)
        os.remove(os.path.join(pictures, "one.jpg"))
        self.assertEqual(self.cron(), (1, b"quillon: short file bad.jpg\n"))
        self.assertEqual(sorted(os.listdir(pictures)),
                         ["bad.jpg", "two.jpg"])
        self.assertEqual(self.read("home", "pictures", "two.jpg"), two)
        self.assertEqual(self.read("home", "pictures", "bad.jpg"), bad)
        self.assertEqual(sorted(os.listdir(self.spool)), ["3", "7"])
        with open(log) as f:
            entries = sorted(l for l in f.read().split("\n")
                             if l.startswith("@"))
        self.assertEqual(entries, ["@1", "@2", "@4", "@5", "@6"])

    def test_the_man_page_shows_the_same_line(self):
        with open(os.path.join(HERE, "..", "quillon", "quillon.1")) as f:
            page = f.read().replace("\\-", "-")
        self.assertIn("\n%s\n" % cron_line(), page)


class MessageOrder(QuillonTest):

    def test_errors_stand_among_the_lines_they_follow(self):
        texts = [posting(random_bytes(300, i), name, 1, poster="p%d@x" % i)[0]
                 for i, name in enumerate(["a.bin", "b.bin", "c.bin"])]
        texts[1] = without_end(texts[1])
        write_spool(self.path("spool"), texts)
        os.mkdir(self.path("out"))
        done = subprocess.run(
            command(QUILLON, ["-dest", "out", "spool/1", "missing", "spool/2",
                              "spool/3"]),
            cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
            timeout=120)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(done.stdout.decode().split("\n"), [
            "Quillon ver 3.7.0",
            "",
            "a.bin (1/1)",
            "quillon: cannot access file missing",
            "b.bin (1/1)",
            "c.bin (1/1)",
            "",
            "Found 3 uuencoded file segments.",
            "3 complete (non-segmented) files found.",
            "",
            "UUdecoding a.bin",
            "UUdecoding b.bin",
            "Short file",
            "quillon: short file b.bin",
            "UUdecoding c.bin",
            "",
            "",
        ])


if __name__ == "__main__":
    unittest.main()
