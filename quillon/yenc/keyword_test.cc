#include "yenc/keyword.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Ybegin, ReadsEveryFieldAndTheNameToTheLineEnd) {
  Ybegin y;
  ASSERT_TRUE(ParseYbegin(
      "=ybegin part=3 total=12 line=128 size=1945021 name= holiday  pics.zip"
      " \t\r\n",
      &y));
  EXPECT_EQ(y.part, 3u);
  EXPECT_EQ(y.total, 12u);
  EXPECT_EQ(y.line, 128u);
  EXPECT_EQ(y.size, 1945021u);
  EXPECT_EQ(y.name, " holiday  pics.zip");
  // Single part, fields in another order, unknown ones passed over, no line
  // end, a name with "=" in it, the largest 64-bit size.
  ASSERT_TRUE(ParseYbegin(
      "=ybegin\tsize=18446744073709551615 crc32=1234 line=0 name=a=b", &y));
  EXPECT_EQ(y.part, 0u);
  EXPECT_EQ(y.total, 0u);
  EXPECT_EQ(y.size, UINT64_MAX);
  EXPECT_EQ(y.name, "a=b");
  // A line longer than any uuencoded one.
  std::string name(kYencNameMax, 'n');
  ASSERT_TRUE(ParseYbegin("=ybegin line=128 size=1 name=" + name, &y));
  EXPECT_EQ(y.name, name);
}

TEST(Ybegin, BrokenLinesAreRefused) {
  const char* const broken[] = {
      "=ybegin line=128 name=a.bin",                  // no size
      "=ybegin size=10",                              // no name
      "=ybegin size=10 name=",                        // empty name
      "=ybegin size=10 name=   \r\n",                 // blank name
      "=ybegin size=18446744073709551616 name=a",     // overflow
      "=ybegin size=99999999999999999999999 name=a",  // overflow
      "=ybegin size=-1 name=a",                       // not a number
      "=ybegin size=1x name=a",                       // not a number
      "=ybegin size= name=a",                         // empty number
      "=ybegin size=1 size=2 name=a",                 // repeated
      "=ybegin part=0 size=1 name=a",                 // part 0
      "=ybegin part=3 total=2 size=1 name=a",         // part > total
      "=ybegin total=0 size=1 name=a",                // total 0
      "=ybegin size=1 junk name=a",                   // no "="
      "=ybegin size=1 =3 name=a",                     // no key
      "=ybeginsize=1 name=a",                         // not =ybegin
      "=ybegi size=1 name=a",                         // not =ybegin
      "=ypart begin=1 end=2",                         // another line
      "",
  };
  for (const char* line : broken) {
    Ybegin y;
    EXPECT_FALSE(ParseYbegin(line, &y)) << line;
  }
  Ybegin y;
  EXPECT_FALSE(ParseYbegin(
      "=ybegin size=1 name=" + std::string(kYencNameMax + 1, 'n'), &y));
  EXPECT_FALSE(ParseYbegin(std::string("=ybegin size=1 name=a\0b", 23), &y));
  EXPECT_FALSE(ParseYbegin("=ybegin size=1 name=a\rb", &y));
}

TEST(Ypart, RangeInsideTheFile) {
  Ypart p;
  ASSERT_TRUE(ParseYpart("=ypart begin=307201 end=460800\r\n", 1945021, &p));
  EXPECT_EQ(p.begin, 307201u);
  EXPECT_EQ(p.end, 460800u);
  ASSERT_TRUE(ParseYpart("=ypart end=5 begin=5", 5, &p));
  EXPECT_EQ(p.begin, 5u);
  const char* const broken[] = {
      "=ypart begin=0 end=3",   "=ypart begin=4 end=3",
      "=ypart begin=1 end=11",  "=ypart begin=1",
      "=ypart end=3",           "=ypart begin=1 end=3 end=3",
      "=ypart begin=1 end=0x3", "=ypart begin=1 end=18446744073709551616",
  };
  for (const char* line : broken)
    EXPECT_FALSE(ParseYpart(line, 10, &p)) << line;
  EXPECT_TRUE(
      ParseYpart("=ypart begin=1 end=18446744073709551615", UINT64_MAX, &p));
}

TEST(Yend, CrcsInEitherCaseAndShort) {
  Yend e;
  ASSERT_TRUE(ParseYend(
      "=yend size=153600 part=3 pcrc32=6AB1c3e0 crc32=9c1e4f2d\n", &e));
  EXPECT_TRUE(e.has_size && e.has_pcrc32 && e.has_crc32);
  EXPECT_EQ(e.size, 153600u);
  EXPECT_EQ(e.part, 3u);
  EXPECT_EQ(e.pcrc32, 0x6ab1c3e0u);
  EXPECT_EQ(e.crc32, 0x9c1e4f2du);
  ASSERT_TRUE(ParseYend("=yend size=0 crc32=f", &e));
  EXPECT_FALSE(e.has_pcrc32);
  EXPECT_EQ(e.crc32, 0xfu);
  ASSERT_TRUE(ParseYend("=yend pcrc32=0000000012345678", &e));
  EXPECT_FALSE(e.has_size);
  EXPECT_EQ(e.pcrc32, 0x12345678u);
  const char* const broken[] = {
      "=yend size=1 pcrc32=123456789",
      "=yend size=1 pcrc32=12g4",
      "=yend size=1 pcrc32=",
      "=yend size=1 crc32=1 crc32=1",
      "=yend size=1 part=0",
      "=yend size=1x",
      "=yends size=1",
  };
  for (const char* line : broken) EXPECT_FALSE(ParseYend(line, &e)) << line;
}

}  // namespace
