#!/usr/bin/env python3
"""Writes the sample news spool in sample/spool: three posters' multi-part
uuencoded postings stored out of order, a damaged part and its repost, a
duplicated article, a text article without data, a posting with a missing
part, a two-part yEnc posting stored last part first, and a MIME
attachment split by mpack into three message/partial articles, stored out
of order. The yEnc articles come from the npm package yencode where it is
installed, else from the tests' own encoder, which writes the same bytes.
mpack (Debian package mpack) is required."""

import os
import random
import re
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))

from spool import (MPACK, article, as_news, date, mpack_split,  # noqa
                   posting, random_bytes, write_spool)
from yenc import yenc_articles  # noqa


def stable_ids(parts, domain):
    """mpack's parts with the ids it makes of its process id, the time and
    the host replaced by fixed ones, so that every run writes the same
    spool."""
    first = re.search(rb'id="(\d+)\.(\d+)@([^"]+)"', parts[0])
    pid, when, host = first.group(1), int(first.group(2)), first.group(3)
    token = re.compile(re.escape(pid) + rb"\.(\d+)@" + re.escape(host))
    return [token.sub(lambda m: b"%s.%d@%s" % (
        domain[0], int(m.group(1)) - when, domain[1]), p) for p in parts]


def main():
    if MPACK is None:
        sys.exit("make_spool.py: mpack is not installed (Debian package "
                 "mpack); it splits the sample's MIME attachment")
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
    comet = [as_news(p, poster="Fay <fay@stars.example>", when=date(18, 23),
                     group="alt.binaries.pictures")
             for p in stable_ids(mpack_split(random_bytes(5000, 5),
                                             "comet.jpg", 2500, "comet.jpg"),
                                 (b"comet", b"stars.example"))]
    spool = os.path.join(HERE, "spool")
    shutil.rmtree(spool, ignore_errors=True)
    write_spool(spool, [bytes(damaged), s[2], b[1], s[0], chat, b[0], b[0],
                        repost, h[0], h[2], moon[1], moon[0], comet[2],
                        comet[0], comet[1]], first=101)


if __name__ == "__main__":
    main()
