#include "mime/walk.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

// The files of a walk as "name=data;" (data as text), "!md5", "!short"
// marked, then "unclosed" where it is.
std::string Walk(std::string_view text) {
  MimeWalk walk;
  WalkMimeMessage(text, &walk);
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
  for (const Case& c : cases) EXPECT_EQ(Walk(c.text), c.want) << c.what;
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
