#!/usr/bin/env python3
"""Writes the seeds of the yEnc fuzz target in fuzz/corpus/yenc/: parts as
encoders post them, their data lines by the end-to-end tests' encoder
(tests/yenc.py), keyword lines sound and broken, data with every escape.
The first four bytes of each seed are the target's flags and cut points.
Run it again after changing it."""

import os
import random
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "yenc")
sys.path.insert(0, os.path.join(HERE, "..", "tests"))

from yenc import encode_lines  # noqa


def encode(data, line=128, crlf=True, escape_dots=True):
    """The data lines of `data`, each with its line end."""
    eol = b"\r\n" if crlf else b"\n"
    return b"".join(l + eol
                    for l in encode_lines(data, line, escape_dots=escape_dots))


def write(name, flags, text):
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(bytes(flags) + text)


def main():
    rng = random.Random(19)
    data = bytes(rng.randrange(256) for _ in range(3000))
    crc = zlib.crc32(data)
    part = (b"=ybegin part=1 total=2 line=128 size=6000 name=holiday pics.zip\r\n"
            b"=ypart begin=1 end=3000\r\n" + encode(data) +
            b"=yend size=3000 part=1 pcrc32=%08x crc32=%X\r\n" % (crc, crc))
    write("part", [0, 64, 128, 192], part)
    write("part-lf", [0, 10, 11, 200], part.replace(b"\r\n", b"\n"))
    single = (b"=ybegin line=128 size=3000 name=a.bin\r\n" + encode(data) +
              b"=yend size=3000 crc32=%x\r\n" % crc)
    write("single", [0, 1, 2, 3], single)
    every = bytes(range(256)) * 2
    write("every-byte", [0, 33, 99, 250], encode(every, line=61))
    stuffed = b"".join(b"." + l if l.startswith(b".") else l
                       for l in encode(every, line=17, escape_dots=False)
                       .splitlines(True))
    write("stuffed", [1, 5, 6, 7], b"..\r\n...\r\n.\r\n" + stuffed)
    write("escapes", [0, 128, 129, 130],
          b"a=y==\r\n=\r\n=\n\r\n=yend\r\nb=\r\r\n==y=J\r\n")
    broken = [b"=ybegin size=18446744073709551616 name=x\n",
              b"=ybegin part=0 size=1 name=x\n",
              b"=ybegin size=1 name=" + b"n" * 300 + b"\n",
              b"=ypart begin=5 end=4\n", b"=ypart begin=0 end=4\n",
              b"=yend size=1 pcrc32=123456789\n", b"=yend pcrc32=DeadBeef\n"]
    write("keywords", [0, 0, 0, 0],
          b"=ybegin line=128 size=10 name=x\n" + b"".join(broken))


if __name__ == "__main__":
    main()
