#include "mime/header.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

// The header of `text` read whole.
MimeHeader Read(std::string_view text) {
  MimeHeader h;
  AddHeaderText(&h, text);
  EndHeader(&h);
  return h;
}

// The fields as "Name=value" lines.
std::string Fields(const MimeHeader& h) {
  std::string out;
  for (const MimeField& f : h.fields) out += f.name + "=" + f.value + "\n";
  return out;
}

// A Content-Type or Content-Disposition as "type/subtype;name=value;...",
// a 2231 value marked with "*".
std::string Show(const MimeContent& c) {
  std::string out = c.type + "/" + c.subtype;
  for (const MimeParameter& p : c.parameters)
    out += ";" + p.name + (p.extended ? "*=" : "=") + p.value;
  return out;
}

// Mail as mpack, Python's email package and Outlook Express write it.
constexpr std::string_view kMpackPartial =
    "Message-ID: <24056.1796771315@vm>\n"
    "MIME-Version: 1.0\n"
    "Subject: holiday pics (02/03)\n"
    "References: <24056.1796771314@vm>\n"
    "\t <24056.1796771313@vm>\n"
    "Content-Type: message/partial; number=2; total=3;\n"
    "\t id=\"24056.1796771313@vm\"\n"
    "\n"
    "II4bnSBX7e/"
    "xZzToNxPTR8SXGr+LGJd7kOqH8kHwmHb6sxatNIkM0m1cX9XeehmPxCxF31Xp\n";

TEST(MimeHeader, FieldsFoldsAndTheEnd) {
  std::string text = std::string(kMpackPartial);
  MimeHeader h;
  size_t body = text.find("II4b");
  EXPECT_EQ(AddHeaderText(&h, text), body);
  EXPECT_TRUE(h.ended);
  EXPECT_EQ(AddHeaderText(&h, "X-Late: 1\n"), 0u);
  EXPECT_EQ(Fields(h),
            "Message-ID=<24056.1796771315@vm>\n"
            "MIME-Version=1.0\n"
            "Subject=holiday pics (02/03)\n"
            "References=<24056.1796771314@vm>\t <24056.1796771313@vm>\n"
            "Content-Type=message/partial; number=2; total=3;\t "
            "id=\"24056.1796771313@vm\"\n");
  // The raw text of every field, in order, is the header as read.
  std::string raw;
  for (const MimeField& f : h.fields) raw += f.raw;
  EXPECT_EQ(raw + "\n", text.substr(0, body));
  EXPECT_EQ(MimeFieldValue(h, "content-TYPE").substr(0, 15), "message/partial");
  EXPECT_EQ(FindMimeField(h, "Content-MD5"), nullptr);
}

// Pieces of any size, CR LF or LF, give the same fields; what is not a
// field is skipped.
TEST(MimeHeader, PiecesAndLineEnds) {
  const std::string text =
      "From news Sat Jan  3 01:05:34 1996\r\n"
      "content-type : Text/Plain;\r\n"
      " charset=us-ascii\r\n"
      "no colon here\r\n"
      "\tlost continuation\r\n"
      "Bad Name: x\r\n"
      "Subject:\r\n"
      "X-Empty-Fold: a\r\n"
      " \r\n"
      "\r\n"
      "Body: not a field\r\n";
  const std::string want =
      "content-type=Text/Plain; charset=us-ascii\n"
      "Subject=\n"
      "X-Empty-Fold=a \n";
  for (size_t piece : {size_t{1}, size_t{2}, size_t{7}, size_t{119}}) {
    MimeHeader h;
    size_t taken = 0;
    for (size_t at = 0; at < text.size() && !h.ended; at += piece)
      taken += AddHeaderText(&h, std::string_view(text).substr(at, piece));
    EXPECT_EQ(taken, text.find("Body")) << piece;
    EXPECT_EQ(Fields(h), want) << piece;
  }
  std::string lf = text;
  for (size_t at; (at = lf.find('\r')) != lf.npos;) lf.erase(at, 1);
  EXPECT_EQ(Fields(Read(lf)), want);
  // No empty line: the last line without its LF is a field.
  EXPECT_EQ(Fields(Read("A: 1\nB: 2\r")), "A=1\nB=2\n");
}

