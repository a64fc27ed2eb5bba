"""The bash completion of quillon, run in bash as the shell would."""

import os
import shutil
import subprocess
import unittest

from quillon_e2e import HERE, QuillonTest

COMPLETION = os.path.join(HERE, "..", "completion", "quillon.bash")
OPTIONS = ["-delete", "-quiet", "-extended", "-dest", "-mode", "-plain",
           "-dir", "-keywords", "-errors", "-log", "-unlog", "-dos", "-files"]

SCRIPT = """
source "$1"
shift
COMP_WORDS=("$@")
COMP_CWORD=$(($# - 1))
_quillon
printf '%s\\n' "${COMPREPLY[@]}"
"""


@unittest.skipIf(shutil.which("bash") is None, "no bash")
class Completion(QuillonTest):

    def complete(self, *words):
        done = subprocess.run(
            ["bash", "-c", SCRIPT, "bash", COMPLETION, "quillon"] +
            list(words), cwd=self.dir, stdout=subprocess.PIPE, check=True)
        return sorted(w for w in done.stdout.decode().split("\n") if w)

    def test_cases(self):
        os.mkdir(self.path("spool"))
        self.write("spool.txt", "")
        self.write("-odd", "")
        everything = ["-odd", "spool", "spool.txt"]
        cases = [
            (["-"], sorted(OPTIONS)),
            (["-d"], ["-delete", "-dest", "-dir", "-dos"]),
            (["--"], ["--help", "--version"]),
            (["-q", "--"], []),
            # Directories after -dest, -log and -unlog, any file after
            # -errors; abbreviations count.
            (["-dest", ""], ["spool"]),
            (["-des", "s"], ["spool"]),
            (["-l", ""], ["spool"]),
            (["-unlog", "sp"], ["spool"]),
            (["-er", "sp"], ["spool", "spool.txt"]),
            (["-f", "sp"], ["spool", "spool.txt"]),
            (["-f", "-", "-p"], ["-plain"]),
            (["-mode", ""], []),
            (["-k", ""], []),
            # An option's argument is never an option.
            (["-dest", "-quiet", "-p"], ["-plain"]),
            # Options end at the first file.
            (["spool.txt", "-"], ["-odd"]),
            (["-q", "spool.txt", ""], everything),
            ([""], everything),
        ]
        for words, want in cases:
            with self.subTest(words=words):
                self.assertEqual(self.complete(*words), want)

    def test_registers_for_quillon(self):
        done = subprocess.run(
            ["bash", "-c", 'source "$1" && complete -p quillon', "bash",
             COMPLETION], stdout=subprocess.PIPE, check=True)
        self.assertEqual(done.stdout, b"complete -F _quillon quillon\n")


if __name__ == "__main__":
    unittest.main()
