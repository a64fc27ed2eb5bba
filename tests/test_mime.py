"""MIME articles in news spools: attachments written by Python's email
package (base64, quoted-printable, x-uuencode; nested multiparts,
message/rfc822, RFC 2231 and 2047 names) and messages split by mpack into
message/partial articles, decoded as munpack decodes them where it can."""

import email.policy
import itertools
import mailbox
import os
import re
import shutil
import subprocess
import tempfile
import unittest
from email.message import EmailMessage

from inn_server import missing_reason, started_server
from quillon_e2e import QuillonTest, uuencode
from spool import MPACK, mpack_split, random_bytes, write_spool

MUNPACK = shutil.which("munpack")


def message(subject="holiday pictures", body="See the attachments.\n",
            attachments=(), policy=email.policy.SMTP):
    """An article as Python's email package writes it: a text body, then
    each attachment (data, maintype, subtype, keyword arguments of
    add_attachment)."""
    m = EmailMessage(policy=policy)
    m["From"] = "alice@example.org"
    m["Newsgroups"] = "alt.binaries.test"
    m["Subject"] = subject
    m["Message-ID"] = "<%s@example.org>" % abs(hash(subject))
    m.set_content(body)
    for data, maintype, subtype, kw in attachments:
        if isinstance(data, EmailMessage):
            m.add_attachment(data)
        else:
            m.add_attachment(data, maintype=maintype, subtype=subtype, **kw)
    return m


def as_article(m, crlf=False):
    text = m.as_bytes(policy=m.policy.clone(linesep="\r\n" if crlf else "\n"))
    return text


def wire(text):
    """The article as a news server stores it: CR LF, dots doubled, ended by
    a line with one dot."""
    lines = text.replace(b"\r\n", b"\n").split(b"\n")
    if lines[-1] == b"":
        lines.pop()
    lines = [b"." + l if l.startswith(b".") else l for l in lines]
    return b"\r\n".join(lines) + b"\r\n.\r\n"


def total_on_every_part(parts):
    """The parts with total= on each, as RFC 1521 recommends (and as mpack
    1.6 writes them)."""
    total = len(parts)
    return [re.sub(rb"number=(\d+)(?!; total)", rb"number=\1; total=%d" % total,
                   p, count=1) for p in parts]


def total_on_last_part(parts):
    """The parts with total= on the last one only, the least RFC 2046
    asks for."""
    return [re.sub(rb"; total=\d+", b"", p, count=1)
            for p in parts[:-1]] + [total_on_every_part(parts)[-1]]


