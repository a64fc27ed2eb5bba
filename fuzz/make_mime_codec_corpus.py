#!/usr/bin/env python3
"""Writes the seeds of the MIME codec fuzz target in fuzz/corpus/mime_codec/:
base64 and quoted-printable bodies as Python's encoders write them (lines of
76 characters, LF and CR LF, padding, soft line breaks), cut short and with
junk. The first four bytes of each seed are the target's cut points. Run it
again after changing it."""

import base64
import os
import quopri
import random

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "mime_codec")


def write(name, cuts, text):
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(bytes(cuts) + text)


def main():
    rng = random.Random(26)
    data = bytes(rng.randrange(256) for _ in range(2000))
    lines = base64.encodebytes(data)
    write("base64-lf", [0, 64, 128, 192], lines)
    write("base64-crlf", [10, 11, 12, 250], lines.replace(b"\n", b"\r\n"))
    write("base64-padded", [1, 2, 3, 4], base64.encodebytes(data[:100]))
    write("base64-cut", [5, 6, 90, 91], lines[:-7])
    write("base64-junk", [0, 30, 31, 200],
          b"  " + lines[:300].replace(b"Q", b"Q*").replace(b"\n", b" \t\n")
          + b"=\n" + lines[300:400])
    text = ("Caf\u00e9 au lait = 3 \u20ac, trailing blanks   \n"
            "a very long line " * 6 + "\n\tindented\n").encode()
    qp = quopri.encodestring(text)
    write("qp", [0, 50, 100, 150], qp)
    write("qp-crlf", [3, 4, 5, 6], qp.replace(b"\n", b"\r\n"))
    write("qp-malformed", [0, 0, 128, 255],
          b"=G1 =4 = x =3d=3D==\n=4=\n=A\nsoft=  \r\nend=")


if __name__ == "__main__":
    main()
