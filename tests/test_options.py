"""The command line: option words, abbreviations, argument handling and the
choice of run mode."""

import os
import unittest

from quillon_e2e import QuillonTest, uuencode

BANNER = b"Quillon ver 3.7.0\n"
TRY = b"Try 'quillon --help'.\n"

# Command lines that are refused as a whole, and what is said. a.uu would be
# decoded, and standard input too where there is no file.
REFUSED = [
    (["-x", "a.uu"],
     b'quillon: ambiguous or unknown command line option "-x"\n'),
    (["-mode", "999", "a.uu"], b'quillon: bad mode "999"\n'),
    (["-m", "abc"], b'quillon: bad mode "abc"\n'),
    (["-m", "-1", "a.uu"], b'quillon: bad mode "-1"\n'),
    (["-q", "-dest"], b'quillon: option "-dest" needs a value\n'),
    (["-q", "-m"], b'quillon: option "-m" needs a value\n'),
    (["-plain", "-keywords"], b'quillon: option "-keywords" needs a value\n'),
    (["-p", "-er"], b'quillon: option "-er" needs a value\n'),
    (["-log"], b'quillon: option "-log" needs a value\n'),
    (["-unlog"], b'quillon: option "-unlog" needs a value\n'),
    (["-files"], b'quillon: option "-files" needs a value\n'),
    (["-dest", "a.uu", "a.uu"], b"quillon: a.uu is not a directory\n"),
    (["-dest", "nowhere"], b"quillon: nowhere is not a directory\n"),
    (["-files", "list", "-f", "list", "a.uu"],
     b'quillon: option "-f" can be given only once\n'),
]


class OptionWords(QuillonTest):

    def test_ambiguous_and_unknown_words_end_the_run(self):
        for word in ["-d", "-de", "-e", "-", "-x", "--usage", "-deletex"]:
            rc, out, err = self.quillon(word, "file")
            self.assertEqual(rc, 1, word)
            self.assertEqual(out, b"", word)
            self.assertEqual(
                err, b'quillon: ambiguous or unknown command line option "'
                + word.encode() + b'"\n' + TRY)

    def test_a_refused_command_line_changes_nothing(self):
        # Every word is checked before any option acts: a -log before the
        # fault does not write the log either.
        self.write("a.uu", uuencode(b"abc", "out.bin"))
        self.write("list", "a.uu\n")
        log = self.write("log", "*/spool/x\n")
        stdin = uuencode(b"stdin", "in.bin")
        for args, message in REFUSED:
            for before in [[], ["-log", self.dir]]:
                with self.subTest(args=before + args):
                    self.assertEqual(
                        self.quillon(*before, *args, stdin=stdin,
                                     env={"QUILLONLOG": log}),
                        (1, b"", message + TRY))
                    self.assertEqual(self.read("log"), b"*/spool/x\n")
                    self.assertEqual(sorted(os.listdir(self.dir)),
                                     ["a.uu", "list", "log"])

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
        # 0 is no -mode: the begin line's mode.
        for value, mode in [("644", 0o644), ("0640", 0o640), ("0", 0o600)]:
            with self.subTest(value=value):
                self.assertEqual(self.quillon("-q", "-mode", value,
                                              stdin=data)[0], 0)
                self.assertEqual(os.stat(self.path("m.bin")).st_mode & 0o7777,
                                 mode)
                os.remove(self.path("m.bin"))


class LogOptions(QuillonTest):

    def test_log_alone_is_refused(self):
        rc, out, err = self.quillon("-log", env={"QUILLONLOG": self.path("l")})
        self.assertEqual((rc, out),  (1, b""))
        self.assertEqual(err, b'quillon: option "-log" needs a value\n' + TRY)
        self.assertFalse(os.path.exists(self.path("l")))

    def test_log_ignores_files_and_prints_no_banner(self):
        self.write("a.txt", uuencode(b"abc", "out.bin"))
        rc, out, _ = self.quillon("-l", self.dir, "a.txt",
                                  env={"QUILLONLOG": self.path("l")})
        self.assertEqual((rc, out), (0, b""))
        self.assertFalse(os.path.exists(self.path("out.bin")))


if __name__ == "__main__":
    unittest.main()