// Long lines are kept; a line or field beyond kMimeHeaderMax is dropped,
// and the header still ends at its empty line.
TEST(MimeHeader, Limits) {
  std::string long_value(10000, 'x');
  MimeHeader h = Read("Subject: " + long_value + "\nA: 1\n\n");
  ASSERT_EQ(h.fields.size(), 2u);
  EXPECT_EQ(h.fields[0].value, long_value);
  EXPECT_FALSE(h.dropped);

  std::string huge(kMimeHeaderMax, 'y');
  const struct {
    std::string text;
    const char* fields;
  } cases[] = {
      {"A: 1\nB: " + huge + "\nC: 2\n", "A=1\nC=2\n"},
      {"A: 1\nB: 2\n " + huge + "\n more\nC: 3\n", "A=1\nC=3\n"},
      {"A: 1\nB: " + huge.substr(100) + "\nC: " + huge.substr(0, 200) +
           "\nD: 4\n",
       "A=1\nB\nD=4\n"},
  };
  for (const auto& c : cases) {
    std::string text = c.text + "\nBODY: 1\n";
    MimeHeader d;
    size_t taken = 0;
    // As the scan reads: pieces of at most 119 characters.
    for (size_t at = 0; at < text.size() && !d.ended; at += 119)
      taken += AddHeaderText(&d, std::string_view(text).substr(at, 119));
    std::string names;
    for (const MimeField& f : d.fields)
      names += f.name + (f.value.size() < 10 ? "=" + f.value : "") + "\n";
    EXPECT_EQ(names, c.fields);
    EXPECT_TRUE(d.dropped && d.ended);
    EXPECT_EQ(taken, text.find("BODY"));
    EXPECT_LE(d.size, kMimeHeaderMax);
  }
}

