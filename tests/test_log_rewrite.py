"""The processed-file log: relative -log and -unlog directories, logs that
may not be rewritten, and logs reached through symbolic links."""

import os
import stat
import subprocess
import unittest

from quillon_e2e import QUILLON, QuillonTest, command
from spool import posting, random_bytes, write_spool

CANT_OPEN = b"quillon: can't open log file\n"
NOBODY = 65534


class RelativeDirectories(QuillonTest):

    def setUp(self):
        super().setUp()
        self.here = os.path.realpath(self.dir)
        self.log = self.path("newslog")
        self.env = {"QUILLONLOG": self.log}

    def log_text(self):
        with open(self.log, "rb") as f:
            return f.read().decode()

    def test_log_spool_then_decode_spool_files(self):
        data = random_bytes(4000, 51)
        write_spool(self.path("spool"), posting(data, "a.bin", 2))
        self.assertEqual(self.quillon("-log", "spool", env=self.env),
                         (0, b"", b""))
        rc, _, err = self.quillon("-q", "spool/1", "spool/2", env=self.env)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(self.read("a.bin"), data)
        self.assertEqual(self.log_text(), "*%s/spool\n@2\n@1\n" % self.here)
        # The next run skips both: it finds nothing to decode.
        os.unlink(self.path("a.bin"))
        rc, _, _ = self.quillon("-q", "spool/1", "spool/2", env=self.env)
        self.assertEqual(rc, 2)
        self.assertFalse(os.path.exists(self.path("a.bin")))

    def test_leading_dot_dot_and_unlog(self):
        os.mkdir(self.path("sub"))
        os.mkdir(self.path("spool"))
        self.assertEqual(self.quillon("-log", "../spool", "-log", "/",
                                      env=self.env, cwd=self.path("sub")),
                         (0, b"", b""))
        self.assertEqual(self.log_text(), "*%s/spool\n*/\n" % self.here)
        self.write("newslog", "*%s/spool\n@1\n*%s/spool2\n*%s/other\n"
                   "*/abs\n" % (self.here, self.here, self.here))
        rc, _, err = self.quillon("-q", "-unlog", "spool", env=self.env)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(self.log_text(), "*%s/other\n*/abs\n" % self.here)


    def test_every_spelling_of_a_directory_matches(self):
        data = random_bytes(2000, 53)
        write_spool(self.path("spool", "g"), posting(data, "s.bin", 1),
                    first=123)
        # Every spelling is one directory line, made once.
        for spelling in ["./spool/", "spool//", "spool",
                         self.here + "/./spool/", "spool/g/.."]:
            self.assertEqual(self.quillon("-log", spelling, env=self.env),
                             (0, b"", b""))
            self.assertEqual(self.log_text(), "*%s/spool\n" % self.here)
        # Decoded under one spelling of the file, skipped under every other.
        files = ["spool/g/123", "./spool/g/123", "spool//g/./123",
                 self.here + "/spool/../spool/g/123"]
        self.assertEqual(self.quillon("-q", files[0], env=self.env)[0], 0)
        self.assertEqual(self.read("s.bin"), data)
        for other in files[1:]:
            self.assertEqual(self.quillon("-q", other, env=self.env)[0], 2,
                             other)
        self.assertEqual(self.log_text(), "*%s/spool\n*%s/spool/g\n@123\n"
                         % (self.here, self.here))
        self.assertEqual(self.quillon("-q", "-unlog", "./spool/",
                                      env=self.env), (0, b"", b""))
        self.assertEqual(self.log_text(), "")


class SymbolicLinks(QuillonTest):

    def unlog(self, log):
        return self.quillon("-q", "-unlog", "/x", env={"QUILLONLOG": log})

    def test_a_link_to_a_missing_log_stays_a_link(self):
        os.mkdir(self.path("d"))
        os.symlink("newslog", self.path("d", "newslog.link"))
        self.assertEqual(self.unlog(self.path("d", "newslog.link")),
                         (0, b"", b""))
        self.assertEqual(os.readlink(self.path("d", "newslog.link")),
                         "newslog")
        self.assertEqual(self.read("d", "newslog"), b"")
        # The lock is beside the name given, not beside the file.
        self.assertEqual(sorted(os.listdir(self.path("d"))),
                         ["newslog", "newslog.link", "newslog.link.lock"])

    def test_a_chain_of_relative_links(self):
        os.mkdir(self.path("sub"))
        os.mkdir(self.path("real"))
        os.symlink("sub/second", self.path("first"))
        os.symlink("../real/newslog", self.path("sub", "second"))
        self.write("real/newslog", "*/x/y\n@1\n*/keep\n@2\n")
        self.assertEqual(self.unlog(self.path("first")), (0, b"", b""))
        self.assertEqual(os.readlink(self.path("first")), "sub/second")
        self.assertEqual(os.readlink(self.path("sub", "second")),
                         "../real/newslog")
        self.assertEqual(self.read("real", "newslog"), b"*/keep\n@2\n")
        self.assertEqual(os.listdir(self.path("real")), ["newslog"])

    def test_a_loop_of_links_is_not_rewritten(self):
        os.symlink("b", self.path("a"))
        os.symlink("a", self.path("b"))
        self.assertEqual(self.unlog(self.path("a")), (1, b"", CANT_OPEN))
        self.assertEqual(os.readlink(self.path("a")), "b")
        self.assertEqual(sorted(os.listdir(self.dir)), ["a", "a.lock", "b"])

    def test_a_link_to_a_directory_is_not_rewritten(self):
        os.mkdir(self.path("d"))
        os.symlink("d", self.path("newslog"))
        rc, out, err = self.quillon("-unlog", "/x",
                                    env={"QUILLONLOG": self.path("newslog")})
        self.assertEqual((rc, err), (1, CANT_OPEN))
        self.assertNotIn(b"Updating", out)
        self.assertEqual(os.listdir(self.path("d")), [])


