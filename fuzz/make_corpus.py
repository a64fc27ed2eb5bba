#!/usr/bin/env python3
"""Writes the fuzz seed corpora in fuzz/corpus/<target>/ of every target but
yenc (make_yenc_corpus.py writes that one) from real encoded data: uuencode
of sharutils and Python's binascii, yEnc of the end-to-end tests' encoder,
the sample spool's headers, log files and small spools, MIME messages of
Python's email package and splits of mpack (as the end-to-end tests make
them). Run it again after changing it; the files are kept in the
repository, beside seeds kept by hand."""

import binascii
import email.policy
import mailbox
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
from email.message import EmailMessage

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..")
sys.path.insert(0, os.path.join(ROOT, "tests"))

from quillon_e2e import uuencode  # noqa
from spool import article, date, posting, random_bytes  # noqa
from yenc import yenc_articles  # noqa
from test_mime import (MPACK, as_article, message, mpack_split,  # noqa
                       total_on_every_part, total_on_last_part, wire)

SEPARATOR = b"\n%%FILE\n"  # quillon_fuzz.cc cuts files at it
OPTION_SETS = 12           # entries of OptionSets() in quillon_fuzz.cc


def sharutils(data, name):
    """uuencode of sharutils; Python's encoding where it is missing."""
    tool = shutil.which("uuencode")
    if tool is None:
        return uuencode(data, name)
    return subprocess.run([tool, name], input=data, stdout=subprocess.PIPE,
                          check=True).stdout


def write(target, name, data):
    directory = os.path.join(HERE, "corpus", target)
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data)


def sample_headers():
    """Subject, Date and From lines of the sample spool."""
    lines = []
    spool = os.path.join(ROOT, "sample", "spool")
    for name in sorted(os.listdir(spool)):
        with open(os.path.join(spool, name), "rb") as f:
            for line in f:
                if line.startswith((b"Subject: ", b"Date: ", b"From: ")):
                    lines.append(line)
    return sorted(set(lines))


def caption_corpus():
    seeds = sample_headers() + [
        b"Subject: Re: PICS: sunset.jpg [01/10] - nice one\n",
        b"Subject: holiday.zip - part 3 of 5\n",
        b"SUBJECT: BEACH.GIF (1 OF 2)\n",
        b"Subject: REPOST: tar.gz.uu part12/20 \n",
        b"Subject: ...and more... file.tar.gz (3/7)\n",
        b"Date: 13 Jan 97 10:00:00 GMT\n",
        b"Date: Thu, 29 Feb 2024 23:59:59 +0100\n",
        b"Date: 1 Dec 1999 0:0:0\n",
        b"From: \"Ann\" <ann@pics.example>\n",
        b"From: bob@beach.example (Bob)\n",
        b"From: nobody\n",
        b"+jpg -zip\nSubject: sunset.jpg (1/3)\n",
        b"-repost +gif part\nSubject: REPOST: beach.gif (2/2)\n",
    ]
    for i, seed in enumerate(seeds):
        write("caption", "%02d" % i, seed)


def uuline_corpus():
    data = random_bytes(200, 7)
    write("uuline", "sharutils", sharutils(data, "photo.jpg"))
    write("uuline", "binascii", uuencode(data, "photo.jpg", mode="755"))
    write("uuline", "crlf", uuencode(data[:100], "a.bin", crlf=True))
    lines = [binascii.b2a_uu(data[i:i + 45]) for i in range(0, 200, 45)]
    write("uuline", "lines-blank", b"".join(lines))  # blanks, not backquotes
    write("uuline", "broken-begin",
          b"begin 644\nphoto.jpg\n" + b"".join(lines) + b"`\nend\n")
    write("uuline", "begin-dir",
          b"  begin 0600 ../dir/sub/file name.txt\n" + lines[0])
    write("uuline", "begin-no-mode", b"begin photo.jpg\n" + lines[1])
    wire = uuencode(b".." + data[:90], "dots.txt", crlf=True)
    write("uuline", "wire", wire.replace(b"\r\n.", b"\r\n..") + b".\r\n")


