#include "uuline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "../quillon.h"
#include "../test_support.h"

namespace {

// The bytes decline writes for `line`, which sits in a block of exactly its
// own size so that a read past it trips the address checker.
std::string Decoded(const std::string& line) {
  auto block = std::make_unique<char[]>(line.size() + 1);
  std::memcpy(block.get(), line.c_str(), line.size() + 1);
  std::FILE* out = std::tmpfile();
  decline(block.get(), out);
  std::string bytes(static_cast<size_t>(std::ftell(out)), '\0');
  std::rewind(out);
  EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), out), bytes.size());
  std::fclose(out);
  return bytes;
}

TEST(Uuline, FullLineIsMWithLength62Or63) {
  std::string data(60, '!');
  EXPECT_EQ(uuline(("M" + data + "\n").c_str()), 1);
  EXPECT_EQ(uuline(("M" + data + "\r\n").c_str()), 1);
  EXPECT_EQ(uuline(("M" + data.substr(1) + "\n").c_str()), 0);
  EXPECT_EQ(uuline(("M" + data + "xy\n").c_str()), 0);
  EXPECT_EQ(uuline(("m" + data + "\n").c_str()), 0);
  EXPECT_EQ(uuline(("Message-ID: " + std::string(49, 'x') + "\n").c_str()), 1);
}

TEST(Decline, ShortMLineReadsNothingPastItsEnd) {
  // "M" announces 45 bytes; the missing characters count as 0.
  std::string bytes = Decoded("M" + std::string(8, '!') + "\n");
  ASSERT_EQ(bytes.size(), 45u);
  EXPECT_EQ(bytes.substr(6), std::string(39, '\0'));
  EXPECT_EQ(Decoded("M").size(), 45u);
}

TEST(Decline, WritesExactlyTheCountedBytes) {
  std::string data;
  for (int i = 0; i < 45; ++i) data += static_cast<char>(i * 37 + 200);
  for (size_t n : {1, 2, 3, 5, 44, 45}) {
    std::string line = UuencodeLines(data.substr(0, n));
    EXPECT_EQ(Decoded(line), data.substr(0, n)) << n;
    line.insert(line.size() - 1, "\r");  // CRLF data line
    EXPECT_EQ(Decoded(line), data.substr(0, n)) << n;
  }
  EXPECT_EQ(Decoded("`\n"), "");
  EXPECT_EQ(Decoded(" \n"), "");
  EXPECT_EQ(Decoded("\n"), "");
  EXPECT_EQ(Decoded(""), "");
}

TEST(Decline, BlankAndBackQuoteAreZero) {
  EXPECT_EQ(Decoded("#` `!\n"), Decoded("# ``!\n"));
  EXPECT_EQ(Decoded("#` `!\n"), std::string("\0\0\1", 3));
}

TEST(Decline, PositionsPastTheLineCountAsZero) {
  // Count 5 needs 8 characters; the line ends after 4.
  EXPECT_EQ(Decoded("%____\n"), std::string("\xff\xff\xff\0\0", 5));
  EXPECT_EQ(Decoded("%____"), std::string("\xff\xff\xff\0\0", 5));
  // Count 63 on a two-character line reads nothing outside it.
  EXPECT_EQ(Decoded("_`"), std::string(63, '\0'));
}

TEST(Bline, BeginAndOneBlankAfterWhiteSpace) {
  EXPECT_EQ(bline("begin 644 a.zip\n"), 1);
  EXPECT_EQ(bline(" \t begin 644 a.zip\n"), 1);
  EXPECT_EQ(bline("begin\t644 a.zip\n"), 0);
  EXPECT_EQ(bline("Begin 644 a.zip\n"), 0);
  EXPECT_EQ(bline("begin\n"), 0);
  EXPECT_EQ(bline("begin"), 0);
}

TEST(ReadBline, ModeNameAndResult) {
  struct Case {
    const char* line;
    int result, mode;
    const char* name;
  } cases[] = {
      {"begin 644 file.zip\n", 2, 0644, "file.zip"},
      {"  begin 755 my file.zip\n", 2, 0755, "my"},
      {"begin file.zip\n", 1, 0644, "file.zip"},
      {"begin 9x y\n", 1, 0644, "9x"},
      {"begin 600\n", 1, 0644, "600"},
      {"begin 600 a\r\n", 2, 0600, "a"},
      {"begin    \n", -1, 0644, ""},
      {"Begin 600 a\n", 0, 0644, ""},
  };
  for (const Case& c : cases) {
    int mode = -1;
    char name[kLineSize] = "";
    EXPECT_EQ(ReadBline(c.line, &mode, name), c.result) << c.line;
    EXPECT_EQ(mode, c.mode) << c.line;
    EXPECT_STREQ(name, c.name) << c.line;
  }
}

TEST(ReadBline, NameThatFitsTheLineIsTakenWhole) {
  std::string name(108, 'n');
  std::string line = "begin 644 " + name + "\n";
  ASSERT_EQ(line.size(), 119u);
  int mode;
  char out[kLineSize];
  EXPECT_EQ(ReadBline(line.c_str(), &mode, out), 2);
  EXPECT_EQ(out, name);
}

TEST(Wc, SplitsAtBlanksAndNewlinesOnly) {
  EXPECT_EQ(wc("begin 644 name\n"), 3);
  EXPECT_EQ(wc("  begin   644  \n"), 2);
  EXPECT_EQ(wc("begin\t644\tname\n"), 1);
  EXPECT_EQ(wc(""), 0);
  EXPECT_EQ(wc("   \n"), 0);
}

TEST(CompleteBeginLine, JoinsABrokenLineWithTheNext) {
  TempDir dir;
  WriteFile(dir.Path("in"), "name.zip\nnext\n");
  struct Case {
    const char* line;
    const char* joined;
    const char* after;
  } cases[] = {
      {"begin 644\n", "begin 644 name.zip\n", "next\n"},
      {"begin\t644\ta\n", "begin\t644\ta name.zip\n", "next\n"},
      {"begin 644 a b\n", "begin 644 a b\n", "name.zip\n"},
  };
  for (const Case& c : cases) {
    LineFile in;
    ASSERT_TRUE(OpenLineFile(&in, dir.Path("in").c_str()));
    char line[kLineSize];
    std::strcpy(line, c.line);
    CompleteBeginLine(line, &in);
    EXPECT_STREQ(line, c.joined);
    char rest[kLineSize];
    ASSERT_TRUE(ReadLine(&in, rest, kLineSize));
    EXPECT_STREQ(rest, c.after);
    CloseLineFile(&in);
  }
}

TEST(CompleteBeginLine, AtEndOfInputTheLineEndsInABlank) {
  TempDir dir;
  WriteFile(dir.Path("in"), "");
  LineFile in;
  ASSERT_TRUE(OpenLineFile(&in, dir.Path("in").c_str()));
  char line[kLineSize] = "begin 644\n";
  CompleteBeginLine(line, &in);
  EXPECT_STREQ(line, "begin 644 ");
  CloseLineFile(&in);
}

TEST(CompleteBeginLine, AppendedTextStaysInsideTheBuffer) {
  TempDir dir;
  WriteFile(dir.Path("in"), std::string(200, 'x') + "\n");
  LineFile in;
  ASSERT_TRUE(OpenLineFile(&in, dir.Path("in").c_str()));
  char line[kLineSize] = "begin 644\n";
  CompleteBeginLine(line, &in);
  EXPECT_EQ(std::strlen(line), static_cast<size_t>(kLineSize - 1));
  EXPECT_EQ(std::string(line, 10), "begin 644 ");
  CloseLineFile(&in);
}

}  // namespace