TEST(MimeHeader, ContentType) {
  const struct {
    std::string_view value, want;
  } cases[] = {
      {"text/plain", "text/plain"},
      {"Multipart/MIXED; Boundary=\"-\"", "multipart/mixed;boundary=-"},
      {" text / plain ( a comment ) ; charset = us-ascii (Plain text)",
       "text/plain;charset=us-ascii"},
      {"application/octet-stream; name=\"my file.bin\"",
       "application/octet-stream;name=my file.bin"},
      // Messy forms: unquoted names with blanks, missing and trailing
      // semicolons, duplicates, stray characters, words without values.
      {"application/octet-stream; name=my file (2).zip",
       "application/octet-stream;name=my file (2).zip"},
      {"image/jpeg; name=r\xC3\xA9sum\xC3\xA9 (1).jpg",
       "image/jpeg;name=r\xC3\xA9sum\xC3\xA9 (1).jpg"},
      {"multipart/mixed boundary=\"b1\" charset=x",
       "multipart/mixed;boundary=b1;charset=x"},
      {"image/jpeg;name=a.jpg;", "image/jpeg;name=a.jpg"},
      {"image/jpeg; name=\"a.jpg\"; NAME=\"b.jpg\"", "image/jpeg;name=a.jpg"},
      {"image/jpeg; junk; name = a.jpg ; = ;\"q\" x=",
       "image/jpeg;name=a.jpg;x="},
      {"text/plain; a=\"x\\\"y\\\\z\"b=1", "text/plain;a=x\"y\\z;b=1"},
      {"text/plain; name=\"unterminated", "text/plain;name=unterminated"},
      {"text/plain; name=\"ends in \\", "text/plain;name=ends in \\"},
      {"text/plain; a=1 (unterminated comment", "text/plain;a=1"},
      {"text", "text/"},
      {"", "/"},
      {"/; name=x", "/;name=x"},
      // RFC 2231: the extended form first, sections in number order (the
      // charset of section 0 dropped, plain and encoded sections mixed,
      // percent signs without two hex digits kept), gaps skipped, the first
      // of duplicate sections.
      {"a/b; name=plain; name*=utf-8'en'%E2%82%AC.txt",
       "a/b;name*=\xE2\x82\xAC.txt"},
      {"a/b; name*=''%", "a/b;name*=%"},
      {"a/b; name*=no-quotes%41%4", "a/b;name*=no-quotesA%4"},
      {"a/b; n*1*=%42; n*0*=iso-8859-1''%41; n*2=%43; n*10=D; n*2=X",
       "a/b;n*=AB%43D"},
      {"a/b; n*1*=%42; n*3=c", "a/b;n*=Bc"},  // no section 0
      {"a/b; n*0=x'y'z; n*1*=x'y'z", "a/b;n*=x'y'zx'y'z"},
      {"a/b; n*99999999999999999999=a; n*2147483647=b; n*0=c",
       "a/b;n*99999999999999999999=a;n*=cb"},
      {"a/b; n*x=1; *=2; n**=3", "a/b;n*x=1;*=2;n**=3"},
      {"a/b; name*=\"utf-8''quoted%20too\"", "a/b;name*=quoted too"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Show(ParseContentType(c.value)), c.want) << c.value;
  EXPECT_EQ(Show(ParseContentDisposition("Attachment; filename=a/b")),
            "attachment/;filename=a/b");
}

TEST(MimeHeader, EncodedWords) {
  const struct {
    std::string_view text, want;
  } cases[] = {
      {"=?UTF-8?B?w6kuanBn?=", "\xC3\xA9.jpg"},
      {"=?utf-8?q?caf=C3=A9_menu?= \t =?utf-8?q?.pdf?=",
       "caf\xC3\xA9 menu.pdf"},
      {"=?iso-8859-1?Q?a?=  b =?iso-8859-1?Q?c?=", "a  b c"},
      {"x =?iso-8859-1?b?6Q==?= y", "x \xE9 y"},
      {"=?utf-8*en?B?YQ?=", "a"},                // language, no padding
      {"=?utf-8?B?w6k*?=", "=?utf-8?B?w6k*?="},  // bad base64
      {"=?utf-8?B?Y?=", "=?utf-8?B?Y?="},        // a lone sextet
      {"=?utf-8?B?YQ==YQ?=", "=?utf-8?B?YQ==YQ?="},
      {"=?utf-8?Q?=4=ZZ=?=", "=4=ZZ="},
      {"=?utf-8?X?abc?=", "=?utf-8?X?abc?="},
      {"=?utf-8?Q?a b?=", "=?utf-8?Q?a b?="},
      {"=??Q?a?=", "=??Q?a?="},
      {"=?utf-8?Q?unterminated", "=?utf-8?Q?unterminated"},
      {"=?=?=?utf-8?Q?x?=", "=?=?x"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DecodeEncodedWords(c.text), c.want) << c.text;
}

// Disposition's filename, else type's name; 2231 before plain; encoded
// words only in plain forms.
TEST(MimeHeader, FileName) {
  const struct {
    std::string_view disposition, type, want;
  } cases[] = {
      // Python's email package.
      {"attachment;\n filename*=utf-8''na%C3%AFve%20r%C3%A9sum%C3%A9.pdf",
       "application/octet-stream", "na\xC3\xAFve r\xC3\xA9sum\xC3\xA9.pdf"},
      {"attachment;\n filename*0*=utf-8''aaaa;\n filename*1*=a%C3%BC.bin",
       "application/octet-stream", "aaaaa\xC3\xBC.bin"},
      // mpack and Outlook Express.
      {"inline; filename=\"my file.bin\"",
       "application/octet-stream; name=\"other.bin\"", "my file.bin"},
      {"attachment;\n\tfilename=\"=?iso-8859-1?Q?r=E9sum=E9?= .doc\"",
       "application/msword;\n\tname=\"=?iso-8859-1?Q?r=E9sum=E9?= .doc\"",
       "r\xE9sum\xE9 .doc"},
      {"", "image/gif; name=\"=?utf-8?B?w6kuZ2lm?=\"", "\xC3\xA9.gif"},
      {"attachment", "image/gif; name*=utf-8''%3D%3Futf-8%3FB%3FYQ%3D%3D%3F%3D",
       "=?utf-8?B?YQ==?="},
      {"attachment; filename=x.zip; filename*=utf-8''y.zip", "", "y.zip"},
      {"attachment; filename=\"\"", "a/b; name=n.zip", "n.zip"},
      {"attachment", "text/plain", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MimeFileName(ParseContentDisposition(c.disposition),
                           ParseContentType(c.type)),
              c.want)
        << c.disposition << " / " << c.type;
}

TEST(MimeHeader, TransferEncoding) {
  const struct {
    std::string_view value;
    MimeEncoding encoding;
  } cases[] = {
      {"", MimeEncoding::kSevenBit},
      {"(none) ", MimeEncoding::kSevenBit},
      {"7BIT", MimeEncoding::kSevenBit},
      {"8bit", MimeEncoding::kEightBit},
      {"Binary", MimeEncoding::kBinary},
      {" base64 (by mpack)", MimeEncoding::kBase64},
      {"\"BASE64\"", MimeEncoding::kBase64},
      {"Quoted-Printable", MimeEncoding::kQuotedPrintable},
      {"x-uuencode", MimeEncoding::kUuencode},
      {"UUENCODE", MimeEncoding::kUuencode},
      {"x-uue", MimeEncoding::kUuencode},
      {"uue", MimeEncoding::kUuencode},
      {"x-yencode ", MimeEncoding::kUnknown},
      {"base-64", MimeEncoding::kUnknown},
      {"/", MimeEncoding::kUnknown},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ParseTransferEncoding(c.value).encoding, c.encoding) << c.value;
  EXPECT_EQ(ParseTransferEncoding(" x-yencode \t").text, "x-yencode");
}

TEST(MimeHeader, WhichArticlesAreMime) {
  const struct {
    std::string_view header;
    bool mime;
  } cases[] = {
      {kMpackPartial, true},
      {"Content-Type: multipart/mixed; boundary=\"-\"\n", true},
      {"content-type: MULTIPART/alternative;\n boundary=b\n", true},
      {"Content-Type: multipart/mixed\n", false},
      {"Content-Type: multipart/mixed; boundary=\"\"\n", false},
      {"Content-Type: message/rfc822\n", true},
      {"Content-Type: message/external-body\n", false},
      {"Content-Transfer-Encoding: BASE64\n", true},
      {"Content-Type: text/plain\nContent-Transfer-Encoding: "
       "quoted-printable\n",
       true},
      {"MIME-Version: 1.0\nContent-Type: text/plain\n"
       "Content-Transfer-Encoding: 8bit\n",
       false},
      {"Content-Type: application/octet-stream\n"
       "Content-Transfer-Encoding: x-uuencode\n",
       false},
      {"Subject: x\n\nContent-Type: message/rfc822\n", false},
      {"Content-Type: text/plain\nContent-Type: multipart/mixed; b=1\n"
       "Content-Type: message/partial\n",
       false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsMimeArticle(Read(c.header)), c.mime) << c.header;
}

TEST(MimeHeader, Partial) {
  const struct {
    std::string_view type;
    bool ok;
    const char* id;
    int number, total;
  } cases[] = {
      {"message/partial; number=2; total=3;\n\t id=\"24056.1796771313@vm\"",
       true, "24056.1796771313@vm", 2, 3},
      {"Message/Partial;\n\ttotal=3;\n\tid=\"{7B1D}@host\";\n\tnumber=1", true,
       "{7B1D}@host", 1, 3},
      {"message/partial; id=a; number=2147483647", true, "a", 2147483647, -1},
      {"message/partial; id=a; number=1; total=2147483648", true, "a", 1, -1},
      {"message/partial; id=a; number=1; total=0", true, "a", 1, -1},
      {"message/partial; id=a; number=2147483648", false, "", 0, 0},
      {"message/partial; id=a; number=0", false, "", 0, 0},
      {"message/partial; id=a; number=+1", false, "", 0, 0},
      {"message/partial; id=a; number=1x", false, "", 0, 0},
      {"message/partial; id=a", false, "", 0, 0},
      {"message/partial; id=\"\"; number=1", false, "", 0, 0},
      {"message/rfc822; id=a; number=1", false, "", 0, 0},
  };
  for (const auto& c : cases) {
    MimePartial p;
    ASSERT_EQ(ParseMimePartial(ParseContentType(c.type), &p), c.ok) << c.type;
    if (!c.ok) continue;
    EXPECT_EQ(p.id, c.id);
    EXPECT_EQ(p.number, c.number);
    EXPECT_EQ(p.total, c.total) << c.type;
  }
}

}  // namespace
