#!/usr/bin/env python3
"""Writes the sample news spool in sample/spool: three posters' multi-part
uuencoded postings stored out of order, a damaged part and its repost, a
duplicated article, a text article without data, a posting with a missing
part, and a two-part yEnc posting stored last part first. The yEnc articles
come from the npm package yencode where it is installed, else from the
tests' own encoder, which writes the same bytes."""

import os
import random
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))

from spool import article, date, posting, random_bytes, write_spool  # noqa
from yenc import yenc_articles  # noqa


def main():
    random.seed(1997)
    sunset = random_bytes(9000, 1)
    beach = random_bytes(4000, 2)
    holiday = random_bytes(7000, 3)
    ann = dict(poster="Ann Example <ann@pics.example>")
    bob = dict(poster="bob@beach.example (Bob)")
    dave = dict(poster="Dave <dave@zip.example>")
    s = posting(sunset, "sunset.jpg", 3, when=date(13, 10), **ann)
    b = posting(beach, "beach.gif", 2, when=date(14, 9), **bob)
    h = posting(holiday, "holiday.zip", 3, when=date(15, 8), **dave)
    damaged = bytearray(s[1])
    damaged[-300] = ord("!")
    repost = posting(sunset, "sunset.jpg", 3, when=date(16, 10),
                     subject_fmt="REPOST: %(name)s (%(part)d/%(total)d)",
                     **ann)[1]
    chat = article("Re: where are the pictures?",
                   b"They are coming, be patient.\n",
                   poster="carol@talk.example", when=date(14, 11))
    moon = yenc_articles(random_bytes(600, 4), "moon.png", parts=2,
                         line_size=64, poster="Erin <erin@sky.example>",
                         date=date(17, 21), fallback=True,
                         message_ids=["<moon.1@sky.example>",
                                      "<moon.2@sky.example>"])
    spool = os.path.join(HERE, "spool")
    shutil.rmtree(spool, ignore_errors=True)
    write_spool(spool, [bytes(damaged), s[2], b[1], s[0], chat, b[0], b[0],
                        repost, h[0], h[2], moon[1], moon[0]], first=101)


if __name__ == "__main__":
    main()
