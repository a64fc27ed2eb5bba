"""End-to-end tests of -log and -unlog and the QUILLONLOG log file."""

import os
import unittest

from quillon_e2e import QuillonTest

NOT_SET = b"quillon: QUILLONLOG enviroment variable not set\n"
CANT_OPEN = b"quillon: can't open log file\n"


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
        for args in (["-log", "/spool/pics", "a", "b"], ["-l", "spool"]):
            self.assertEqual(self.quillon(*args, env=self.env), (0, b"", b""))
        here = os.path.realpath(self.dir)
        self.assertEqual(self.log_text(),
                         ("*/spool/pics\n*%s/spool\n" % here).encode())

    def test_log_without_its_argument_does_nothing(self):
        rc, out, _ = self.quillon("-log", env=self.env)
        self.assertEqual((rc, out), (1, b""))
        self.assertFalse(os.path.exists(self.log))

    def test_log_failures_keep_exit_status(self):
        self.assertEqual(self.quillon("-log", "/spool"), (0, b"", NOT_SET))
        env = {"QUILLONLOG": self.path("none", "newslog")}
        self.assertEqual(self.quillon("-log", "/spool", env=env),
                         (1, b"", CANT_OPEN))

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
        self.assertEqual(os.listdir(self.dir), ["newslog"])

    def test_unlog_without_variable_does_nothing(self):
        self.assertEqual(self.quillon("-unlog", "/a"), (0, b"", b""))
        self.assertEqual(self.quillon("-unlog", "/a", env={"QUILLONLOG": ""}),
                         (1, b"", CANT_OPEN))
        self.assertEqual(os.listdir(self.dir), [])

    def test_failed_rewrite_keeps_the_old_log(self):
        os.mkdir(self.log)
        status, out, err = self.quillon("-unlog", "/a", env=self.env)
        self.assertEqual((status, out, err),
                         (1, self.messages(b"Reading"), CANT_OPEN))
        self.assertTrue(os.path.isdir(self.log))
        self.assertEqual(os.listdir(self.dir), ["newslog"])


if __name__ == "__main__":
    unittest.main()
