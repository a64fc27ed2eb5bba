#include "yenc/header.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <utility>

namespace {

TEST(YencHeader, FromLines) {
  YencPart r;
  ASSERT_TRUE(YencPartFromLines("=ybegin part=2 total=3 size=900 name=a b\r\n",
                                "=ypart begin=301 end=600\r\n", 7, &r));
  EXPECT_EQ(r.name, "a b");
  EXPECT_EQ(r.size, 900u);
  EXPECT_EQ(r.part, 2);
  EXPECT_EQ(r.total, 3);
  EXPECT_EQ(r.begin, 301u);
  EXPECT_EQ(r.end, 600u);
  // total from the subject, else -1; a single part covers the file.
  ASSERT_TRUE(YencPartFromLines("=ybegin part=2 size=900 name=a",
                                "=ypart "
                                "begin=1 end=9",
                                7, &r));
  EXPECT_EQ(r.total, 7);
  ASSERT_TRUE(YencPartFromLines("=ybegin size=900 name=a", "", 0, &r));
  EXPECT_EQ(r.total, -1);
  EXPECT_EQ(r.part, 1);
  EXPECT_EQ(r.begin, 1u);
  EXPECT_EQ(r.end, 900u);
  // Broken =ybegin lines: no segment.
  for (const char* ybegin : {"=ybegin name=a", "=ybegin size=9",
                             "=ybegin part=3000000000 size=9 name=a"})
    EXPECT_FALSE(YencPartFromLines(ybegin, "", 0, &r)) << ybegin;
}

// part=1 with total=1 or none and no =ypart line is a single part, its
// data on the next line; any other part needs a sound =ypart line, else
// its range is never placed (0..0).
TEST(YencHeader, RangeFromThePartLines) {
  struct Case {
    const char* fields;  // of =ybegin, before size=900
    const char* next;    // the line after it
    uint64_t begin, end;
  } cases[] = {
      {"part=1", "", 1, 900},
      {"part=1", "0123", 1, 900},
      {"part=1 total=1", "", 1, 900},
      {"part=1 total=1", "=ypart begin=1 end=450", 1, 450},
      {"part=1 total=1", "=ypart", 0, 0},
      {"part=1", "=ypart begin=0 end=9", 0, 0},
      {"part=1", "=ypart begin=9 end=1", 0, 0},
      {"part=1", "=ypart begin=1 end=901", 0, 0},
      {"part=1 total=2", "", 0, 0},
      {"part=2", "", 0, 0},
      {"total=2", "=ypart begin=1 end=450", 1, 900},
  };
  for (const Case& c : cases) {
    YencPart r;
    std::string ybegin =
        std::string("=ybegin ") + c.fields + " size=900 name=a";
    ASSERT_TRUE(YencPartFromLines(ybegin, c.next, 0, &r)) << ybegin;
    EXPECT_EQ(std::make_pair(r.begin, r.end), std::make_pair(c.begin, c.end))
        << ybegin << " / " << c.next;
  }
}

// The total of a part without total=: the subject's last counter.
TEST(YencHeader, SubjectTotal) {
  struct Case {
    const char* subject;
    int total;
  } cases[] = {
      {"[01/17] - \"x.rar\" yEnc (3/5)", 5},
      {"REPOST: \"x.rar\" yEnc (3/5)\n", 5},
      {"\"x.rar\" yEnc (03/12) 1945021", 12},
      {"\"x.rar\" yEnc (3/5) [01/17]", 5},  // "(n/m)" before "[n/m]"
      {"x.rar [01/17] 3/5", 5},
      {"x.rar [3/5]", 5},
      {"x.rar ( 3 / 5 )", 5},
      {"File 2 of 6 (3 OF 7)", 7},
      {"x.rar 3of5", 5},
      {"x264/5 (1/x) 4/", -1},        // a number inside a word, no m
      {"x.rar (3/99999999999)", -1},  // beyond an int
      {"holiday.zip", -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(YencSubjectTotal(c.subject), c.total) << c.subject;
}

// The poster of a yEnc part is the whole address, in any case.
TEST(YencHeader, PosterAddress) {
  struct Case {
    const char* from;
    const char* address;
  } cases[] = {
      {"anonymous@first.example", "anonymous@first.example"},
      {"Anonymous <ANONYMOUS@First.Example>\n", "anonymous@first.example"},
      {"anonymous@second.example (Anonymous)\r\n", "anonymous@second.example"},
      {"\"a@b\" < c@d >", "c@d"},
      {"Bob (bob@x.org)", "bob@x.org"},
      {"Name, <bob@exa", "bob@exa"},  // cut: no ">"
      {"  Just A Name ", "just a name"},
      {"", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(YencPosterAddress(c.from), c.address) << c.from;
}

TEST(YencHeader, ReadsLinesLongerThanAPiece) {
  std::string name(300, 'x');
  name.replace(100, 1, " ");
  std::string text = "=ybegin part=1 total=2 size=90 name=" + name +
                     "\n=ypart begin=1 end=45\ndata\n";
  char path[] = "/tmp/yencheadXXXXXX";
  int fd = mkstemp(path);
  ASSERT_EQ(write(fd, text.data(), text.size()),
            static_cast<ssize_t>(text.size()));
  close(fd);
  LineFile f;
  ASSERT_TRUE(OpenLineFile(&f, path));
  char buf[120];
  ASSERT_TRUE(ReadLine(&f, buf, sizeof buf));
  YencPart r;
  // ParseYbegin takes names of at most 255 bytes.
  EXPECT_FALSE(ReadYencHeader(&f, std::string(buf, f.length), 0, &r));
  CloseLineFile(&f);
  text.replace(text.find(name), name.size(), name.substr(0, 250));
  fd = open(path, O_WRONLY | O_TRUNC);
  ASSERT_EQ(write(fd, text.data(), text.size()),
            static_cast<ssize_t>(text.size()));
  close(fd);
  ASSERT_TRUE(OpenLineFile(&f, path));
  ASSERT_TRUE(ReadLine(&f, buf, sizeof buf));
  ASSERT_TRUE(ReadYencHeader(&f, std::string(buf, f.length), 0, &r));
  EXPECT_EQ(r.name, name.substr(0, 250));
  EXPECT_EQ(r.end, 45u);
  ASSERT_TRUE(ReadLine(&f, buf, sizeof buf));
  EXPECT_STREQ(buf, "data\n");
  CloseLineFile(&f);
  unlink(path);
}

}  // namespace
