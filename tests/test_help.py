"""--help and --version as the first word, and every other "--" word still
an unknown option."""

import os
import subprocess
import unittest

from quillon_e2e import QUILLON, QuillonTest, command, uuencode

OPTIONS = [("-delete", "-del"), ("-quiet", "-q"), ("-extended", "-ex"),
           ("-dest", "-des"), ("-mode", "-m"), ("-plain", "-p"),
           ("-dir", "-di"), ("-keywords", "-k"), ("-errors", "-er"),
           ("-log", "-l"), ("-unlog", "-u"), ("-dos", "-do"),
           ("-files", "-f")]


def unknown(word):
    return (b'quillon: ambiguous or unknown command line option "'
            + word.encode() + b'"\nTry \'quillon --help\'.\n')


class HelpAndVersion(QuillonTest):

    def test_version(self):
        for extra in [[], ["file"], ["--help"]]:
            with self.subTest(extra=extra):
                self.assertEqual(self.quillon("--version", *extra),
                                 (0, b"quillon 3.7.0\n", b""))

    def test_help_lists_every_option_with_its_shortest_form(self):
        rc, out, err = self.quillon("--help")
        self.assertEqual((rc, err), (0, b""))
        text = out.decode()
        self.assertTrue(
            text.startswith("Usage: quillon [options] [file ...]\n"))
        lines = text.splitlines()
        for word, shortest in OPTIONS:
            with self.subTest(word=word):
                line = [l for l in lines if l.split()[:1] == [word]]
                self.assertEqual(len(line), 1, word)
                self.assertIn(" %s " % shortest, line[0])
        for needed in ["QUILLONLOG", "Exit status", "man quillon"]:
            self.assertIn(needed, text)
        self.assertLessEqual(max(len(l) for l in lines), 79)

    def test_help_touches_nothing(self):
        # Neither the log nor standard input is looked at.
        log = self.path("log")
        rc, out, _ = self.quillon("--help", "-log", "/spool/x",
                                  stdin=uuencode(b"x", "x.bin"),
                                  env={"QUILLONLOG": log})
        self.assertEqual(rc, 0)
        self.assertTrue(out.startswith(b"Usage: "))
        self.assertEqual(os.listdir(self.dir), [])

    def test_other_double_dash_words_stay_unknown(self):
        for args in [["--", "f"], ["--h"], ["--helpx"], ["--Help"],
                     ["--versio"], ["--usage"], ["-q", "--help"],
                     ["-q", "--version"], ["--quiet"]]:
            with self.subTest(args=args):
                rc, out, err = self.quillon(*args)
                self.assertEqual((rc, out), (1, b""))
                word = args[1] if args[0] == "-q" else args[0]
                self.assertEqual(err, unknown(word))

    def test_help_after_the_first_word_is_a_file_name(self):
        # After the options end, "--help" is just a file that is not there.
        data = uuencode(b"abc", "a.bin")
        self.write("a.uu", data)
        rc, out, err = self.quillon("-plain", "a.uu", "--help")
        self.assertEqual(rc, 1)
        self.assertTrue(out.startswith(b"Quillon ver 3.7.0\n"))
        self.assertEqual(err, b"quillon: cannot access file --help\n")

    def test_write_error_fails(self):
        try:
            full = open("/dev/full", "wb")
        except OSError:
            self.skipTest("no /dev/full")
        with full:
            done = subprocess.run(command(QUILLON, ["--version"]), stdout=full,
                                  stderr=subprocess.PIPE)
        self.assertEqual((done.returncode, done.stderr),
                         (1, b"quillon: write error\n"))


if __name__ == "__main__":
    unittest.main()
