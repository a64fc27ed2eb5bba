#include "decoding/line_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

std::vector<std::string> Lines(const std::string& path, int size = 120) {
  LineFile f;
  EXPECT_TRUE(OpenLineFile(&f, path.c_str()));
  std::vector<std::string> lines;
  char buf[120];
  while (ReadLine(&f, buf, size)) lines.push_back(buf);
  CloseLineFile(&f);
  return lines;
}

// The lines of `f` from where it stands up to `until` (-1: to the end).
std::vector<std::string> LinesUntil(LineFile* f, int64_t until = -1) {
  std::vector<std::string> lines;
  char buf[120];
  while ((until < 0 || TellLine(f) < until) && ReadLine(f, buf, 120))
    lines.push_back(buf);
  return lines;
}

// `count` numbered CR LF lines, two of three dot-stuffed, in wire format
// with its final line or not.
std::string NumberedLines(size_t count, bool wire) {
  std::string text;
  for (size_t i = 0; i < count; ++i)
    text += (i % 3 ? ".." : "") + std::to_string(i) + " line\r\n";
  if (wire) text += ".\r\n";
  return text;
}

TEST(LineFile, LongLinesArriveInPiecesOf119) {
  TempDir dir;
  WriteFile(dir.Path("f"), std::string(200, 'x') + "\nend\n");
  auto lines = Lines(dir.Path("f"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].size(), 119u);
  EXPECT_EQ(lines[1], std::string(81, 'x') + "\n");
}

// The rest of a line begun by a read: across the refills of a file bigger
// than a read, nothing after a read that ended its line, and up to the end
// of a last line without a newline.
TEST(LineFile, RestOfALineIsReadWhole) {
  TempDir dir;
  const std::string long_line = "Subject: " + std::string(300 * 1024, 'x');
  WriteFile(dir.Path("f"), long_line + "\nnext\nlast " + long_line);
  LineFile f;
  ASSERT_TRUE(OpenLineFile(&f, dir.Path("f").c_str()));
  char buf[120];
  std::string line;
  for (const std::string& want :
       {long_line + "\n", std::string("next\n"), "last " + long_line}) {
    ASSERT_TRUE(ReadLine(&f, buf, 120));
    line.assign(buf, f.length);
    ReadLineRest(&f, &line);
    EXPECT_EQ(line, want);
  }
  EXPECT_EQ(TellLine(&f), static_cast<int64_t>(2 * long_line.size() + 11));
  EXPECT_FALSE(ReadLine(&f, buf, 120));
  CloseLineFile(&f);
}

TEST(LineFile, WireFormatDropsTheStuffedDot) {
  TempDir dir;
  std::string text = "Subject: x\r\n..dot line\r\n...\r\n.\r\n";
  WriteFile(dir.Path("wire"), text);
  auto lines = Lines(dir.Path("wire"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], ".dot line\r\n");
  EXPECT_EQ(lines[2], "..\r\n");
  EXPECT_EQ(lines[3], ".\r\n");
  // Positions stay raw.
  LineFile f;
  ASSERT_TRUE(OpenLineFile(&f, dir.Path("wire").c_str()));
  char buf[120];
  ReadLine(&f, buf, 120);
  ReadLine(&f, buf, 120);
  EXPECT_EQ(TellLine(&f), 24);
  CloseLineFile(&f);
}

TEST(LineFile, WireFormatSplitsLongLinesAsTheUnstuffedText) {
  TempDir dir;
  std::string body = ".." + std::string(130, 'y') + "\r\n.\r\n";
  WriteFile(dir.Path("wire"), body);
  auto lines = Lines(dir.Path("wire"));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(".").append(118, 'y'));
  EXPECT_EQ(lines[1], std::string(12, 'y') + "\r\n");
}

