#include "yenc/part_decoder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "checksum/crc32.h"
#include "yenc/testing.h"

namespace {

std::string Hex(uint32_t v, bool upper) {
  char buf[16];
  std::snprintf(buf, sizeof buf, upper ? "%X" : "%x", v);
  return buf;
}

// A temporary file holding `text`, opened as a LineFile.
struct Input {
  char path[32] = "/tmp/yencpartXXXXXX";
  LineFile f;
  explicit Input(const std::string& text) {
    int fd = mkstemp(path);
    EXPECT_EQ(write(fd, text.data(), text.size()),
              static_cast<ssize_t>(text.size()));
    close(fd);
    EXPECT_TRUE(OpenLineFile(&f, path));
  }
  ~Input() {
    CloseLineFile(&f);
    unlink(path);
  }
};

struct Output {
  char path[32] = "/tmp/yencoutXXXXXX";
  int fd = mkstemp(path);
  ~Output() {
    close(fd);
    unlink(path);
  }
  std::string Read() {
    std::string s(1 << 20, '\0');
    ssize_t n = pread(fd, s.data(), s.size(), 0);
    s.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return s;
  }
};

// An article carrying part `part` (bytes begin..end of `file`).
std::string Article(const std::string& file, const YencPart& p,
                    const YencStyle& style, const std::string& yend) {
  std::string eol = style.crlf ? "\r\n" : "\n";
  std::string data = file.substr(p.begin - 1, p.end - p.begin + 1);
  std::string a = "Subject: x" + eol + eol + "some text" + eol;
  a += "=ybegin part=" + std::to_string(p.part) +
       " line=128 size=" + std::to_string(p.size) + " name=" + p.name + eol;
  a += "=ypart begin=" + std::to_string(p.begin) +
       " end=" + std::to_string(p.end) + eol;
  a += EncodeYencLines(data, style) + yend + eol;
  return a;
}

std::string Yend(const YencPart& p, uint32_t crc, bool upper = false) {
  return "=yend size=" + std::to_string(p.end - p.begin + 1) +
         " part=" + std::to_string(p.part) + " pcrc32=" + Hex(crc, upper);
}

YencPart Part(uint64_t size, int part, uint64_t begin, uint64_t end) {
  YencPart p;
  p.name = "a file.bin";
  p.size = size;
  p.part = part;
  p.total = 2;
  p.begin = begin;
  p.end = end;
  return p;
}

TEST(YencPartDecoder, LfCrLfAndWireGiveTheBytesAtTheirRange) {
  std::string file = RandomBytes(5000, 1);
  YencPart p = Part(5000, 2, 3001, 5000);
  uint32_t crc = Crc32(0, file.data() + 3000, 2000);
  for (bool crlf : {false, true}) {
    for (bool wire : {false, true}) {
      YencStyle style;
      style.crlf = crlf;
      style.line = 61;  // many lines, so that some begin with "."
      std::string a = Article(file, p, style, Yend(p, crc, crlf));
      if (wire) a = DotStuff(a) + "\r\n.\r\n";
      Input in(a);
      ASSERT_EQ(in.f.wire, wire);
      Output out;
      YencPartResult r = DecodeYencPart(&in.f, -1, p, out.fd);
      EXPECT_TRUE(r.good) << crlf << wire;
      EXPECT_EQ(r.decoded, 2000u);
      EXPECT_EQ(r.crc, crc);
      EXPECT_TRUE(r.has_pcrc32 && r.has_size && !r.has_crc32);
      std::string got = out.Read();
      ASSERT_EQ(got.size(), 5000u);
      EXPECT_EQ(got.substr(3000), file.substr(3000));
      EXPECT_EQ(got.substr(0, 3000), std::string(3000, '\0'));
    }
  }
}

TEST(YencPartDecoder, EscapesAtLineEndsAndABrokenEscape) {
  // Every byte whose encoding is critical, at every place of short lines.
  std::string file;
  for (int k = 0; k < 40; ++k)
    for (char c : {'\xd6', '\xe0', '\xe3', '\x13', '\0'}) file += c;
  YencPart p = Part(file.size(), 1, 1, file.size());
  uint32_t crc = Crc32(0, file.data(), file.size());
  for (size_t line : {1, 2, 3, 7}) {
    YencStyle style;
    style.line = line;
    style.escape_dots = style.escape_blanks = true;
    Input in(Article(file, p, style, Yend(p, crc)));
    Output out;
    YencPartResult r = DecodeYencPart(&in.f, -1, p, out.fd);
    EXPECT_TRUE(r.good) << line;
    EXPECT_EQ(out.Read(), file);
  }
  // A line ending in "=" loses it: one byte short, a size error.
  std::string a = Article(file, p, YencStyle{}, Yend(p, crc));
  size_t at = a.find("=yend");
  a.insert(at - 2, "=");
  Input in(a);
  YencPartResult r = DecodeYencPart(&in.f, -1, p, -1);
  EXPECT_EQ(r.failure, YencFailure::kNone);  // "=" CR LF adds nothing
}

TEST(YencPartDecoder, CrcForms) {
  std::string file = RandomBytes(300, 2);
  YencPart p = Part(300, 1, 1, 300);
  uint32_t crc = Crc32(0, file.data(), 300);
  // Short and upper-case CRCs, and crc32= alone.
  std::string yend = "=yend size=300 part=1 pcrc32=" + Hex(crc & 0xfff, true);
  Input bad(Article(file, p, YencStyle{}, yend));
  YencPartResult r = DecodeYencPart(&bad.f, -1, p, -1);
  EXPECT_EQ(r.failure,
            crc == (crc & 0xfff) ? YencFailure::kNone : YencFailure::kCrc);
  yend = "=yend size=300 part=1 crc32=" + Hex(crc, true);
  Input whole(Article(file, p, YencStyle{}, yend));
  r = DecodeYencPart(&whole.f, -1, p, -1);
  EXPECT_TRUE(r.good);
  EXPECT_TRUE(r.has_crc32 && !r.has_pcrc32);
  EXPECT_EQ(r.crc32, crc);
  // Without pcrc32=, the crc32= of a part that is the whole file is its
  // CRC too, so that a damaged copy of a single part is found out; that of
  // a part of several is the file's.
  YencPart half = Part(300, 1, 1, 150);
  struct Case {
    const YencPart& record;
    uint32_t crc32;
    YencFailure failure;
  } cases[] = {
      {p, crc ^ 1, YencFailure::kFileCrc},
      {half, crc, YencFailure::kNone},
  };
  for (const Case& c : cases) {
    Input in(Article(file, c.record, YencStyle{},
                     "=yend size=" + std::to_string(c.record.end) +
                         " part=1 crc32=" + Hex(c.crc32, false)));
    EXPECT_EQ(DecodeYencPart(&in.f, -1, c.record, -1).failure, c.failure)
        << c.record.end << " " << c.crc32;
  }
}

TEST(YencPartDecoder, DamagedParts) {
  std::string file = RandomBytes(1000, 3);
  YencPart p = Part(1000, 1, 1, 500);
  uint32_t crc = Crc32(0, file.data(), 500);
  std::string good = Article(file, p, YencStyle{}, Yend(p, crc));
  {  // no =yend
    Input in(good.substr(0, good.find("=yend")));
    EXPECT_EQ(DecodeYencPart(&in.f, -1, p, -1).failure, YencFailure::kDamaged);
  }
  {  // a window that ends before =yend
    Input in(good);
    int64_t limit = static_cast<int64_t>(good.find("=yend"));
    EXPECT_EQ(DecodeYencPart(&in.f, limit, p, -1).failure,
              YencFailure::kDamaged);
  }
  {  // a record that disagrees with the =ypart line: nothing written
    YencPart other = p;
    other.end = 499;
    Input in(good);
    Output out;
    EXPECT_EQ(DecodeYencPart(&in.f, -1, other, out.fd).failure,
              YencFailure::kDamaged);
    EXPECT_EQ(out.Read(), "");
  }
  {  // a wrong size=
    std::string a = good;
    a.replace(a.find("size=500"), 8, "size=499");
    Input in(a);
    EXPECT_EQ(DecodeYencPart(&in.f, -1, p, -1).failure, YencFailure::kSize);
  }
}

TEST(YencPartDecoder, DataLongerThanTheRangeIsNotWrittenPastIt) {
  std::string file = RandomBytes(1000, 4);
  YencPart p = Part(1000, 1, 1, 400);
  YencPart longer = p;
  longer.end = 600;
  // The data of 1..600 under the keyword lines of 1..400.
  std::string a = Article(file, longer, YencStyle{}, Yend(p, 0));
  a.replace(a.find("end=600"), 7, "end=400");
  Input in(a);
  Output out;
  YencPartResult r = DecodeYencPart(&in.f, -1, p, out.fd);
  EXPECT_EQ(r.decoded, 600u);
  EXPECT_EQ(r.failure, YencFailure::kSize);
  EXPECT_EQ(out.Read(), file.substr(0, 400));
}

TEST(YencPartDecoder, StreamVariantAndLongLines) {
  std::string file = RandomBytes(200, 5);
  YencPart p = Part(200, 1, 1, 200);
  p.name = std::string(200, 'n');
  uint32_t crc = Crc32(0, file.data(), 200);
  std::string a = Article(file, p, YencStyle{}, Yend(p, crc));
  size_t from = a.find("=ypart");
  Input in(a.substr(from));
  std::string ybegin = a.substr(a.find("=ybegin"), from - a.find("=ybegin"));
  Output out;
  YencPartResult r = DecodeYencPartAfter(&in.f, -1, ybegin, p, out.fd);
  EXPECT_TRUE(r.good);
  EXPECT_EQ(out.Read(), file);
  Input whole(a);
  EXPECT_TRUE(DecodeYencPart(&whole.f, -1, p, -1).good);
}

}  // namespace
