#include "decoding/uuline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "quillon.h"
#include "test_support.h"

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
  std::string short_data = data.substr(1);
  EXPECT_EQ(uuline(("M" + short_data + "\n").c_str()), 0);
  EXPECT_EQ(uuline(("M" + data + "xy\n").c_str()), 0);
  EXPECT_EQ(uuline(("m" + data + "\n").c_str()), 0);
  EXPECT_EQ(uuline(("Message-ID: " + std::string(49, 'x') + "\n").c_str()), 1);
}

TEST(Decline, ShortMLineReadsNothingPastItsEnd) {
  // "M" announces 45 bytes; the missing characters count as 0.
  std::string bytes = Decoded(std::string("M").append(8, '!') + "\n");
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
    line.insert(line.end() - 1, '\r');  // CRLF data line
    EXPECT_EQ(Decoded(line), data.substr(0, n)) << n;
  }
  // Zero-length lines, also with CR LF and with the blank stripped.
  for (const char* line : {"`\n", " \n", "\n", "", "`\r\n", " \r\n", "\r\n"})
    EXPECT_EQ(Decoded(line), "") << line;
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

// What a full line decodes to, character by character: blank-or-later
// positions (from the first NUL or newline on) count as 0.
std::string Expected(const std::string& line) {
  std::string bytes;
  size_t end = line.find_first_of(std::string("\n\0", 2));
  auto at = [&](size_t i) {
    return i < end && i < line.size()
               ? (static_cast<unsigned char>(line[i]) - 32u) & 63u
               : 0u;
  };
  for (size_t i = 1; bytes.size() < 45; i += 4) {
    unsigned a = at(i), b = at(i + 1), c = at(i + 2), d = at(i + 3);
    bytes += static_cast<char>((a << 2 | b >> 4) & 255u);
    bytes += static_cast<char>((b << 4 | c >> 2) & 255u);
    bytes += static_cast<char>((c << 6 | d) & 255u);
  }
  return bytes;
}

// Full lines of every byte value, with LF and CR LF ends, and with a NUL or
// a newline at each place: every way of decoding agrees with the plain rule,
// and a NUL or newline in the text is never decoded as data.
TEST(DeclineFull, EveryWayDecodesLikeThePlainRule) {
  std::mt19937 random(7);
  auto ways = DecodeSixtyWays();
  ASSERT_FALSE(ways.empty());
  for (int round = 0; round < 3000; ++round) {
    std::string line = "M";
    while (line.size() < 61) {
      char c = static_cast<char>(random() % 255 + 1);
      line += c == '\n' ? 'x' : c;
    }
    line += round % 2 ? "\r\n" : "\n";
    // A NUL somewhere in 1..61 or a newline in 1..60, or neither (-1).
    int nul = round % 3 == 0 ? static_cast<int>(random() % 61) + 1 : -1;
    int nl = round % 3 == 1 ? static_cast<int>(random() % 60) + 1 : -1;
    if (nul > 0) line[static_cast<size_t>(nul)] = '\0';
    if (nl > 0) line[static_cast<size_t>(nl)] = '\n';
    bool whole = nul < 0 && nl < 0;
    for (DecodeSixty way : ways) {
      unsigned char bytes[64];
      bool decoded = way(line.data() + 1, bytes);
      EXPECT_EQ(decoded, whole || nul > 60) << round;
      if (decoded) {
        EXPECT_EQ(std::string(bytes, bytes + 45), Expected(line)) << round;
      }
    }
    EXPECT_EQ(Decoded(line), Expected(line)) << round;
    EXPECT_EQ(uuline(line.c_str()), nul < 0 ? 1 : 0) << round;
    std::FILE* out = std::tmpfile();
    bool taken = DeclineFull(line.data(), line.size(), out);
    EXPECT_EQ(taken, whole) << round;
    EXPECT_EQ(std::ftell(out), taken ? 45 : 0);
    std::fclose(out);
    unsigned char bytes[64];
    EXPECT_EQ(DecodeFullLineAt(line + "M", bytes), whole ? line.size() : 0u);
  }
}

TEST(DecodeFullLineAt, TakesOnlyALineReadAsItStands) {
  std::string data(60, 'A');
  unsigned char bytes[64];
  EXPECT_EQ(DecodeFullLineAt("M" + data + "\n", bytes), 62u);
  std::string bytes_of_four_a = "\x86\x18\x61";
  for (int i = 0; i < 45; i += 3)
    EXPECT_EQ(std::string(bytes + i, bytes + i + 3), bytes_of_four_a);
  EXPECT_EQ(DecodeFullLineAt("M" + data + "\r\n", bytes), 63u);
  EXPECT_EQ(DecodeFullLineAt("M" + data + "\n\n", bytes), 62u);
  EXPECT_EQ(DecodeFullLineAt("M" + data, bytes), 0u);  // newline not read yet
  EXPECT_EQ(DecodeFullLineAt("M" + data + "x\n", bytes), 63u);
  EXPECT_EQ(DecodeFullLineAt("M" + data + "xy\n", bytes), 0u);
  EXPECT_EQ(DecodeFullLineAt("M" + data + "\r", bytes), 0u);
  EXPECT_EQ(DecodeFullLineAt("M" + data + std::string("\0\n", 2), bytes), 0u);
  std::string short_data = data.substr(1);
  EXPECT_EQ(DecodeFullLineAt("M" + short_data + "\n\n", bytes), 0u);
  EXPECT_EQ(DecodeFullLineAt("L" + data + "\n", bytes), 0u);
}

TEST(DeclineFull, OnlyLinesOf62Or63CharactersStartingWithM) {
  std::string data(60, 'A');
  std::FILE* out = std::tmpfile();
  EXPECT_TRUE(DeclineFull(("M" + data + "\n").c_str(), 62, out));
  EXPECT_TRUE(DeclineFull(("M" + data + "\r\n").c_str(), 63, out));
  EXPECT_FALSE(DeclineFull(("M" + data + "x\r\n").c_str(), 64, out));
  EXPECT_FALSE(DeclineFull(("M" + data).c_str(), 61, out));
  EXPECT_FALSE(DeclineFull(("L" + data + "\n").c_str(), 62, out));
  EXPECT_EQ(std::ftell(out), 90);
  std::fclose(out);
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
