"""Builds news articles and spools of multi-part uuencoded postings, as a
news server stores them: one article per file, a header block, a blank line
and the body."""

import binascii
import os
import random

from quillon_e2e import uuencode_lines

DAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep",
          "Oct", "Nov", "Dec"]


def date(day, hour=12, minute=0, second=0, month=0, year=1997):
    """A Date: header text."""
    return "%s, %d %s %d %02d:%02d:%02d GMT" % (
        DAYS[day % 7], day, MONTHS[month], year, hour, minute, second)


def article(subject, body, poster="alice@example.org", when=None,
            msgid=None, group="alt.binaries.pictures", extra_headers=()):
    """One article: a realistic header block, a blank line, the body."""
    when = when or date(13)
    domain = poster.split("@")[-1].split(">")[0].split(" ")[0]
    msgid = msgid or "<%08x@%s>" % (random.getrandbits(32), domain)
    headers = [
        "Path: news.example.net!feeder!not-for-mail",
        "From: %s" % poster,
        "Newsgroups: %s" % group,
        "Subject: %s" % subject,
        "Date: %s" % when,
        "Organization: Example Users",
        "Lines: %d" % body.count(b"\n"),
        "Message-ID: %s" % msgid,
    ]
    headers += list(extra_headers)
    head = ("\n".join(headers) + "\n\n").encode()
    return head + body


def encoded_parts(data, name, parts, mode="644"):
    """The uuencoded text of `data` cut into `parts` bodies; the first holds
    the begin line, the last the closing short line, "`" and "end"."""
    lines = uuencode_lines(data)
    full = [l for l in lines if len(l) == 62]
    tail = [l for l in lines if len(l) != 62]
    per = max(3, -(-len(full) // parts))
    bodies = []
    for i in range(parts):
        chunk = full[i * per:(i + 1) * per]
        body = b"".join(chunk)
        if i == 0:
            body = ("begin %s %s\n" % (mode, name)).encode() + body
        if i == parts - 1:
            body += b"".join(tail) + b"`\nend\n"
        bodies.append(body)
    return bodies


def posting(data, name, parts, subject_fmt="%(name)s (%(part)d/%(total)d)",
            **article_args):
    """The articles of one posting, in part order."""
    out = []
    for i, body in enumerate(encoded_parts(data, name, parts)):
        subject = subject_fmt % {"name": name, "part": i + 1, "total": parts}
        text = b"section %d of file %s\n\n" % (i + 1, name.encode()) + body
        text += b"-- \nposted with a news reader\n"
        out.append(article(subject, text, **article_args))
    return out


def write_spool(directory, articles, first=1):
    """Writes the articles as files first, first + 1, ...; returns paths."""
    os.makedirs(directory, exist_ok=True)
    paths = []
    for number, text in enumerate(articles, first):
        path = os.path.join(directory, str(number))
        with open(path, "wb") as f:
            f.write(text)
        paths.append(path)
    return paths


def random_bytes(size, seed):
    rng = random.Random(seed)
    return bytes(rng.getrandbits(8) for _ in range(size))


