#include "mime/walk.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

// The files of a walk as "name=data;" (data as text), "!md5", "!short"
// marked, then "unclosed" where it is. The text is fed in pieces of `step`
// bytes, whole where it is 0.
std::string Walk(std::string_view text, size_t step = 0) {
  MimeWalk walk;
  if (step == 0) {
    WalkMimeMessage(text, &walk);
  } else {
    MimeStream stream;
    StartMimeStream(
        &stream, MimeSink{.begin =
                              [&walk](const std::string& name) {
                                walk.files.emplace_back();
                                walk.files.back().name = name;
                                return true;
                              },
                          .write =
                              [&walk](const char* data, size_t n) {
                                walk.files.back().data.append(data, n);
                              },
                          .end =
                              [&walk](const MimeFileEnd& end) {
                                if (end.abandoned) {
                                  walk.files.pop_back();
                                  return;
                                }
                                walk.files.back().md5_bad = end.md5_bad;
                                walk.files.back().short_part = end.short_part;
                              }});
    for (size_t at = 0; at < text.size(); at += step)
      FeedMimeStream(&stream, text.substr(at, step));
    EndMimeStream(&stream);
    walk.unclosed = stream.unclosed;
    walk.unknown_encodings = stream.unknown_encodings;
  }
  std::string out;
  for (const MimeFile& f : walk.files) {
    out += f.name + "=" + f.data;
    if (f.md5_bad) out += "!md5";
    if (f.short_part) out += "!short";
    out += ";";
  }
  for (const std::string& e : walk.unknown_encodings) out += "?" + e + ";";
  if (walk.unclosed) out += "unclosed";
  return out;
}

constexpr std::string_view kMixed =
    "Subject: s\nContent-Type: multipart/mixed; boundary=\"b\"\n\n"
    "preamble\n--b\n\nbody text\n--b\n"
    "Content-Type: application/octet-stream; name=a.bin\n"
    "Content-Transfer-Encoding: base64\n\naGVsbG8=\n--b  \r\n"
    "Content-Type: text/plain\nContent-Disposition: attachment; "
    "filename=q.txt\nContent-Transfer-Encoding: quoted-printable\n\n"
    "a=3Db=\nc\n--b--\nepilogue\n";

TEST(WalkMimeMessage, PartsAndTheirFiles) {
  struct Case {
    std::string_view what;
    std::string text;
    std::string want;
  } cases[] = {
      {"mixed", std::string(kMixed), "a.bin=hello;q.txt=a=bc;"},
      {"no closing boundary",
       std::string(kMixed.substr(0, kMixed.find("--b--"))),
       "a.bin=hello;q.txt=a=bc\n;unclosed"},
      {"nested, ended by the outer boundary",
       "Content-Type: multipart/mixed; boundary=o\n\n--o\n"
       "Content-Type: multipart/alternative; boundary=i\n\n--i\n"
       "Content-Type: image/gif\n\nGIF\n--o\n"
       "Content-Type: application/zip; name=\"z.zip\"\n\nZIP\n--o--\n",
       "=GIF;z.zip=ZIP;"},
      {"message/rfc822 entered",
       "Content-Type: multipart/mixed; boundary=o\n\n--o\n"
       "Content-Type: message/rfc822\n\nSubject: inner\n"
       "Content-Type: application/pdf; name=d.pdf\n"
       "Content-Transfer-Encoding: base64\n\nUERG\n--o--\n",
       "d.pdf=PDF;"},
      {"x-uuencode part",
       "Content-Type: application/octet-stream\n"
       "Content-Transfer-Encoding: x-uuencode\n\n"
       "begin 644 u.bin\n#86)C\n`\nend\n",
       "u.bin=abc;"},
      {"uuencoded file in the text",
       "Content-Transfer-Encoding: quoted-printable\n\nhi\n"
       "begin 644 t.bin\n#86)C\n`\nend\n",
       "t.bin=abc;"},
      {"uuencoded file in the text without its end: no file",
       "Content-Transfer-Encoding: quoted-printable\n\n"
       "begin 644 t.bin\n#86)C\n",
       ""},
      {"text without a name is not written",
       "Content-Type: text/plain\nContent-Transfer-Encoding: base64\n\n"
       "aGk=\n",
       ""},
      {"base64 cut in a quantum",
       "Content-Type: image/png; name=p.png\n"
       "Content-Transfer-Encoding: base64\n\naGVsbG8\n",
       "p.png=hello!short;"},
      {"uuencoded file without end",
       "Content-Type: image/png; name=p.png\n"
       "Content-Transfer-Encoding: uue\n\nbegin 644 p.png\n#86)C\n",
       "p.png=abc!short;"},
      {"Content-MD5",
       "Content-Type: image/png; name=p.png\nContent-MD5: "
       "XUFAKrxLKna5cZ2REBfFkg==\n\nhello",
       "p.png=hello;"},
      {"Content-MD5 wrong",
       "Content-Type: image/png; name=p.png\nContent-MD5: "
       "XUFAKrxLKna5cZ2REBfFkh==\n\nhello",
       "p.png=hello!md5;"},
      {"unknown encoding kept",
       "Content-Type: image/png; name=p.png\n"
       "Content-Transfer-Encoding: x-gzip64\n\nabc",
       "p.png=abc;?x-gzip64;"},
      {"boundary needs its own line",
       "Content-Type: multipart/mixed; boundary=b\n\n--b\n"
       "Content-Type: image/gif\n\n--bx\n --b\n--b--\n",
       "=--bx\n --b;"},
  };
  // The text may come in pieces cut anywhere: a boundary line, a header or
  // a line break held back for a boundary, cut in two, is read the same.
  for (const Case& c : cases)
    for (size_t step : {0, 1, 2, 3, 7})
      EXPECT_EQ(Walk(c.text, step), c.want) << c.what << ", step " << step;
}

TEST(WalkMimeMessage, DeepNestingStaysOnTheStack) {
  std::string text;
  for (int i = 0; i < 10000; ++i) text += "Content-Type: message/rfc822\n\n";
  text += "Content-Type: image/gif\n\nGIF";
  MimeWalk walk;
  WalkMimeMessage(text, &walk);
  EXPECT_EQ(walk.files.size(), 1u);
}

}  // namespace
