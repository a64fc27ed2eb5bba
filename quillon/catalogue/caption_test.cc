#include "catalogue/caption.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quillon.h"
#include "test_support.h"

namespace {

// A modifiable copy of `s`; '|' in the result of Bytes() stands for a NUL.
std::vector<char> Buffer(const std::string& s) {
  return std::vector<char>(s.c_str(), s.c_str() + s.size() + 1);
}

// A keyword table filled from one -keywords word.
struct Keywords {
  explicit Keywords(const std::string& words) : text(Buffer(words)) {
    TestReporter reporter;
    KeySplit(table, text.data(), &count, reporter.get());
  }
  std::vector<char> text;
  char* table[kMaxKeywords] = {};
  int count = 0;
};

// `n` characters of subject text without digits, dots or slashes, such as
// stands before the part numbers of a long subject.
std::string Filler(size_t n) {
  std::string text;
  while (text.size() < n) text += "LONG SUBJECT TEXT ";
  return text.substr(0, n);
}

std::string Bytes(const std::vector<char>& buf) {
  std::string s(buf.begin(), buf.end() - 1);
  for (char& c : s)
    if (c == '\0') c = '|';
  return s;
}

TEST(GetNum, PartsTotalsAndTerminators) {
  struct Case {
    const char* text;
    int part, total;
    const char* after;  // the text afterwards, '|' for a written terminator
  } cases[] = {
      {"SUBJECT: MY PICTURE.JPG (1/3)\n", 1, 3,
       "SUBJECT: MY PICTURE.JPG (1|3|\n"},
      {"SUBJECT: FILE.ZIP 2 OF 5\n", 2, 5, "SUBJECT: FILE.ZIP 2|OF 5|"},
      {"SUBJECT: PART 2 OF 3\n", 2, 3, "SUBJECT: PART 2|OF 3|"},
      {"SUBJECT: 3 / 5 X\n", 3, 5, "SUBJECT: 3|/ 5|X\n"},
      {"SUBJECT: [03/10] A.GIF\n", 3, 10, "SUBJECT: [03|10| A.GIF\n"},
      {"SUBJECT: 3OF5\n", 3, 5, "SUBJECT: 3|F5|"},
      {"SUBJECT: 2 PICTURES 1/2\n", 1, 2, "SUBJECT: 2 PICTURES 1|2|"},
      {"SUBJECT: V1.2 (1/3)\n", 1, 3, "SUBJECT: V1.2 (1|3|\n"},
      {"SUBJECT: 12/\n", 12, -1, "SUBJECT: 12|\n"},
      {"SUBJECT: 3 OFFICE.DOC\n", 3, -1, "SUBJECT: 3|OFFICE.DOC\n"},
      {"SUBJECT: 1/2", 1, 2, "SUBJECT: 1|2"},
      {"SUBJECT: 007 OF 010\n", 7, 10, "SUBJECT: 007|OF 010|"},
      // Nothing but a PART word: case (b), text unchanged.
      {"SUBJECT: FOO.JPG PART 3\n", 3, -1, nullptr},
      {"SUBJECT: PART TWO\n", 0, -1, nullptr},
      {"SUBJECT: COUNTERPARTS 4 X\n", 4, -1, nullptr},
      {"SUBJECT: 3X/5\n", -1, -1, nullptr},
      {"SUBJECT: NEW PICS\n", -1, -1, nullptr},
      {"SUBJECT: 1 of 2\n", -1, -1, nullptr},
      {"", -1, -1, nullptr},
      {"5", -1, -1, nullptr},
      // Digit runs wrap modulo 2^32.
      {"S: 99999999999/4294967297\n", 1215752191, 1,
       "S: 99999999999|4294967297|"},
      {"S: 2147483648 OF 4294967294", -2147483647 - 1, -2,
       "S: 2147483648|OF 4294967294"},
      {"S: PART 4294967296\n", 0, -1, nullptr},
  };
  for (const Case& c : cases) {
    std::vector<char> buf = Buffer(c.text);
    int part = 99, total = 99;
    GetNum(buf.data(), &part, &total);
    EXPECT_EQ(part, c.part) << c.text;
    EXPECT_EQ(total, c.total) << c.text;
    EXPECT_EQ(Bytes(buf), c.after ? c.after : c.text) << c.text;
  }
}

TEST(GetFileName, FirstWordWithASingleDot) {
  const std::string kLongWord = std::string(200, 'A') + ".JPG";
  struct Case {
    std::string text;
    std::string name;
  } cases[] = {
      {"SUBJECT: MY PICTURE.JPG (1/3)\n", "PICTURE.JPG"},
      {"SUBJECT: FOO.JPG(1/2)\n", "FOO.JPG"},
      {"SUBJECT: (CAT.GIF) 1/1\n", "CAT.GIF"},
      {"SUBJECT: WAIT... FOO.JPG\n", "FOO.JPG"},
      {"SUBJECT: E.G. FOO.JPG\n", "E.G."},
      {"SUBJECT: V1.2 (1/3)\n", "V1.2"},
      {"SUBJECT: PICS,FOO.JPG\n", "PICS"},
      {"SUBJECT: NEW PICS\n", ""},
      {"SUBJECT: A..B C.D\n", "C.D"},
      {"SUBJECT: ,FOO.JPG\n", "FOO.JPG"},
      {"SUBJECT: FOO.\n", "FOO."},
      {".PROFILE", ".PROFILE"},
      {"", ""},
      // Texts of any length are read whole: a name far behind the first
      // 119 characters, and a name longer than a line read.
      {"SUBJECT: " + Filler(1000) + " FILE.ZIP (1/3)\n", "FILE.ZIP"},
      {"SUBJECT: " + kLongWord + " (1/3)\n", kLongWord},
      {"SUBJECT: " + Filler(300) + "\n", ""},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    std::string out = "junk";
    GetFileName(text.c_str(), &out);
    EXPECT_EQ(out, c.name) << c.text;
    EXPECT_EQ(text, c.text);
  }
}

TEST(FormatStr, BlanksAllButAlnumPlusMinusAndUpperCases) {
  std::string text = "Re: [pics] foo.jpg (1/3) +x-y\t\xe9z\n";
  EXPECT_EQ(FormatStr(text.data()), text.data());
  EXPECT_EQ(text, "RE   PICS  FOO JPG  1 3  +X-Y  Z ");
}

TEST(Upcase, OnlyAsciiLowerCase) {
  std::string text = "abc xyz-09 \xe9\xff ABC{`}\n";
  EXPECT_EQ(upcase(text.data()), text.data());
  EXPECT_EQ(text, "ABC XYZ-09 \xe9\xff ABC{`}\n");
}

TEST(KeySplit, WordsAreNormalisedInPlaceAndAppended) {
  char* table[kMaxKeywords] = {};
  int count = 0;
  TestReporter reporter;
  std::vector<char> first = Buffer("+cat -dog.gif  +c++");
  KeySplit(table, first.data(), &count, reporter.get());
  ASSERT_EQ(count, 3);
  EXPECT_STREQ(table[0], "+CAT");
  EXPECT_STREQ(table[1], "-DOG GIF");
  EXPECT_STREQ(table[2], "+C++");
  EXPECT_EQ(table[0], first.data());

  // A tab does not separate; outer blanks give no empty keyword.
  std::vector<char> second = Buffer("  a\tb  ");
  KeySplit(table, second.data(), &count, reporter.get());
  ASSERT_EQ(count, 4);
  EXPECT_STREQ(table[3], "A B");
  EXPECT_EQ(table[3], second.data() + 2);

  std::vector<char> blank = Buffer("   ");
  KeySplit(table, blank.data(), &count, reporter.get());
  EXPECT_EQ(count, 4);
}

TEST(KeySplit, WordsBeyondTheTenthAreReportedAndDropped) {
  char* table[kMaxKeywords] = {};
  int count = 0;
  TestReporter reporter;
  std::vector<char> first = Buffer("a b c d e f g h");
  KeySplit(table, first.data(), &count, reporter.get());
  std::vector<char> second = Buffer("i j k.l m");
  KeySplit(table, second.data(), &count, reporter.get());
  EXPECT_EQ(reporter.Err(),
            "quillon: too many keywords, ignoring \"K L\"\n"
            "quillon: too many keywords, ignoring \"M\"\n");
  // Noted, not a failure of the run.
  EXPECT_FALSE(reporter.reporter.failed);
  EXPECT_EQ(count, kMaxKeywords);
  EXPECT_STREQ(table[8], "I");
  EXPECT_STREQ(table[9], "J");
}

TEST(Keycheck, Scores) {
  Keywords mixed("+cat -dog.gif  +c++");
  Keywords minus_cat("-cat");
  Keywords bare("-");

  const char* subject = "Subject: Dog.gif and cat pics (1/3)\n";
  EXPECT_EQ(keycheck(subject, mixed.table, mixed.count), 0);
  EXPECT_EQ(keycheck("Subject: C++ cat cat\n", mixed.table, mixed.count), 2);
  EXPECT_EQ(keycheck("Subject: Catalog\n", minus_cat.table, 1), -1);
  EXPECT_EQ(keycheck("Subject: dogs\n", minus_cat.table, 1), 0);
  EXPECT_EQ(keycheck("", bare.table, bare.count), -1);
  EXPECT_EQ(keycheck(subject, mixed.table, 0), 0);

  std::string text = subject;
  keycheck(text.c_str(), mixed.table, mixed.count);
  EXPECT_EQ(text, subject);
  // The whole text is searched, however long.
  std::string long_text = "Subject: " + std::string(1000, 'x') + " cat\n";
  EXPECT_EQ(keycheck(long_text.c_str(), minus_cat.table, 1), -1);
}

TEST(GetTime, DateFormats) {
  struct Case {
    const char* text;
    int32_t time;
  } cases[] = {
      {"Mon, 13 Jan 1997 10:20:30 GMT\n", 97582830},
      {"13 Jan 1997 10:20:30 GMT\n", 97582830},
      {"Mon, 13 Jan 97 10:20:30 GMT\n", 97582830},
      {"  Mon, 13 Jan 1997 10: 20: 30", 97582830},
      {"Wednesdayxx 13 Jan 1997 10:20:30", 97582830},
      {"Tue, 31 Dec 1996 23:59:59 +0100\n", 96508799},
      {"1 Feb 1994 0:0:0", 2678400 + 86400},
      {"1 Jan 1994 +0:-0:-1", 86400 - 1},
      {"Mon, 13 Jan 1997 10:20 GMT\n", 0},
      {"13 January 1997 10:20:30\n", 0},
      {"13 jan 1997 10:20:30\n", 0},
      {"13 aJan 1997 10:20:30\n", 0},
      {"13 Jan 1997 10 :20:30\n", 0},
      {"Wednesdayxyz 13 Jan 1997 10:20:30", 0},
      // A word over 11 characters fails rather than feeding the next field.
      {"xxxxxxxxxxx5 Jan 1997 10:20:30", 0},
      {"Mon 13 Janxxxxxxxxxx 1997 10:20:30", 0},
      {"", 0},
      {"Mon,", 0},
      // Year 00 is 1900: (1900 - 1994) * 32140800 wraps past -2^31.
      {"1 Jan 00 0:0:0", 1273732096 + 86400},
      // 4294967296 wraps to 0, then 0 becomes 1900.
      {"1 Jan 4294967296 0:0:0", 1273732096 + 86400},
      {"0 Jan 2061 0:0:59", -2141533637},
  };
  for (const Case& c : cases) EXPECT_EQ(GetTime(c.text), c.time) << c.text;
}

TEST(Userid, PartBeforeTheAt) {
  struct Case {
    const char* text;
    const char* name;
  } cases[] = {
      {"John Doe <jdoe@example.com>\n", "jdoe"},
      {"jdoe@example.com (John Doe)\n", "jdoe"},
      {"\"Doe, John\" <J.Doe@host>", "J.Doe"},
      {"John Doe\n", "NONE!"},
      {"", "NONE!"},
      {"@host", ""},
  };
  for (const Case& c : cases) {
    std::vector<char> buf = Buffer(c.text);
    const char* name = userid(buf.data());
    EXPECT_STREQ(name, c.name) << c.text;
    if (std::string(c.name) != "NONE!") {
      EXPECT_GE(name, buf.data());
      EXPECT_LT(name, buf.data() + buf.size());
    }
  }
}

}  // namespace