@unittest.skipUnless(os.geteuid() == 0,
                     "needs root to run quillon as another user")
class LogsOfAnotherUser(QuillonTest):
    """A log owned by root, mode 0444, in a directory anyone may write: a
    user who is not root may not rewrite it, though the directory would let
    him replace it."""

    def setUp(self):
        super().setUp()
        os.chmod(self.dir, 0o777)
        self.log = self.path("newslog")
        self.spool = self.path("spool")
        self.data = random_bytes(3000, 52)
        files = write_spool(self.spool, posting(self.data, "n.bin", 1))
        self.article = files[0]
        self.text = ("*%s\n@7\n" % self.spool).encode()
        self.write("newslog", self.text)
        os.chmod(self.log, 0o444)

    def as_nobody(self, *args):
        env = dict(os.environ, QUILLONLOG=self.log)
        done = subprocess.run(command(QUILLON, args), stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, cwd=self.dir, env=env,
                              timeout=120, user=NOBODY, group=NOBODY,
                              extra_groups=[])
        return done.returncode, done.stdout, done.stderr

    def assert_log_untouched(self):
        st = os.lstat(self.log)
        self.assertEqual((st.st_uid, stat.S_IMODE(st.st_mode)), (0, 0o444))
        self.assertTrue(stat.S_ISREG(st.st_mode))
        self.assertEqual(self.read("newslog"), self.text)
        leftovers = [n for n in os.listdir(self.dir)
                     if n.startswith("newslog.") and n != "newslog.lock"]
        self.assertEqual(leftovers, [])

    def test_unlog(self):
        rc, out, err = self.as_nobody("-unlog", self.spool)
        self.assertEqual((rc, out, err),
                         (1, b"Reading %s\n" % self.log.encode(), CANT_OPEN))
        self.assert_log_untouched()

    def test_log(self):
        os.mkdir(self.path("other"))
        self.assertEqual(self.as_nobody("-log", self.path("other")),
                         (1, b"", CANT_OPEN))
        self.assert_log_untouched()

    def test_scan_decodes_but_keeps_the_log(self):
        rc, out, err = self.as_nobody(self.article)
        self.assertEqual((rc, err), (1, CANT_OPEN))
        self.assertIn(b"UUdecoding n.bin\n", out)
        self.assertNotIn(b"Updating", out)
        self.assertEqual(self.read("n.bin"), self.data)
        self.assert_log_untouched()

    def test_own_log_is_rewritten(self):
        os.chown(self.log, NOBODY, NOBODY)
        os.chmod(self.log, 0o600)
        rc, out, err = self.as_nobody("-q", self.article)
        self.assertEqual((rc, err), (0, b""))
        # The new entry comes first, the loaded ones follow.
        self.assertEqual(self.read("newslog"),
                         ("*%s\n@1\n@7\n" % self.spool).encode())
        st = os.stat(self.log)
        self.assertEqual((st.st_uid, stat.S_IMODE(st.st_mode)),
                         (NOBODY, 0o600))

    def test_a_shared_log_stays_its_owners(self):
        # Writable through its group: rewritten where it is, still root's.
        os.chown(self.log, 0, NOBODY)
        os.chmod(self.log, 0o664)
        rc, _, err = self.as_nobody("-q", "-unlog", self.spool)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(self.read("newslog"), b"")
        st = os.stat(self.log)
        self.assertEqual((st.st_uid, st.st_gid, stat.S_IMODE(st.st_mode)),
                         (0, NOBODY, 0o664))
        self.assertEqual(sorted(os.listdir(self.dir)),
                         ["newslog", "newslog.lock", "spool"])

    def test_own_log_in_a_directory_of_another_user(self):
        os.mkdir(self.path("ro"), 0o755)
        self.log = self.path("ro", "newslog")
        self.write("ro/newslog", self.text)
        os.chown(self.log, NOBODY, NOBODY)
        # The lock file cannot be made there: nothing is done.
        self.assertEqual(self.as_nobody("-q", "-unlog", self.spool),
                         (1, b"", b"quillon: cannot lock %s.lock\n"
                          % self.log.encode()))
        self.assertEqual(self.read("ro", "newslog"), self.text)
        # One made by the directory's owner serves, read-only as it is.
        self.write("ro/newslog.lock", "")
        rc, _, err = self.as_nobody("-q", "-unlog", "/none")
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(self.read("ro", "newslog"),
                         ("*%s\n@7\n" % self.spool).encode())
        self.assertEqual(sorted(os.listdir(self.path("ro"))),
                         ["newslog", "newslog.lock"])

    def test_root_keeps_the_owner_of_a_users_log(self):
        os.chown(self.log, NOBODY, NOBODY)
        rc, _, err = self.quillon("-q", "-unlog", "/none",
                                  env={"QUILLONLOG": self.log})
        self.assertEqual((rc, err), (0, b""))
        st = os.stat(self.log)
        self.assertEqual((st.st_uid, st.st_gid, stat.S_IMODE(st.st_mode)),
                         (NOBODY, NOBODY, 0o444))


if __name__ == "__main__":
    unittest.main()