TEST(LineFile, OnlyFilesEndingInTheWireTerminatorAreWireFormat) {
  TempDir dir;
  // CR LF lines alone do not make a file wire format.
  WriteFile(dir.Path("native"), "..two dots\r\nlast\r\n");
  auto lines = Lines(dir.Path("native"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "..two dots\r\n");
  // A dot inside a line (not at its start) is left alone.
  WriteFile(dir.Path("wire"), "a..b\r\n.\r\n");
  EXPECT_EQ(Lines(dir.Path("wire"))[0], "a..b\r\n");
}

TEST(LineFile, LengthCountsNulsAndTheReinsertedDot) {
  TempDir dir;
  WriteFile(dir.Path("f"), std::string("a\0b\n", 4) + "cd");
  LineFile f;
  ASSERT_TRUE(OpenLineFile(&f, dir.Path("f").c_str()));
  char buf[120];
  ASSERT_TRUE(ReadLine(&f, buf, 120));
  EXPECT_EQ(f.length, 4u);
  ASSERT_TRUE(ReadLine(&f, buf, 120));
  EXPECT_EQ(f.length, 2u);
  CloseLineFile(&f);
  WriteFile(dir.Path("wire"), ".x\r\n.\r\n");
  ASSERT_TRUE(OpenLineFile(&f, dir.Path("wire").c_str()));
  ASSERT_TRUE(ReadLine(&f, buf, 120));
  EXPECT_STREQ(buf, ".x\r\n");
  EXPECT_EQ(f.length, 4u);
  CloseLineFile(&f);
}

// Seeks inside what has been read, behind it and past it, in a file that is
// read whole at open and in one bigger than a read.
TEST(LineFile, SeeksAnywhereAndReadsOnFromThere) {
  TempDir dir;
  for (size_t count : {10u, 20000u}) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += std::to_string(i) + "\n";
    WriteFile(dir.Path("f"), text);
    LineFile f;
    ASSERT_TRUE(OpenLineFile(&f, dir.Path("f").c_str()));
    EXPECT_EQ(SizeOfLineFile(&f), static_cast<int64_t>(text.size()));
    char buf[120];
    for (size_t at : {size_t{0}, text.size() / 2, text.size() - 2,
                      text.find("7\n"), size_t{1}, text.size()}) {
      ASSERT_TRUE(SeekLine(&f, static_cast<int64_t>(at)));
      EXPECT_FALSE(AtEnd(&f));
      EXPECT_EQ(TellLine(&f), static_cast<int64_t>(at));
      if (at == text.size()) {
        EXPECT_FALSE(ReadLine(&f, buf, 120));
        EXPECT_TRUE(AtEnd(&f));
        continue;
      }
      ASSERT_TRUE(ReadLine(&f, buf, 120)) << at;
      size_t nl = text.find('\n', at);
      EXPECT_EQ(std::string(buf), text.substr(at, nl + 1 - at)) << at;
      EXPECT_EQ(TellLine(&f), static_cast<int64_t>(nl + 1));
    }
    CloseLineFile(&f);
  }
}

// Opened at an offset, a file reads, tells its size and its format as one
// opened at its start and sought there: small files that the first read
// takes whole, from any offset, and files bigger than a read.
TEST(LineFile, OpenedAtAnOffsetReadsAsAfterASeek) {
  TempDir dir;
  for (size_t count : {10u, 30000u}) {
    for (bool wire : {false, true}) {
      std::string text = NumberedLines(count, wire);
      WriteFile(dir.Path("f"), text);
      for (size_t at : {size_t{0}, size_t{9}, text.size() / 2, text.size() - 4,
                        text.size()}) {
        SCOPED_TRACE(std::to_string(count) + (wire ? " wire at " : " at ") +
                     std::to_string(at));
        LineFile sought, opened;
        ASSERT_TRUE(OpenLineFile(&sought, dir.Path("f").c_str()));
        ASSERT_TRUE(SeekLine(&sought, static_cast<int64_t>(at)));
        ASSERT_TRUE(OpenLineFileAt(&opened, dir.Path("f").c_str(),
                                   static_cast<int64_t>(at)));
        EXPECT_EQ(opened.wire, wire);
        EXPECT_EQ(SizeOfLineFile(&opened), static_cast<int64_t>(text.size()));
        EXPECT_EQ(TellLine(&opened), static_cast<int64_t>(at));
        EXPECT_EQ(LinesUntil(&opened), LinesUntil(&sought));
        EXPECT_TRUE(AtEnd(&opened));
        EXPECT_EQ(TellLine(&opened), static_cast<int64_t>(text.size()));
        CloseLineFile(&sought);
        CloseLineFile(&opened);
      }
    }
  }
}

// A file kept open and read again at the windows of its segments, in any
// order (ahead, back, inside what the buffer holds, past its end), reads as
// one opened at each window: the bytes a window's read leaves in the buffer
// never stand for other parts of the file.
TEST(LineFile, ReadAgainAtAWindowReadsAsOpenedThere) {
  TempDir dir;
  for (size_t count : {10u, 30000u}) {
    for (bool wire : {false, true}) {
      std::string text = NumberedLines(count, wire);
      WriteFile(dir.Path("f"), text);
      const int64_t size = static_cast<int64_t>(text.size());
      auto line_at = [&](size_t n) {
        return static_cast<int64_t>(text.find('\n', n * size / 8) + 1);
      };
      LineFile held;
      ASSERT_TRUE(OpenLineFile(&held, dir.Path("f").c_str()));
      const std::pair<int64_t, int64_t> visits[] = {
          {line_at(4), line_at(5)},
          {9, 40},
          {line_at(4) + 10, line_at(6)},
          {line_at(1), line_at(2)},
          {line_at(6), -1},
          {line_at(5), size},
          {0, 9},
          {size - 4, size},
          {size, size},
          {line_at(1), -1}};
      for (auto [at, until] : visits) {
        SCOPED_TRACE(std::to_string(count) + (wire ? " wire at " : " at ") +
                     std::to_string(at) + " until " + std::to_string(until));
        LineFile opened;
        ASSERT_TRUE(OpenLineFileAt(&opened, dir.Path("f").c_str(), at));
        ASSERT_TRUE(ReadLineFileAt(&held, at, until));
        EXPECT_EQ(TellLine(&held), at);
        EXPECT_EQ(SizeOfLineFile(&held), size);
        EXPECT_EQ(LinesUntil(&held, until), LinesUntil(&opened, until));
        EXPECT_EQ(TellLine(&held), TellLine(&opened));
        EXPECT_EQ(AtEnd(&held), AtEnd(&opened));
        CloseLineFile(&opened);
      }
      CloseLineFile(&held);
    }
  }
}

