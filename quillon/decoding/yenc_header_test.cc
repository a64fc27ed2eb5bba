#include "decoding/yenc_header.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

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
  // Broken =ypart lines: a range never placed.
  for (const char* ypart : {"", "=ypart begin=0 end=9", "=ypart begin=9 end=1",
                            "=ypart begin=1 end=901", "text"}) {
    ASSERT_TRUE(
        YencPartFromLines("=ybegin part=1 size=900 name=a", ypart, 0, &r));
    EXPECT_EQ(r.begin, 0u) << ypart;
  }
  // Broken =ybegin lines: no segment.
  for (const char* ybegin : {"=ybegin name=a", "=ybegin size=9",
                             "=ybegin part=3000000000 size=9 name=a"})
    EXPECT_FALSE(YencPartFromLines(ybegin, "", 0, &r)) << ybegin;
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