def log_corpus():
    write("log", "one-dir", b"*/var/spool/news/alt/binaries\n@101\n@102\n")
    write("log", "two-dirs",
          b"*/var/spool/news\n*/var/spool/news/alt/pictures\n@1\n@7\n"
          b"*/home/ann/news\n@12\n")
    write("log", "orphan-entry", b"@5\n*/tmp\n@6\n\n@\n*\n")
    write("log", "root", b"*/\n@etc\n")


def spool_input(option_set, files):
    return bytes([option_set]) + SEPARATOR.join(files)


def quillon_corpus():
    random.seed(1997)
    small = posting(random_bytes(300, 11), "sunset.jpg", 3,
                    poster="Ann Example <ann@pics.example>", when=date(13))
    other = posting(random_bytes(200, 12), "beach.gif", 2,
                    poster="bob@beach.example (Bob)", when=date(14),
                    subject_fmt="REPOST: %(name)s part %(part)d of %(total)d")
    chat = article("Re: where are the pictures?", b"Soon.\n")
    spool = [small[2], other[1], small[0], chat, other[0], small[1]]
    for option_set in range(OPTION_SETS):
        write("quillon", "spool-%02d" % option_set,
              spool_input(option_set, spool))
    plain = sharutils(random_bytes(150, 13), "plain.bin")
    for option_set in (1, 8, 11):
        write("quillon", "plain-%02d" % option_set,
              spool_input(option_set, [plain, uuencode(b"x" * 50, "b.txt")]))
    batch = b"".join(small)  # several articles in one file: -extended
    write("quillon", "batch-02", spool_input(2, [batch]))
    write("quillon", "batch-10", spool_input(10, [batch]))
    sample = os.path.join(ROOT, "sample", "spool")
    texts = []
    for name in ("103", "105", "110"):
        with open(os.path.join(sample, name), "rb") as f:
            texts.append(f.read())
    write("quillon", "sample-00", spool_input(0, texts))
    # A yEnc posting in two parts, last part first: scanned, in one file
    # with -extended -delete, and as -plain files.
    pic = yenc_articles(random_bytes(700, 14), "seed pic.jpg", parts=2,
                        own=True, message_ids=["<yenc.1@example.net>",
                                               "<yenc.2@example.net>"])
    write("quillon", "yenc-00", spool_input(0, [pic[1], pic[0]]))
    write("quillon", "yenc-04", spool_input(4, [b"".join(pic)]))
    write("quillon", "yenc-plain-01", spool_input(1, [pic[1], pic[0]]))


def named(m, name):
    """The message with a Message-ID that does not change from run to run."""
    m.replace_header("Message-ID", "<%s@example.org>" % name)
    return m


def steady_ids(parts):
    """mpack's parts with their ids (process id, time, host) replaced by
    fixed ones, the same id for the same text."""
    ids = {}

    def fixed(match):
        return ids.setdefault(match.group(0), b"%d@example.org" % len(ids))
    return [re.sub(rb"\d+\.\d+@[\w.-]+", fixed, p) for p in parts]


def mbox(messages, crlf=False):
    """The messages as one mbox file, with "From " lines."""
    with tempfile.TemporaryDirectory() as d:
        box = mailbox.mbox(os.path.join(d, "box"), create=True)
        for m in messages:
            m = mailbox.mboxMessage(m)
            m.set_from("alice@example.org", time.gmtime(852000000))
            box.add(m)
        box.close()
        with open(os.path.join(d, "box"), "rb") as f:
            text = f.read()
    return text.replace(b"\n", b"\r\n") if crlf else text


