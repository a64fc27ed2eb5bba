"""Builds news articles and spools of multi-part uuencoded postings, as a
news server stores them: one article per file, a header block, a blank line
and the body; and message/partial articles split by mpack."""

import binascii
import os
import random
import shutil
import subprocess
import tempfile

from quillon_e2e import uuencode_lines

DAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
MPACK = shutil.which("mpack")
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


def mpack_split(data, name, size, subject):
    """The message/partial articles mpack makes of a file, in part order."""
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, name)
        with open(path, "wb") as f:
            f.write(data)
        subprocess.run([MPACK, "-s", subject, "-m", str(size),
                        "-o", os.path.join(d, "out"), path], check=True,
                       cwd=d)
        parts = sorted(p for p in os.listdir(d) if p.startswith("out"))
        out = []
        for p in parts:
            with open(os.path.join(d, p), "rb") as f:
                out.append(f.read())
        return out


def as_news(text, **article_args):
    """A message written by MIME software (its own Subject, Message-ID and
    MIME fields) as a news server stores it: with the other header fields
    of article()."""
    head, body = text.split(b"\n\n", 1)
    fields = head.decode().split("\n")
    own = {}
    for name in ("Subject", "Message-ID"):
        field = next(f for f in fields if f.startswith(name + ": "))
        own[name] = field[len(name) + 2:]
        fields.remove(field)
    return article(own["Subject"], body, msgid=own["Message-ID"],
                   extra_headers=fields, **article_args)


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


