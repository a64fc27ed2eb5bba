"""The command line: option words, abbreviations, argument handling and the
choice of run mode."""

import os
import unittest

from quillon_e2e import QuillonTest, uuencode

BANNER = b"Quillon ver 3.7.0\n"


class OptionWords(QuillonTest):

    def test_ambiguous_and_unknown_words_end_the_run(self):
        for word in ["-d", "-de", "-e", "-", "-x", "--usage", "-deletex"]:
            rc, out, err = self.quillon(word, "file")
            self.assertEqual(rc, 1, word)
            self.assertEqual(out, b"", word)
            self.assertEqual(
                err, b'quillon: ambiguous or unknown command line option "'
                + word.encode() + b'"\n')

    def test_options_before_a_bad_word_already_took_effect(self):
        log = self.path("log")
        rc, _, err = self.quillon("-log", self.dir, "-zzz",
                                  env={"QUILLONLOG": log})
        self.assertEqual(rc, 1)
        self.assertIn(b"-zzz", err)
        self.assertEqual(self.read("log"), b"*%s\n" % self.dir.encode())

    def test_banner_unless_quiet(self):
        data = uuencode(b"hello\n", "h.txt")
        rc, out, _ = self.quillon(stdin=data)
        self.assertEqual(rc, 0)
        self.assertTrue(out.startswith(BANNER + b"\nUUdecoding h.txt\n"))
        rc, out, _ = self.quillon("-q", stdin=data)
        self.assertEqual((rc, out), (0, b"\n"))
        self.assertEqual(self.read("h.txt"), b"hello\n")

    def test_an_option_argument_is_taken_whatever_it_looks_like(self):
        # -dest takes "-quiet" as its directory; a.txt is the only file.
        os.mkdir(self.path("-quiet"))
        self.write("a.txt", uuencode(b"abc", "out.bin"))
        rc, out, _ = self.quillon("-dest", "-quiet", "-plain", "a.txt")
        self.assertEqual(rc, 0)
        self.assertTrue(out.startswith(BANNER))
        self.assertEqual(self.read("-quiet", "out.bin"), b"abc")

    def test_words_after_the_first_file_are_files(self):
        self.write("a.txt", uuencode(b"abc", "out.bin"))
        # In plain mode an input that cannot be opened ends the run.
        rc, out, err = self.quillon("-plain", "a.txt", "-quiet")
        self.assertEqual(rc, 1)
        self.assertTrue(out.startswith(BANNER))
        self.assertEqual(self.read("out.bin"), b"abc")
        self.assertEqual(err, b"quillon: cannot access file -quiet\n")

    def test_mode_is_octal(self):
        data = uuencode(b"x", "m.bin", mode="600")
        self.quillon("-q", "-mode", "644", stdin=data)
        self.assertEqual(os.stat(self.path("m.bin")).st_mode & 0o777, 0o644)
        os.remove(self.path("m.bin"))
        self.quillon("-q", "-m", "x", stdin=data)
        self.assertEqual(os.stat(self.path("m.bin")).st_mode & 0o777, 0o600)

    def test_option_needing_an_argument_as_last_word(self):
        # Without -plain: a scan of no files, which finds nothing.
        rc, out, _ = self.quillon("-dest")
        self.assertEqual(rc, 2)
        self.assertEqual(
            out, BANNER + b"\n\nFound 0 uuencoded file segments.\n")
        # With -plain: standard input is decoded.
        rc, out, _ = self.quillon("-plain", "-errors",
                                  stdin=uuencode(b"z", "z.bin"))
        self.assertEqual(rc, 0)
        self.assertEqual(self.read("z.bin"), b"z")


class LogOptions(QuillonTest):

    def test_log_alone_does_nothing(self):
        rc, out, err = self.quillon("-log", env={"QUILLONLOG": self.path("l")})
        self.assertEqual((rc, out, err), (0, b"", b""))
        self.assertFalse(os.path.exists(self.path("l")))

    def test_log_ignores_files_and_prints_no_banner(self):
        self.write("a.txt", uuencode(b"abc", "out.bin"))
        rc, out, _ = self.quillon("-l", self.dir, "a.txt",
                                  env={"QUILLONLOG": self.path("l")})
        self.assertEqual((rc, out), (0, b""))
        self.assertFalse(os.path.exists(self.path("out.bin")))


if __name__ == "__main__":
    unittest.main()
