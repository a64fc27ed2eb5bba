"""Shared helpers for the end-to-end tests: run the built programs in a
temporary directory and make uuencoded input."""

import binascii
import os
import shutil
import subprocess
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
QUILLON = os.environ.get("QUILLON", os.path.join(HERE, "..", "build", "quillon"))
FIBONACCI = os.environ.get("FIBONACCI", os.path.join(HERE, "..", "build", "fibonacci"))
RESCREEN = os.environ.get("RESCREEN", os.path.join(HERE, "..", "build", "rescreen"))
# Runs the built programs where the kernel cannot (32-bit builds on a host
# without 32-bit support): a command such as "qemu-i386", or empty.
EMULATOR = os.environ.get("QUILLON_EMULATOR", "").split()


def command(program, args, argv0=None):
    """The command line that runs `program`, through EMULATOR if set."""
    if not EMULATOR:
        return [argv0 or program] + list(args)
    return EMULATOR + (["-0", argv0] if argv0 else []) + [program] + list(args)


def readme_block(marker):
    """The lines of the fenced block after `marker` in the README, found as
    .ci/run finds the test command."""
    with open(os.path.join(HERE, "..", "README.md")) as f:
        lines = f.read().splitlines()
    at = lines.index(marker) + 1
    assert lines[at].startswith("```"), lines[at]
    end = lines.index("```", at + 1)
    return lines[at + 1:end]


def uuencode(data, name, mode="644", crlf=False):
    """The whole uuencoded file, as uuencode writes it ("`" for zero)."""
    eol = "\r\n" if crlf else "\n"
    lines = ["begin %s %s" % (mode, name)]
    for at in range(0, len(data), 45):
        line = binascii.b2a_uu(data[at:at + 45], backtick=True).decode()
        lines.append(line.rstrip("\n"))
    lines += ["`", "end"]
    return (eol.join(lines) + eol).encode()


def uuencode_lines(data):
    """Only the data lines of `data`, each with its newline."""
    return [binascii.b2a_uu(data[at:at + 45], backtick=True)
            for at in range(0, len(data), 45)]


def sharutils_uuencode(data, name):
    """Output of the system's uuencode, or None where it is not installed."""
    tool = shutil.which("uuencode")
    if tool is None:
        return None
    return subprocess.run([tool, name], input=data, stdout=subprocess.PIPE,
                          check=True).stdout


class QuillonTest(unittest.TestCase):
    """A test with its own temporary working directory."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quillon-e2e-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def write(self, name, data):
        if isinstance(data, str):
            data = data.encode()
        full = self.path(name)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data)
        return full

    def read(self, *names):
        with open(self.path(*names), "rb") as f:
            return f.read()

    def run_program(self, program, args, stdin=b"", env=None, cwd=None):
        full_env = dict(os.environ)
        full_env.pop("QUILLONLOG", None)
        full_env.update(env or {})
        done = subprocess.run(command(program, args), input=stdin,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              cwd=cwd or self.dir, env=full_env, timeout=120)
        return done.returncode, done.stdout, done.stderr

    def quillon(self, *args, stdin=b"", env=None, cwd=None):
        return self.run_program(QUILLON, args, stdin, env, cwd)