class MimeTest(QuillonTest):

    def spool(self, articles, name="spool"):
        return write_spool(self.path(name), articles)

    def out(self, name):
        return self.read("out", name)

    def run_spool(self, articles, *options, env=None):
        os.makedirs(self.path("out"), exist_ok=True)
        return self.quillon("-dest", self.path("out"), *options,
                            *self.spool(articles), env=env)

    def munpack(self, *texts):
        """What munpack writes of the articles, given in one call:
        {name: bytes}. The parts of a split message wait in a directory of
        this test's own (munpack keeps them in $TMPDIR/m-prts-$USER)."""
        d = tempfile.mkdtemp(dir=self.dir)
        for sub in ("in", "out", "parts"):
            os.mkdir(os.path.join(d, sub))
        paths = []
        for i, text in enumerate(texts):
            paths.append(os.path.join(d, "in", str(i + 1)))
            with open(paths[-1], "wb") as f:
                f.write(text)
        out = os.path.join(d, "out")
        env = dict(os.environ, TMPDIR=os.path.join(d, "parts"), USER="peer")
        subprocess.run([MUNPACK, "-q", "-C", out, *paths], env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        files = {}
        for n in os.listdir(out):
            if not n.endswith(".desc"):
                with open(os.path.join(out, n), "rb") as f:
                    files[n] = f.read()
        return files


class AttachmentTest(MimeTest):

    def test_attachments_of_each_shape(self):
        data = random_bytes(7000, 1)
        text = b"line one\nline = two with =3D and a long line " * 5 + b"\n"
        inner = message("forwarded", attachments=[
            (data[:900], "image", "png", {"filename": "inner.png"})])
        alt = EmailMessage()
        alt.set_content("plain")
        alt.add_alternative("<p>html</p>", subtype="html")
        alt.add_attachment(data[:100], maintype="application",
                           subtype="octet-stream", filename="alt.bin")
        uu = message(attachments=[(uuencode(data[:500], "old.bin"),
                                   "application", "octet-stream",
                                   {"filename": "old.bin", "cte": "7bit"})])
        uu.get_payload()[1].replace_header("Content-Transfer-Encoding",
                                           "x-uuencode")
        cases = [
            # (what, message, {file: bytes}, munpack agrees)
            ("base64", message(attachments=[
                (data, "application", "octet-stream",
                 {"filename": "photo.jpg"})]), {"photo.jpg": data}, True),
            ("quoted-printable", message(attachments=[
                (text, "text", "plain",
                 {"filename": "notes.txt", "cte": "quoted-printable"})]),
             {"notes.txt": text}, True),
            ("x-uuencode", uu, {"old.bin": data[:500]}, False),
            ("rfc822 entered", message(attachments=[
                (inner, "message", "rfc822", {})]), {"inner.png": data[:900]},
             False),
            ("RFC 2231 name", message(attachments=[
                (data[:50], "application", "octet-stream",
                 {"filename": ("utf-8", "", "r\u00e9sum\u00e9 \u00fcber.pdf")})]),
             {"r\u00e9sum\u00e9 \u00fcber.pdf": data[:50]}, False),
            ("unnamed non-text part", message(
                subject="scan of receipt.gif", attachments=[
                    (data[:60], "image", "gif", {})]),
             {"receipt.gif": data[:60]}, False),
            ("path in name", message(attachments=[
                (data[:70], "application", "octet-stream",
                 {"filename": "C:\\temp\\dir/x.bin"})]),
             {"x.bin": data[:70]}, False),
        ]
        for what, m, files, peer in cases:
            for crlf, in_wire in ((False, False), (True, False), (True, True)):
                with self.subTest(what=what, crlf=crlf, wire=in_wire):
                    text = as_article(m, crlf)
                    if in_wire:
                        text = wire(text)
                    shutil.rmtree(self.path("out"), True)
                    rc, out, err = self.run_spool([text])
                    self.assertEqual((rc, err), (0, b""))
                    for name, want in files.items():
                        self.assertEqual(self.out(name), want)
                        self.assertIn(b"MIME-decoding %s\n" % name.encode(),
                                      out)
                    self.assertEqual(sorted(os.listdir(self.path("out"))),
                                     sorted(files))
                    if peer and MUNPACK and not crlf:
                        self.assertEqual(self.munpack(text), files)
        with self.subTest(what="multipart/alternative nested"):
            m = message(attachments=[])
            m.make_mixed()
            m.attach(alt)
            shutil.rmtree(self.path("out"), True)
            rc, out, err = self.run_spool([as_article(m)])
            self.assertEqual((rc, err), (0, b""))
            self.assertEqual(os.listdir(self.path("out")), ["alt.bin"])

    def test_missing_final_boundary_is_a_note(self):
        data = random_bytes(3000, 2)
        text = as_article(message(attachments=[
            (data, "application", "octet-stream", {"filename": "a.bin"})]))
        cut = text[:text.rstrip().rindex(b"\n")] + b"\n"
        rc, out, err = self.run_spool([cut])
        self.assertEqual(self.out("a.bin"), data)
        self.assertEqual((rc, err), (0, b"quillon: no closing boundary in %s\n"
                                     % self.path("spool", "1").encode()))

    def test_checks_fail_but_keep_the_file(self):
        data = random_bytes(3000, 3)
        good = as_article(message(attachments=[
            (data, "application", "octet-stream", {"filename": "a.bin"})]))
        md5 = good.replace(b"Content-Disposition: attachment",
                           b"Content-MD5: AAAAAAAAAAAAAAAAAAAAAA==\n"
                           b"Content-Disposition: attachment")
        body_end = good.rindex(b"\n--")
        cut = good[:body_end - 2] + good[body_end:]
        for what, text, msg in (
                ("md5", md5, b"quillon: MD5 error in a.bin\n"),
                ("short", cut, b"quillon: short MIME part in a.bin\n")):
            with self.subTest(what=what):
                shutil.rmtree(self.path("spool"), True)
                shutil.rmtree(self.path("out"), True)
                rc, out, err = self.run_spool([text], "-delete")
                self.assertEqual((rc, err), (1, msg))
                self.assertTrue(os.path.exists(self.path("out", "a.bin")))
                self.assertEqual(os.listdir(self.path("spool")), ["1"])

    def test_dir_refuses_names_outside(self):
        names = ["/etc/evil.bin", "../up.bin"]
        articles = [as_article(message("file %s" % chr(97 + i), attachments=[
            (b"x" * 10, "application", "octet-stream", {"filename": n})]))
            for i, n in enumerate(names)]
        rc, out, err = self.run_spool(articles, "-dir", "-delete")
        out_dir = self.path("out")
        self.assertEqual((rc, err), (1, b"".join(
            b"quillon: unable to create %s/%s\n" % (out_dir.encode(),
                                                     n.encode())
            for n in names)))
        self.assertEqual(os.listdir(out_dir), [])
        self.assertFalse(os.path.exists(self.path("up.bin")))
        self.assertEqual(sorted(os.listdir(self.path("spool"))), ["1", "2"])

    def test_delete_once_written_and_text_only_stays_uuencoded(self):
        data = random_bytes(2000, 4)
        mime = as_article(message(attachments=[
            (data, "application", "zip", {"filename": "a.zip"})]))
        # A text/plain article that carries a uuencoded file: as today.
        plain = (b"From: bob@example.org\nSubject: old style\n"
                 b"MIME-Version: 1.0\nContent-Type: text/plain\n\n"
                 + uuencode(data, "b.bin"))
        # A text post in quoted-printable carries no file: it stays.
        words = message("just words")
        words.set_content("caf\u00e9 " * 40, cte="quoted-printable")
        text = as_article(words)
        rc, out, err = self.run_spool([mime, plain, text], "-delete")
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(self.out("a.zip"), data)
        self.assertEqual(self.out("b.bin"), data)
        self.assertIn(b"UUdecoding", out)
        self.assertEqual(os.listdir(self.path("spool")), ["3"])


class MboxTest(MimeTest):

    def test_thousand_messages_under_extended(self):
        """An mbox archive of base64, quoted-printable and uuencoded (in a
        text/plain body, decoded as today) messages."""
        box = mailbox.mbox(self.path("archive"), create=True)
        want = {}
        for i in range(1000):
            data = random_bytes(200 + i % 97, 100 + i)
            name = "f%04d.bin" % i
            # No digits: the uuencoded ones' part numbers come from there.
            subject = "item " + "".join(chr(97 + int(d)) for d in "%04d" % i)
            if i % 3 == 2:
                m = message(subject, body=uuencode(data, name).decode(),
                            policy=email.policy.default)
            else:
                cte = {"cte": "quoted-printable"} if i % 3 else {}
                m = message(subject, policy=email.policy.default,
                            attachments=[(data, "application", "octet-stream",
                                          dict(filename=name, **cte))])
            want[name] = data
            box.add(m)
        box.close()
        os.makedirs(self.path("out"))
        rc, out, err = self.quillon("-extended", "-dest", self.path("out"),
                                    self.path("archive"))
        self.assertEqual((rc, err), (0, b""))
        self.assertTrue(b"Found 1000 uuencoded file segments.\n"
                        b"1000 complete (non-segmented) files found.\n" in out)
        self.assertEqual(sorted(os.listdir(self.path("out"))), sorted(want))
        for name, data in want.items():
            self.assertEqual(self.out(name), data, name)


    def test_crlf_archive_under_extended(self):
        """An mbox whose lines end in CR LF: each uuencoded message decodes
        from its own header on, not the archive's first file."""
        box = mailbox.mbox(self.path("lf"), create=True)
        want = {}
        for i, subject in enumerate(("first", "second", "third")):
            data = random_bytes(300 + i, 30 + i)
            want["%s.bin" % subject] = data
            box.add(message(subject, policy=email.policy.default,
                            body=uuencode(data, "%s.bin" % subject).decode()))
        box.close()
        self.write("archive", self.read("lf").replace(b"\n", b"\r\n"))
        os.makedirs(self.path("out"))
        rc, out, err = self.quillon("-extended", "-dest", self.path("out"),
                                    self.path("archive"))
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(sorted(os.listdir(self.path("out"))), sorted(want))
        for name, data in want.items():
            self.assertEqual(self.out(name), data, name)


class PlainTest(MimeTest):

    def test_plain_files_and_standard_input(self):
        """One message per plain file; several under mbox "From " lines on
        standard input, mixed with a uuencoded one."""
        one = random_bytes(900, 20)
        two = random_bytes(700, 21)
        three = random_bytes(500, 22)
        first = as_article(message(attachments=[
            (one, "application", "octet-stream", {"filename": "one.bin"})]))
        box = mailbox.mbox(self.path("box"), create=True)
        box.add(message("two", policy=email.policy.default, attachments=[
            (two, "image", "png", {"filename": "two.png"})]))
        box.add(message("three", policy=email.policy.default,
                        body=uuencode(three, "three.bin").decode()))
        box.add(message("four", policy=email.policy.default, attachments=[
            (b"four\n" * 9, "text", "plain",
             {"filename": "four.txt", "cte": "quoted-printable"})]))
        box.close()
        os.makedirs(self.path("out"))
        rc, out, err = self.quillon("-plain", "-dest", self.path("out"),
                                    self.write("first", first))
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, b"Quillon ver 3.7.0\n\nMIME-decoding one.bin\n")
        rc, out, err = self.quillon("-dest", self.path("out"),
                                    stdin=self.read("box"))
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(out, b"Quillon ver 3.7.0\n\nMIME-decoding two.png\n"
                         b"UUdecoding three.bin\nMIME-decoding four.txt\n")
        for name, data in (("one.bin", one), ("two.png", two),
                           ("three.bin", three), ("four.txt", b"four\n" * 9)):
            self.assertEqual(self.out(name), data, name)


    def test_where_messages_begin_and_end(self):
        """A header across the end of the input buffer; "From " after an
        empty line in a message that no mbox line began; the empty line
        before an mbox "From " line and at the end; the "." line that ends
        a wire-format article: each file as it was attached."""
        def attached(name, body="See the attachment.\n"):
            return as_article(message(name, body=body, attachments=[
                (b"hello world\n", "application", "octet-stream",
                 {"filename": name})]))

        def alone(name):
            m = EmailMessage(policy=email.policy.SMTP)
            m["Subject"] = name
            m.set_content("line 1\nline 2\n", filename=name,
                          cte="quoted-printable")
            return as_article(m)
        sep = b"From a@b.example Mon Jan  1 00:00:00 2024\n"
        # The second message's mbox line 40 bytes before 256 KiB.
        one = sep + attached("one.bin") + b"\n"
        pad = sep + b"Subject: pad\n\n"
        fill = 262144 - 40 - len(one) - len(pad) - len(sep) - 2
        pad += (b"x" * 70 + b"\n") * (fill // 71)
        pad += b"y" * (fill % 71) + b"\n\n"
        edge = one + pad + sep + attached("two.bin") + b"\n"
        self.assertEqual(len(one + pad), 262144 - 40 - len(sep))
        said = attached("said.bin", body="Hello,\n\nFrom what I hear, it"
                        " is this one.\n")
        texts = b"".join(sep + alone(n) + b"\n" for n in ("a.txt", "b.txt"))
        os.makedirs(self.path("out"))
        for what, options, stdin, files in (
                ("header across the buffer", ("-plain", self.write(
                    "edge", edge)), None, ["one.bin", "two.bin"]),
                ("From in a message", ("-plain", self.write("said", said)),
                 None, ["said.bin"]),
                ("From on standard input", (), said, ["said.bin"]),
                ("separator lines", (), texts, ["a.txt", "b.txt"]),
                ("wire format", (self.spool([wire(alone("w.txt"))])[0],),
                 None, ["w.txt"])):
            with self.subTest(what):
                shutil.rmtree(self.path("out"))
                os.makedirs(self.path("out"))
                rc, out, err = self.quillon("-dest", self.path("out"),
                                            *options, stdin=stdin)
                self.assertEqual((rc, err), (0, b""))
                self.assertEqual(sorted(os.listdir(self.path("out"))), files)
                for name in files:
                    want = (b"line 1\nline 2\n" if name.endswith(".txt")
                            else b"hello world\n")
                    self.assertEqual(self.out(name), want, name)


@unittest.skipUnless(MPACK, "mpack is not installed")
class PartialTest(MimeTest):

    def test_every_reading_order(self):
        data = random_bytes(9000, 5)
        parts = mpack_split(data, "three.bin", 4800, "three parts")
        self.assertEqual(len(parts), 3)
        for every_total in (False, True):
            ps = (total_on_every_part if every_total else total_on_last_part)(
                parts)
            for order in itertools.permutations(range(3)):
                with self.subTest(order=order, every_total=every_total):
                    shutil.rmtree(self.path("out"), True)
                    shutil.rmtree(self.path("spool"), True)
                    rc, out, err = self.run_spool([ps[i] for i in order])
                    self.assertEqual((rc, err), (0, b""))
                    self.assertEqual(self.out("three.bin"), data)

    @unittest.skipUnless(MUNPACK, "munpack is not installed")
    def test_munpack_joins_the_same_bytes(self):
        """munpack as the peer of a split in 3. It rejoins a message only
        when total= is on the last part alone."""
        data = random_bytes(9000, 9)
        parts = total_on_last_part(
            mpack_split(data, "peer.bin", 4800, "peer parts"))
        rc, out, err = self.run_spool(parts)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(self.out("peer.bin"), data)
        self.assertEqual(self.munpack(*parts), {"peer.bin": data})

    def test_seven_parts_some_orders_and_duplicates(self):
        data = random_bytes(24000, 6)
        parts = mpack_split(data, "seven.bin", 4800, "seven parts")
        self.assertEqual(len(parts), 7)
        orders = [list(range(7)), list(range(6, -1, -1)),
                  [3, 0, 6, 1, 5, 2, 4], [2, 2, 0, 1, 3, 4, 5, 6, 0]]
        for order in orders:
            with self.subTest(order=order):
                shutil.rmtree(self.path("out"), True)
                shutil.rmtree(self.path("spool"), True)
                rc, out, err = self.run_spool([parts[i] for i in order],
                                              "-delete")
                self.assertEqual((rc, err), (0, b""))
                self.assertEqual(self.out("seven.bin"), data)
                self.assertEqual(os.listdir(self.path("spool")), [])

    def test_plain_files_and_standard_input(self):
        """Parts in several plain files, or in an mbox on standard input,
        are joined; a file whose message is not complete stays."""
        data = random_bytes(9000, 8)
        parts = mpack_split(data, "plain.bin", 4800, "plain parts")
        files = [self.write("p2", parts[2]), self.write("p0", parts[0])]
        os.makedirs(self.path("out"))
        rc, out, err = self.quillon("-plain", "-delete", "-dest",
                                    self.path("out"), *files)
        self.assertIn(b"Captions for (file) segments not decoded:\n"
                      b"PLAIN PARTS (03/03)\nPLAIN PARTS (01/03)\n\n", out)
        self.assertEqual(os.listdir(self.path("out")), [])
        self.assertTrue(all(os.path.exists(f) for f in files))
        files.append(self.write("p1", parts[1]))
        rc, out, err = self.quillon("-plain", "-delete", "-dest",
                                    self.path("out"), *files)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(self.out("plain.bin"), data)
        self.assertFalse(any(os.path.exists(f) for f in files))
        os.remove(self.path("out", "plain.bin"))
        box = b"".join(b"From news Thu Jan  1 00:00:00 1998\n" + parts[i] +
                       b"\n" for i in (1, 2, 0))
        rc, out, err = self.quillon("-dest", self.path("out"), stdin=box)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(self.out("plain.bin"), data)

    def test_missing_part_then_its_late_arrival(self):
        data = random_bytes(9000, 7)
        parts = mpack_split(data, "late.bin", 4800, "late parts")
        log = self.path("newslog")
        with open(log, "w") as f:
            f.write("*%s\n" % os.path.realpath(self.path("spool")))
        env = {"QUILLONLOG": log}
        os.makedirs(self.path("out"))
        files = write_spool(self.path("spool"), [parts[0], parts[2]])
        # -errors takes their text, and they stay for a later run.
        rc, out, err = self.quillon("-dest", self.path("out"), "-delete",
                                    "-errors", self.path("errors"), *files,
                                    env=env)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(self.read("errors"), parts[0] + parts[2])
        self.assertIn(b"Captions for (file) segments not decoded:\n", out)
        self.assertIn(b"LATE PARTS (01/03)", out)
        self.assertEqual(os.listdir(self.path("out")), [])
        self.assertEqual(sorted(os.listdir(self.path("spool"))), ["1", "2"])
        files += write_spool(self.path("spool"), [parts[1]], first=3)
        rc, out, err = self.quillon("-dest", self.path("out"), "-delete",
                                    *files, env=env)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(self.out("late.bin"), data)
        self.assertEqual(os.listdir(self.path("spool")), [])

    def test_totals_that_disagree(self):
        parts = mpack_split(random_bytes(9000, 8), "x.bin", 4800, "x")
        parts = total_on_every_part(parts)
        parts[1] = parts[1].replace(b"total=3", b"total=4")
        rc, out, err = self.run_spool(parts)
        self.assertEqual(rc, 0)
        self.assertRegex(err, rb"^quillon: parts of \S+ disagree on their "
                         rb"total\n$")
        self.assertEqual(os.listdir(self.path("out")), [])


GROUP = "alt.binaries.mime.quillon"


def for_inews(text):
    """An article for inews: From and Newsgroups added, the header's own
    Message-ID left to the server."""
    head, body = text.split(b"\n\n", 1)
    lines = [l for l in head.split(b"\n")
             if not l.lower().startswith((b"message-id:", b"from:",
                                          b"newsgroups:"))]
    return (b"From: alice@example.org\nNewsgroups: %s\n" % GROUP.encode()
            + b"\n".join(lines) + b"\n\n" + body)


class InnMime(MimeTest):
    """Articles posted through a local INN server, decoded from the article
    files it wrote, in the format WIREFORMAT gives."""

    WIREFORMAT = None

    def setUp(self):
        reason = missing_reason() or (None if MPACK else "no mpack")
        if reason or self.WIREFORMAT is None:
            self.skipTest(reason or "the base class")
        super().setUp()
        self.server = started_server(self, self.WIREFORMAT)
        self.server.newgroup(GROUP)

    def test_attachment_and_split_message(self):
        photo = random_bytes(4000, 30)
        split = random_bytes(9000, 31)
        articles = [as_article(message(attachments=[
            (photo, "image", "jpeg", {"filename": "photo.jpg"})]))]
        parts = mpack_split(split, "split.bin", 4800, "split up")
        articles += [parts[2], parts[0], parts[1]]
        for text in articles:
            self.server.post(for_inews(text))
        self.server.sync()
        directory = self.server.group_dir(GROUP)
        files = [os.path.join(directory, n)
                 for n in sorted(os.listdir(directory))]
        self.assertEqual(len(files), 4)
        os.makedirs(self.path("out"))
        rc, out, err = self.quillon("-dest", self.path("out"), *files)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(self.out("photo.jpg"), photo)
        self.assertEqual(self.out("split.bin"), split)


class InnMimeNative(InnMime):
    WIREFORMAT = False


class InnMimeWire(InnMime):
    WIREFORMAT = True


if __name__ == "__main__":
    unittest.main()
