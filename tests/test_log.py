"""End-to-end tests of -log and -unlog and the QUILLONLOG log file."""

import os
import subprocess
import unittest

from quillon_e2e import QUILLON, QuillonTest, command
from spool import posting, random_bytes, write_spool

NOT_SET = b"quillon: QUILLONLOG enviroment variable not set\n"
CANT_OPEN = b"quillon: can't open log file\n"
NOBODY = 65534


class LogOptionTest(QuillonTest):

    def setUp(self):
        super().setUp()
        self.log = self.path("newslog")
        self.env = {"QUILLONLOG": self.log}

    def log_text(self):
        with open(self.log, "rb") as f:
            return f.read()

    def messages(self, *kinds):
        return b"".join(b"%s %s\n" % (k, self.log.encode()) for k in kinds)

    def test_log_appends_directory_lines(self):
        os.mkdir(self.path("pics"))
        os.mkdir(self.path("spool"))
        for args in (["-log", self.path("pics"), "a", "b"], ["-l", "spool"]):
            self.assertEqual(self.quillon(*args, env=self.env), (0, b"", b""))
        here = os.path.realpath(self.dir)
        self.assertEqual(self.log_text(), ("*%s\n*%s/spool\n" % (
            self.path("pics"), here)).encode())

    def test_log_without_its_argument_does_nothing(self):
        rc, out, _ = self.quillon("-log", env=self.env)
        self.assertEqual((rc, out), (1, b""))
        self.assertFalse(os.path.exists(self.log))

    def test_log_failures(self):
        self.assertEqual(self.quillon("-log", self.dir), (0, b"", NOT_SET))
        log = self.path("none", "newslog")
        self.assertEqual(self.quillon("-log", self.dir,
                                      env={"QUILLONLOG": log}),
                         (1, b"", b"quillon: cannot lock %s.lock\n"
                          % log.encode()))

    def test_unlog_leaves_out_by_plain_prefix(self):
        self.write("newslog", "*/spool/pics\n@1\n@2\n*/spool/pics2\n@3\n"
                              "*/spool\n@4\n@5\n")
        status, out, err = self.quillon("-unlog", "/spool/pics", "x",
                                        env=self.env)
        self.assertEqual((status, err), (0, b""))
        self.assertEqual(out, self.messages(b"Reading", b"Updating"))
        self.assertEqual(self.log_text(), b"*/spool\n@5\n@4\n")

    def test_two_unlogs_in_one_command_line(self):
        self.write("newslog", "*/a\n@1\n*/b\n@2\n*/c\n@3\n")
        status, out, _ = self.quillon("-unlog", "/a", "-u", "/b",
                                      env=self.env)
        self.assertEqual(status, 0)
        self.assertEqual(out, self.messages(b"Reading", b"Updating") * 2)
        self.assertEqual(self.log_text(), b"*/a\n@1\n*/c\n@3\n@3\n")

    def test_unlog_from_inside_a_logged_directory(self):
        here = os.path.realpath(self.dir)
        self.write("newslog", "*%s\n@1\n*/other\n@2\n@3\n" % here)
        self.assertEqual(self.quillon("-q", "-unlog", "/none", env=self.env),
                         (0, b"", b""))
        self.assertEqual(self.log_text(),
                         ("*%s\n*/other\n@3\n@2\n" % here).encode())

    def test_unlog_of_a_missing_log_makes_it_empty(self):
        status, out, err = self.quillon("-unlog", "/a", "-q", env=self.env)
        self.assertEqual((status, out, err),
                         (0, self.messages(b"Updating"), b""))
        self.assertEqual(self.log_text(), b"")
        self.assertEqual(sorted(os.listdir(self.dir)),
                         ["newslog", "newslog.lock"])

    def test_unlog_without_variable_does_nothing(self):
        self.assertEqual(self.quillon("-unlog", "/a"), (0, b"", b""))
        self.assertEqual(self.quillon("-unlog", "/a", env={"QUILLONLOG": ""}),
                         (1, b"", CANT_OPEN))
        self.assertEqual(os.listdir(self.dir), [])

    def test_a_directory_is_no_log(self):
        os.mkdir(self.log)
        status, out, err = self.quillon("-unlog", "/a", env=self.env)
        self.assertEqual((status, out, err), (1, b"", CANT_OPEN))
        self.assertTrue(os.path.isdir(self.log))
        self.assertEqual(os.listdir(self.log), [])
        self.assertEqual(sorted(os.listdir(self.dir)),
                         ["newslog", "newslog.lock"])

    def test_log_takes_only_a_new_directory(self):
        here = os.path.realpath(self.dir)
        os.mkdir(self.path("spool"))
        self.write("file", "")
        text = ("*%s/spool\n@1\n" % here).encode()
        self.write("newslog", text)
        for args, expected in [
                (["-log", "none"], b"quillon: none is not a directory\n"),
                (["-log", "file/"], b"quillon: file/ is not a directory\n"),
                (["-log", ""], b"quillon:  is not a directory\n"),
                # Another spelling of a directory the log has.
                (["-log", "./spool/", "-log", here + "/spool"], b"")]:
            self.assertEqual(self.quillon(*args, env=self.env),
                             (1 if expected else 0, b"", expected), args)
            self.assertEqual(self.log_text(), text, args)
        # One command line, one new directory named twice: one line.
        self.assertEqual(self.quillon("-log", "file", "-log", ".", "-log",
                                      self.dir, env=self.env),
                         (1, b"", b"quillon: file is not a directory\n"))
        self.assertEqual(self.log_text(), text + b"*%s\n" % here.encode())


class UnreadableLogs(QuillonTest):
    """A log that exists but cannot be read stops every run that uses it
    before anything is done."""

    def setUp(self):
        super().setUp()
        self.log = self.path("newslog")
        self.data = random_bytes(2000, 54)
        self.files = write_spool(self.path("spool"),
                                 posting(self.data, "u.bin", 2))
        self.text = ("*%s\n@7\n" % self.path("spool")).encode()

    def check_stops(self, run):
        for args in (["-q", "-delete"] + self.files,
                     ["-q", "-unlog", self.path("spool")],
                     ["-log", self.path("spool")]):
            self.assertEqual(run(args), (1, b"", CANT_OPEN), args[1])
        self.assertFalse(os.path.exists(self.path("u.bin")))
        self.assertEqual(len(os.listdir(self.path("spool"))), 2)

    def test_a_directory_or_a_fifo(self):
        for make, remove in ((os.mkdir, os.rmdir), (os.mkfifo, os.remove)):
            with self.subTest(make.__name__):
                make(self.log)
                self.check_stops(lambda args: self.quillon(
                    *args, env={"QUILLONLOG": self.log}))
                remove(self.log)

    def test_a_log_the_user_may_not_read(self):
        # Root reads any file: the runs are made as nobody then.
        user = {}
        if os.geteuid() == 0:
            user = dict(user=NOBODY, group=NOBODY, extra_groups=[])
            os.chmod(self.dir, 0o777)
        self.write("newslog", self.text)
        os.chmod(self.log, 0o200)
        if user:
            os.chown(self.log, NOBODY, NOBODY)

        def run(args):
            env = dict(os.environ, QUILLONLOG=self.log)
            done = subprocess.run(command(QUILLON, args), cwd=self.dir,
                                  env=env, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=120, **user)
            return done.returncode, done.stdout, done.stderr
        self.check_stops(run)
        os.chmod(self.log, 0o600)
        self.assertEqual(self.read("newslog"), self.text)


if __name__ == "__main__":
    unittest.main()
