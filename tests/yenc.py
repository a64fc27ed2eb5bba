"""yEnc input for the end-to-end tests, made by real encoders where they are
installed.

The encoder of choice is the npm package yencode, run through yenc_tool.js;
it is found in the node_modules directory named by QUILLON_NODE_MODULES, else
in the build directory's node_modules, else through NODE_PATH. Install it with

    npm install --prefix BUILD_DIR --no-audit --no-fund yencode

(it builds a native module; BUILD_DIR/node_modules is then found without any
setting). Where it is missing, tests either skip, saying so, or fall back to
encode_yenc here, saying so on standard error.

Decoding for comparison uses the Debian package python3-sabyenc, which
belongs to the system's /usr/bin/python3 and not necessarily to the Python
that runs the tests, so it runs in a subprocess.
"""

import base64
import functools
import itertools
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.join(HERE, "yenc_tool.js")
SYSTEM_PYTHON = "/usr/bin/python3"
INSTALL_HINT = ("npm install --prefix BUILD_DIR --no-audit --no-fund yencode, "
                "or set QUILLON_NODE_MODULES")

DEFAULT_DATE = "Tue, 13 May 2025 12:00:00 GMT"
DEFAULT_POSTER = "alice@example.org"
DEFAULT_GROUP = "alt.binaries.test"
DEFAULT_SUBJECT = '"{name}" yEnc ({part}/{total}) {size}'


def node_modules():
    """The node_modules directory that holds yencode, or None."""
    candidates = [os.environ.get("QUILLON_NODE_MODULES")]
    build = os.environ.get("QUILLON_BUILD_DIR")
    if build:
        candidates.append(os.path.join(build, "node_modules"))
    candidates.append(os.path.join(HERE, "..", "build", "node_modules"))
    for path in candidates:
        if path and os.path.isdir(os.path.join(path, "yencode")):
            return os.path.abspath(path)
    return None


def _node_env():
    env = dict(os.environ)
    found = node_modules()
    if found:
        env["QUILLON_NODE_MODULES"] = found
    else:
        env.pop("QUILLON_NODE_MODULES", None)
    return env


