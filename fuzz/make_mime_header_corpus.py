#!/usr/bin/env python3
"""Writes the seeds of the MIME header fuzz target in
fuzz/corpus/mime_header/: part headers as Python's email package writes them
(RFC 2231 names, sections, encoded words), headers of mpack's split articles
and of Outlook Express, and broken forms. The first byte of each seed is the
size of the pieces the target feeds, less one. Run it again after changing
it."""

import os
from email.message import EmailMessage
from email.policy import SMTP

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "mime_header")


def write(name, piece, text):
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(bytes([piece - 1]) + text)


def python_parts():
    """The headers of an email package message and of its attachments."""
    m = EmailMessage()
    m["Subject"] = "pictures \u00e9t\u00e9 (1/1)"
    m["Message-ID"] = "<1@example.org>"
    m.set_content("see attached")
    m.add_attachment(b"x", maintype="application", subtype="octet-stream",
                     filename="na\u00efve r\u00e9sum\u00e9.pdf")
    m.add_attachment(b"x", maintype="image", subtype="jpeg",
                     filename="a" * 90 + "\u00fc.jpg")
    m.add_attachment("caf\u00e9\n", subtype="plain", cte="quoted-printable",
                     filename="menu.txt")
    m.set_boundary("===============0123456789==")
    heads = [bytes(m)[:bytes(m).index(b"\n\n") + 2]]
    for part in m.iter_parts():
        text = part.as_bytes(policy=SMTP)
        heads.append(text[:text.index(b"\r\n\r\n") + 4])
    return heads


MPACK = (b"Message-ID: <24056.1796771315@vm>\n"
         b"MIME-Version: 1.0\n"
         b"Subject: holiday pics (02/03)\n"
         b"References: <24056.1796771314@vm>\n"
         b"\t <24056.1796771313@vm>\n"
         b"Content-Type: message/partial; number=2; total=3;\n"
         b"\t id=\"24056.1796771313@vm\"\n"
         b"\n")

OUTLOOK = (b"Subject: =?iso-8859-1?Q?r=E9sum=E9?= [1/2]\r\n"
           b"MIME-Version: 1.0\r\n"
           b"Content-Type: message/partial;\r\n"
           b"\ttotal=2;\r\n"
           b"\tid=\"{7B1D2A4E-0D6C-4F43-9E37-2E1A5C7F0B11}@host\";\r\n"
           b"\tnumber=1\r\n"
           b"\r\n"
           b"Content-Type: application/msword;\r\n"
           b"\tname=\"=?iso-8859-1?Q?r=E9sum=E9?= .doc\"\r\n"
           b"Content-Transfer-Encoding: base64\r\n"
           b"Content-Disposition: attachment;\r\n"
           b"\tfilename=\"=?iso-8859-1?Q?r=E9sum=E9?= .doc\"\r\n"
           b"\r\n")

BROKEN = (b"From news Sat Jan  3 01:05:34 1996\n"
          b"Content-Type : multipart/mixed boundary=b1 (comment\n"
          b"Content-Disposition: attachment; filename=\"open; name=x\n"
          b"Content-Type: a/b; n*1*=%42; n*0*=''%4; n*99999999999=x; n**=y\n"
          b"Content-Type: a/b; name=\"=?utf-8?B?w6k*?= =?x?Q?=ZZ?=\";;\n"
          b"Content-Transfer-Encoding: \"x-uue\" (old)\n"
          b"no colon\n"
          b"\tstray fold\n"
          b"Content-Type: message/partial; id=a; number=2147483648; total=0\n"
          b"\n")


def main():
    for i, head in enumerate(python_parts()):
        write("python-%d" % i, 1 + 37 * i, head)
    write("mpack-partial", 119, MPACK)
    write("outlook-express", 16, OUTLOOK)
    write("broken", 3, BROKEN)
    write("long-line", 119, b"Subject: " + b"x" * 10000 + b"\n References: " +
          b"<a@b> " * 200 + b"\n\n")


if __name__ == "__main__":
    main()
