#!/usr/bin/env python3
"""Writes the seeds of the MIME walk fuzz target in fuzz/corpus/mime_walk/:
messages as Python's email package writes them (base64, quoted-printable and
x-uuencode parts, nested multipart/alternative, message/rfc822, RFC 2231
names), one without its closing boundary, and the articles of a split
message as mpack writes them. Run it again after changing it."""

import binascii
import os
from email.message import EmailMessage

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "mime_walk")


def write(name, text):
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(text)


def uuencoded(data, name):
    lines = [b"begin 644 " + name.encode()]
    lines += [binascii.b2a_uu(data[i:i + 45]).rstrip(b"\n")
              for i in range(0, len(data), 45)]
    return b"\n".join(lines + [b"`", b"end", b""])


def main():
    data = bytes(range(256)) * 2
    m = EmailMessage()
    m["Subject"] = "pictures (1/1)"
    m.set_content("see attached")
    m.add_alternative("<p>see attached</p>", subtype="html")
    m.make_mixed()
    m.add_attachment(data, maintype="image", subtype="png",
                     filename="caf\u00e9 photo.png")
    m.add_attachment("caf\u00e9 = bar\n", subtype="plain",
                     cte="quoted-printable", filename="menu.txt")
    inner = EmailMessage()
    inner["Subject"] = "inner"
    inner.set_content(data[:60], maintype="application",
                      subtype="octet-stream", filename="in.bin")
    m.add_attachment(inner)
    uu = EmailMessage()
    uu["Subject"] = "old"
    uu.set_content(uuencoded(data[:90], "old.bin"), maintype="application",
                   subtype="octet-stream", cte="7bit", filename="old.bin")
    uu.replace_header("Content-Transfer-Encoding", "x-uuencode")
    m.set_boundary("===============0123456789==")
    whole = bytes(m)
    write("python-mixed", whole)
    write("python-x-uuencode", bytes(uu))
    write("no-closing-boundary", whole[:whole.rindex(b"\n--")])
    # The first byte cuts a split message's first part after its header.
    head = (b"\x2fMessage-ID: <1@vm>\nSubject: s (1/2)\nContent-Type: "
            b"message/partial; number=1; total=2; id=\"x@vm\"\n\n")
    write("mpack-partial", head + whole)


if __name__ == "__main__":
    main()