@functools.lru_cache(maxsize=None)
def yencode_available():
    """True where node runs and yencode (with its native module) loads."""
    node = shutil.which("node")
    if node is None:
        return False
    probe = ("const d = process.env.QUILLON_NODE_MODULES;"
             "const y = require(d ? require('path').join(d, 'yencode')"
             " : 'yencode'); y.crc32(Buffer.from('x'));")
    done = subprocess.run([node, "-e", probe], env=_node_env(),
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return done.returncode == 0


@functools.lru_cache(maxsize=None)
def sabyenc_available():
    """True where the system Python has the sabyenc3 module."""
    if not os.access(SYSTEM_PYTHON, os.X_OK):
        return False
    done = subprocess.run([SYSTEM_PYTHON, "-c", "import sabyenc3"],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return done.returncode == 0


def require_yencode():
    if not yencode_available():
        raise unittest.SkipTest("yencode is not installed (%s)" % INSTALL_HINT)


def require_sabyenc():
    if not sabyenc_available():
        raise unittest.SkipTest("python3-sabyenc is not installed for %s"
                                % SYSTEM_PYTHON)


def part_ranges(size, parts=1, part_size=None):
    """The 1-based inclusive (begin, end) of every part, as the tool cuts."""
    step = part_size or -(-size // max(1, parts)) or 1
    ranges = [(at + 1, min(size, at + step)) for at in range(0, size, step)]
    return ranges or [(1, 0)]


def yenc_articles(data, name, parts=1, part_size=None, line_size=128,
                  emit=None, subject=DEFAULT_SUBJECT, total=None,
                  poster=DEFAULT_POSTER, date=DEFAULT_DATE,
                  newsgroups=DEFAULT_GROUP, message_ids=None, headers=(),
                  preamble=(), drop=(), crlf=False, dot_stuff=False,
                  fallback=False, own=False, whole_part=False):
    """The articles of one yEnc posting as bytes, one per number in `emit`
    (default every part once, in order). Made by yencode; where it is
    missing, by encode_yenc when `fallback` is set, else the test skips;
    always by encode_yenc with `own`.

    subject may use {name} {part} {total} {size}; total replaces the part
    count in it. date is one text or a list, one per article, and so are
    message_ids (default ones unique in the process). drop removes
    keywords from the =y lines (e.g. ["total"]). dot_stuff doubles a "."
    that begins a line, as a server's wire format has it. whole_part
    writes a file of one part as some encoders do, "part=1 total=1" and no
    =ypart line; yencode never does, so encode_yenc makes it.
    """
    job = {
        "name": name,
        "parts": parts, "line_size": line_size, "subject": subject,
        "poster": poster, "date": date, "newsgroups": newsgroups,
        "headers": list(headers), "preamble": list(preamble),
        "drop": list(drop), "eol": "crlf" if crlf else "lf",
        "dot_stuff": dot_stuff, "whole_part": whole_part,
    }
    if part_size:
        job["part_size"] = part_size
    if total is not None:
        job["total"] = total
    count = len(part_ranges(len(data), parts, part_size))
    job["emit"] = list(emit or range(1, count + 1))
    job["message_ids"] = list(message_ids or _fresh_ids(len(job["emit"])))
    if own or whole_part:
        return _fallback_articles(data, job)
    if not yencode_available():
        if not fallback:
            require_yencode()
        sys.stderr.write("yencode is not installed: the tests' own yEnc "
                         "encoder makes the articles\n")
        return _fallback_articles(data, job)
    return _run_tool(data, job)


_ids = itertools.count(1)


def _fresh_ids(n):
    """Message-IDs no other article of this process has."""
    return ["<yenc.%d.%d@example.net>" % (os.getpid(), next(_ids))
            for _ in range(n)]


def _run_tool(data, job):
    with tempfile.TemporaryDirectory(prefix="quillon-yenc-") as tmp:
        job = dict(job, data=base64.b64encode(data).decode(),
                   outputs=[os.path.join(tmp, "%d" % k)
                            for k in range(len(job["emit"]))])
        subprocess.run(["node", TOOL], input=json.dumps(job).encode(),
                       env=_node_env(), stdout=subprocess.DEVNULL, check=True)
        out = []
        for path in job["outputs"]:
            with open(path, "rb") as f:
                out.append(f.read())
        return out


def _subject(fmt, name, part, total, size):
    values = {"name": name, "part": part, "total": total, "size": size}
    return re.sub(r"\{(name|part|total|size)\}",
                  lambda m: str(values[m.group(1)]), fmt)


def article_text(job, k, part, total, size, body):
    """One article around a yEnc body (bytes with LF line ends), with the
    header lines yenc_tool.js writes."""
    date = job["date"][k] if isinstance(job["date"], list) else job["date"]
    lines = [
        "Path: news.example.net!not-for-mail",
        "From: %s" % job["poster"],
        "Newsgroups: %s" % job["newsgroups"],
        "Subject: %s" % _subject(job["subject"], job["name"], part, total,
                                 size),
        "Date: %s" % date,
        "Message-ID: %s" % job["message_ids"][k],
    ] + job["headers"]
    head = [l.encode("utf-8") for l in lines] + [b""]
    text = [l.encode("utf-8") for l in job["preamble"]]
    text += body.split(b"\n")[:-1]
    if job["dot_stuff"]:
        text = [b"." + l if l.startswith(b".") else l for l in text]
    text = head + text
    eol = b"\r\n" if job["eol"] == "crlf" else b"\n"
    return eol.join(text) + eol


def _drop_keywords(body, drop):
    out = []
    for line in body.split(b"\n"):
        if line.startswith(b"=y") and drop:
            head, sep, tail = line.partition(b" name=")
            words = [w for w in head.split(b" ")
                     if w.split(b"=")[0].decode("latin-1") not in drop]
            line = b" ".join(words) + sep + tail
        out.append(line)
    return b"\n".join(out)


def _fallback_articles(data, job):
    ranges = part_ranges(len(data), job["parts"], job.get("part_size"))
    total = job.get("total", len(ranges))
    out = []
    for k, part in enumerate(job["emit"]):
        begin, end = ranges[part - 1]
        multi = len(ranges) > 1
        whole = job.get("whole_part") and not multi
        body = encode_yenc(
            data[begin - 1:end], job["name"], size=len(data),
            part=part if multi or whole else None, total=len(ranges),
            begin=begin, line_size=job["line_size"],
            file_crc=zlib.crc32(data) if part == len(ranges) else None,
            ypart=not whole)
        body = _drop_keywords(body, job["drop"])
        out.append(article_text(job, k, part, total, len(data), body))
    return out


CRITICAL = (0x00, 0x0A, 0x0D, 0x3D)


def encode_lines(data, line_size=128, escape_dots=True, escape_edges=True,
                 escape_all=()):
    """The encoded data lines of `data`, without line ends. Escapes the
    critical bytes, TAB and SPACE at either end of a line (escape_edges),
    "." at the start (escape_dots), and every result in escape_all."""
    lines = []
    line = bytearray()
    for i, b in enumerate(data):
        c = (b + 42) & 0xFF
        first = not line
        last = i == len(data) - 1 or len(line) + 1 >= line_size
        if (c in CRITICAL or c in escape_all
                or (escape_edges and c in (0x09, 0x20) and (first or last))
                or (escape_dots and c == 0x2E and first)):
            line += bytes((0x3D, (c + 64) & 0xFF))
        else:
            line.append(c)
        if len(line) >= line_size:
            lines.append(bytes(line))
            line = bytearray()
    if line or not lines:
        lines.append(bytes(line))
    return lines


def crc_text(value, upper=False, short=False):
    """A CRC-32 in hex: 8 digits, or without leading zeros (short)."""
    text = ("%x" if short else "%08x") % (value & 0xFFFFFFFF)
    return text.upper() if upper else text


def encode_yenc(data, name, size=None, part=None, total=None, begin=1,
                line_size=128, file_crc=None, crlf=False, upper=False,
                short=False, ypart=True, **line_options):
    """One yEnc part of `data` (bytes begin .. begin + len - 1 of a file of
    `size` bytes), from =ybegin to the =yend line's end. part None writes a
    single-part file (no part=, no =ypart, crc32= of the data). file_crc,
    where given, adds crc32= to a part's =yend. ypart False leaves out a
    part's =ypart line. upper and short shape the hex digits; line_options
    go to encode_lines."""
    size = len(data) if size is None else size
    crc = zlib.crc32(data)
    hexed = functools.partial(crc_text, upper=upper, short=short)
    if part is None:
        head = ["=ybegin line=%d size=%d name=%s" % (line_size, size, name)]
        tail = "=yend size=%d crc32=%s" % (len(data), hexed(crc))
    else:
        totals = "" if total is None else " total=%d" % total
        head = ["=ybegin part=%d%s line=%d size=%d name=%s"
                % (part, totals, line_size, size, name)]
        if ypart:
            head.append("=ypart begin=%d end=%d"
                        % (begin, begin + len(data) - 1))
        tail = "=yend size=%d part=%d pcrc32=%s" % (len(data), part,
                                                   hexed(crc))
        if file_crc is not None:
            tail += " crc32=%s" % hexed(file_crc)
    eol = b"\r\n" if crlf else b"\n"
    lines = [l.encode("utf-8") for l in head]
    lines += encode_lines(data, line_size, **line_options)
    lines.append(tail.encode())
    return eol.join(lines) + eol


def body_lines(text):
    """Indexes of the data lines of the yEnc part in an article."""
    lines = text.split(b"\n")
    start = next(i for i, l in enumerate(lines) if l.startswith(b"=ybegin "))
    if lines[start + 1].startswith(b"=ypart "):
        start += 1
    end = next(i for i in range(start, len(lines))
               if lines[i].startswith(b"=yend"))
    return lines, list(range(start + 1, end))


def reference_decode(text):
    """The bytes the data lines of an article's yEnc part stand for: any
    escaped byte, CR and LF skipped, a final "=" dropped."""
    lines, data = body_lines(text)
    out = bytearray()
    for i in data:
        line = lines[i].replace(b"\r", b"")
        at = 0
        while at < len(line):
            if line[at] == 0x3D:
                if at + 1 < len(line):
                    out.append((line[at + 1] - 106) & 0xFF)
                at += 2
            else:
                out.append((line[at] - 42) & 0xFF)
                at += 1
    return bytes(out)


def damage(text):
    """The article (or yEnc body) with one encoded character in the middle
    of its data changed, so that exactly one decoded byte differs."""
    lines, data = body_lines(text)
    index = data[len(data) // 2]
    line = bytearray(lines[index])
    for at in range(len(line) // 2, len(line) - 1):
        if line[at] != 0x3D and line[at - 1] != 0x3D and line[at] != 0x0D:
            break
    for step in range(1, 256):
        c = (line[at] + step) & 0xFF
        if c not in CRITICAL:
            line[at] = c
            break
    lines[index] = bytes(line)
    return b"\n".join(lines)


_SABYENC_SCRIPT = r"""
import base64, json, sys
import sabyenc3
chunks = [base64.b64decode(c) for c in json.load(sys.stdin)]
out = []
for chunk in chunks:
    try:
        data, name, crc_ok = sabyenc3.decode_usenet_chunks([chunk])
        try:  # sabyenc reads the name's bytes as latin-1
            name = name.encode("latin-1").decode("utf-8")
        except UnicodeError:
            pass
        out.append([base64.b64encode(data).decode(), name, crc_ok, None])
    except Exception as e:
        out.append([None, None, False, str(e)])
json.dump(out, sys.stdout)
"""


def sabyenc_decode(articles):
    """Decodes each article (or yEnc body) with python3-sabyenc: a list of
    (data, name, crc_ok, error), data None where sabyenc refused it. Line
    ends become CR LF first, which sabyenc needs; the caller removes a wire
    format's dot-stuffing."""
    require_sabyenc()
    chunks = []
    for text in articles:
        text = text.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
        chunks.append(base64.b64encode(text).decode())
    done = subprocess.run([SYSTEM_PYTHON, "-c", _SABYENC_SCRIPT],
                          input=json.dumps(chunks).encode(),
                          stdout=subprocess.PIPE, check=True)
    return [(None if d is None else base64.b64decode(d), n, ok, err)
            for d, n, ok, err in json.loads(done.stdout)]