def mime_messages():
    """Small articles of each MIME shape the decoder knows, as the
    end-to-end tests make them."""
    data = random_bytes(400, 15)
    text = b"caf\xc3\xa9 = bar, a line long enough to be cut softly " * 2
    m = {}
    m["base64"] = message("holiday photo.jpg", attachments=[
        (data, "image", "jpeg", {"filename": "photo.jpg"})])
    m["qp"] = message("notes", attachments=[
        (text + b"\n", "text", "plain",
         {"filename": "notes.txt", "cte": "quoted-printable"})])
    uu = message("old school", attachments=[
        (uuencode(data[:120], "old.bin"), "application", "octet-stream",
         {"filename": "old.bin", "cte": "7bit"})])
    uu.get_payload()[1].replace_header("Content-Transfer-Encoding",
                                       "x-uuencode")
    m["x-uuencode"] = uu
    inner = named(message("forwarded", attachments=[
        (data[:90], "image", "png", {"filename": "inner.png"})]), "inner")
    m["rfc822"] = message("fwd", attachments=[(inner, "message", "rfc822",
                                                {})])
    alt = EmailMessage()
    alt.set_content("plain")
    alt.add_alternative("<p>html</p>", subtype="html")
    alt.add_attachment(data[:50], maintype="application",
                       subtype="octet-stream",
                       filename=("utf-8", "", "r\u00e9sum\u00e9 \u00fcber.pdf"))
    nested = message("nested")
    nested.make_mixed()
    nested.attach(alt)
    m["nested"] = nested
    m["unnamed"] = message("scan of receipt.gif", attachments=[
        (data[:60], "image", "gif", {})])
    m["path"] = message("path", attachments=[
        (data[:70], "application", "octet-stream",
         {"filename": "../dir/x.bin"})])
    return {k: named(v, k) for k, v in m.items()}


def mime_corpus():
    """MIME articles in spools, batches, mbox files and plain files."""
    random.seed(2046)  # the boundaries of Python's email package
    messages = mime_messages()
    articles = [as_article(m) for m in messages.values()]
    for option_set in (0, 3, 6, 7):
        write("quillon", "mime-%02d" % option_set,
              spool_input(option_set, articles))
    photo = messages["base64"]
    crlf = as_article(photo, crlf=True)
    write("quillon", "mime-crlf-00", spool_input(0, [crlf, wire(crlf)]))
    # The checks: a wrong MD5, a short base64 part, no closing boundary.
    good = as_article(photo)
    md5 = good.replace(b"Content-Disposition: attachment",
                       b"Content-MD5: AAAAAAAAAAAAAAAAAAAAAA==\n"
                       b"Content-Disposition: attachment")
    body_end = good.rindex(b"\n--")
    short = good[:body_end - 2] + good[body_end:]
    unclosed = good[:good.rstrip().rindex(b"\n")] + b"\n"
    write("quillon", "mime-checks-04",
          spool_input(4, [md5, short, unclosed]))
    write("quillon", "mime-plain-01",
          spool_input(1, [good, as_article(messages["qp"])]))
    policy = email.policy.default
    box = [messages["base64"], messages["qp"], messages["x-uuencode"],
           named(message("uuencoded", policy=policy, body=uuencode(
               random_bytes(150, 16), "uu.bin").decode()), "uuencoded")]
    write("quillon", "mbox-02", spool_input(2, [mbox(box)]))
    write("quillon", "mbox-stdin-08", spool_input(8, [mbox(box)]))
    write("quillon", "mbox-crlf-10", spool_input(10, [mbox(box, crlf=True)]))
    if not MPACK:
        print("make_corpus: mpack is not installed; no split seeds",
              file=sys.stderr)
        return
    parts = steady_ids(mpack_split(random_bytes(2400, 17), "split.bin", 1000,
                                   "split up"))
    every, last = total_on_every_part(parts), total_on_last_part(parts)
    write("quillon", "partial-00", spool_input(0, last[::-1]))
    write("quillon", "partial-09", spool_input(9, [every[1], every[0],
                                                   every[2], every[1]]))
    write("quillon", "partial-missing-07",
          spool_input(7, [every[0], every[2]]))
    write("quillon", "partial-batch-04",
          spool_input(4, [b"".join(b"#! rnews %d\n" % len(p) + p
                                   for p in every)]))
    disagree = [every[0], every[1].replace(b"total=", b"total=1"), every[2]]
    write("quillon", "partial-disagree-00", spool_input(0, disagree))


def main():
    # Seeds are written over, never removed: the ones kept by hand (a
    # finding's input, regression-*) stay.
    caption_corpus()
    uuline_corpus()
    log_corpus()
    quillon_corpus()
    mime_corpus()


if __name__ == "__main__":
    main()