TEST(LineFile, BigWireFileIsToldByItsTail) {
  TempDir dir;
  std::string text;
  while (text.size() < 600 * 1024) text += "..line of some length\r\n";
  WriteFile(dir.Path("wire"), text + ".\r\n");
  auto lines = Lines(dir.Path("wire"));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], ".line of some length\r\n");
  WriteFile(dir.Path("native"), text);
  EXPECT_EQ(Lines(dir.Path("native"))[0], "..line of some length\r\n");
}

// The look ahead takes nothing, also where the prefix lies across the end of
// the buffer (a file of more than 256 KB) or past the end of the input.
TEST(LineFile, NextReadStartsWithTakesNothing) {
  TempDir dir;
  const std::string filler(256 * 1024 - 3, 'x');
  struct Case {
    std::string before, rest, prefix;
    bool starts;
  } cases[] = {
      {"a\n", "=ypart begin=1\n", "=ypart", true},
      {"a\n", "=yend\n", "=ypart", false},
      {filler.substr(1) + "\n", "=ypart begin=1\n", "=ypart", true},
      {filler.substr(1) + "\n", "=ypa", "=ypart", false},
      {"a\n", "", "=ypart", false},
  };
  for (const Case& c : cases) {
    WriteFile(dir.Path("f"), c.before + c.rest);
    LineFile f;
    ASSERT_TRUE(OpenLineFile(&f, dir.Path("f").c_str()));
    std::string line;
    char buf[120];
    while (line.size() < c.before.size() && ReadLine(&f, buf, 120)) line += buf;
    EXPECT_EQ(NextReadStartsWith(&f, c.prefix), c.starts) << c.rest;
    EXPECT_EQ(TellLine(&f), static_cast<int64_t>(c.before.size()));
    std::string rest;
    while (ReadLine(&f, buf, 120)) rest += buf;
    EXPECT_EQ(rest, c.rest);
    CloseLineFile(&f);
  }
}

// As with stdio, the end of input stands until a seek: data added to the
// file after it is not read.
TEST(LineFile, EndOfInputStandsUntilASeek) {
  TempDir dir;
  WriteFile(dir.Path("f"), "one\n");
  LineFile f;
  ASSERT_TRUE(OpenLineFile(&f, dir.Path("f").c_str()));
  char buf[120];
  ASSERT_TRUE(ReadLine(&f, buf, 120));
  EXPECT_FALSE(ReadLine(&f, buf, 120));
  EXPECT_TRUE(AtEnd(&f));
  WriteFile(dir.Path("f"), "one\ntwo\n");
  EXPECT_FALSE(ReadLine(&f, buf, 120));
  ASSERT_TRUE(SeekLine(&f, 4));
  ASSERT_TRUE(ReadLine(&f, buf, 120));
  EXPECT_STREQ(buf, "two\n");
  CloseLineFile(&f);
}

// A file of exactly 4 GiB in wire format (sparse): its size must not pass
// for that of a file read whole.
TEST(LineFile, WireFormatOfAFileOfFourGigabytes) {
  TempDir dir;
  const std::string tail = "\r\n..5555\r\n.\r\n";
  const int64_t size = int64_t{1} << 32;
  {
    std::FILE* out = std::fopen(dir.Path("big").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(
        fseeko(out, static_cast<off_t>(size) - static_cast<off_t>(tail.size()),
               SEEK_SET),
        0);
    std::fputs(tail.c_str(), out);
    std::fclose(out);
  }
  LineFile f;
  ASSERT_TRUE(OpenLineFile(&f, dir.Path("big").c_str()));
  EXPECT_EQ(SizeOfLineFile(&f), size);
  ASSERT_TRUE(SeekLine(&f, size - static_cast<int64_t>(tail.size()) + 2));
  char buf[120];
  ASSERT_TRUE(ReadLine(&f, buf, 120));
  EXPECT_STREQ(buf, ".5555\r\n");
  CloseLineFile(&f);
}

}  // namespace
