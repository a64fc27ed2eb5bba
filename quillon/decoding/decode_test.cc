#include "decode.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../log/log.h"
#include "../test_support.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

std::string Bytes(int n) {
  std::string data;
  for (int i = 0; i < n; ++i) data += static_cast<char>(i * 131 + i / 7);
  return data;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    lines.push_back(text.substr(at, nl + 1 - at));
    at = nl + 1;
  }
  return lines;
}

std::string Join(const std::vector<std::string>& lines, size_t from,
                 size_t to) {
  std::string text;
  for (size_t i = from; i < to && i < lines.size(); ++i) text += lines[i];
  return text;
}

std::string Article(const std::string& subject, const std::string& body) {
  return "Subject: " + subject + "\nLines: 9\n\n" + body + "-- \nsig\n";
}

class DecodeTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetOptions();
    DESTDIR = out.path.c_str();
  }
  void TearDown() override { ResetOptions(); }

  // A record as the catalogue hands it over.
  Segment* Add(const std::string& path, int group, char* begin,
               int64_t offset = 0) {
    Segment* s = NewSegment();
    s->path = NewString(path.c_str());
    s->group = group;
    s->begin = begin;
    s->offset = offset;
    *tail = s;
    tail = &s->next;
    return s;
  }
  // Another record of the same article file.
  Segment* AddSame(Segment* of, int group, int64_t offset) {
    Segment* s = Add("", group, of->begin, offset);
    s->path = of->path;
    return s;
  }
  std::string Run() {
    CaptureStdout();
    decode(list);
    return GetCapturedStdout();
  }

  TempDir in, out;
  Segment* list = nullptr;
  Segment** tail = &list;
};

TEST_F(DecodeTest, PostingInThreeArticlesOfOneFile) {
  std::string data = Bytes(300);
  std::vector<std::string> lines = Lines(Uuencode(data, "dir/out.bin"));
  // Windows stand in the file as part 2, part 1, part 3.
  std::string a2 = Article("p2", Join(lines, 3, 6));
  std::string a1 = Article("p1", Join(lines, 0, 3));
  std::string a3 = Article("p3", Join(lines, 6, lines.size()));
  WriteFile(in.Path("art"), a2 + a1 + a3);
  char* begin = NewBeginName("dir/out.bin");
  Segment* p1 = Add(in.Path("art"), 1, begin, a2.size());
  AddSame(p1, 1, 0);
  AddSame(p1, 1, a2.size() + a1.size());
  EXPECT_EQ(Run(), "\nUUdecoding out.bin\n");
  EXPECT_EQ(ReadFile(out.Path("out.bin")), data);
  EXPECT_STREQ(begin, MARKER);
  for (Segment* s = list; s; s = s->next) EXPECT_EQ(s->mark, 1);
}

TEST_F(DecodeTest, MaxseekEndsWindowsAtLaterSegmentsOfTheSameFile) {
  Segment* a = Add("art", 1, nullptr, 0);
  Segment* b = AddSame(a, 1, 900);
  Segment* c = AddSame(a, 1, 400);
  Add("other", 1, nullptr, 200);
  EXPECT_EQ(maxseek(list, a, 1500), 400);
  EXPECT_EQ(maxseek(list, c, 1500), 900);
  EXPECT_EQ(maxseek(list, b, 1500), 1500);
  EXPECT_EQ(maxseek(list, a, 300), 300);
}

TEST_F(DecodeTest, CleanWaitsForEverySegmentOfAFile) {
  DEL = true;
  WriteFile(in.Path("a"), "x");
  WriteFile(in.Path("b"), "x");
  LogEntry ea{nullptr, 0, nullptr}, eb{nullptr, 0, nullptr};
  Segment* a1 = Add(in.Path("a"), 1, nullptr);
  Segment* a2 = AddSame(a1, 1, 10);
  Segment* b = Add(in.Path("b"), 1, nullptr);
  a1->logentry = a2->logentry = &ea;
  b->logentry = &eb;
  a1->mark = b->mark = 1;
  clean(list);
  EXPECT_TRUE(FileExists(in.Path("a")));
  EXPECT_FALSE(FileExists(in.Path("b")));
  EXPECT_EQ(ea.flag, 0);
  EXPECT_EQ(eb.flag, 1);
  a2->mark = 1;
  DEL = false;
  clean(list);
  EXPECT_TRUE(FileExists(in.Path("a")));
  EXPECT_EQ(ea.flag, 1);
}

TEST_F(DecodeTest, SuppressedAndUnassignedSegments) {
  DEL = true;
  std::string err = out.Path("errors");
  ERRFILE = err.c_str();
  std::string text = Article("junk", "some text\nbegin 644 no.bin\n");
  WriteFile(in.Path("junk"), text);
  LogEntry entry{nullptr, 0, nullptr};
  Segment* never = Add(in.Path("missing"), 0, nullptr);
  Segment* junk = Add(in.Path("junk"), -1, NewBeginName("no.bin"));
  junk->logentry = &entry;
  EXPECT_EQ(Run(), "\n");
  EXPECT_EQ(never->mark, 1);
  EXPECT_EQ(junk->mark, 1);
  EXPECT_EQ(ReadFile(err), text);
  EXPECT_FALSE(FileExists(in.Path("junk")));
  EXPECT_FALSE(FileExists(out.Path("no.bin")));
  EXPECT_EQ(entry.flag, 1);

  // Without an error file the segment is read but not processed.
  ERRFILE = nullptr;
  WriteFile(in.Path("junk"), text);
  list = nullptr;
  tail = &list;
  Segment* kept = Add(in.Path("junk"), -1, nullptr);
  entry.flag = 0;
  kept->logentry = &entry;
  EXPECT_EQ(Run(), "\n");
  EXPECT_EQ(kept->mark, 0);
  EXPECT_TRUE(FileExists(in.Path("junk")));
  EXPECT_EQ(entry.flag, 0);
}

TEST_F(DecodeTest, SharedBeginNameStartsOnlyTheFirstFile) {
  WriteFile(in.Path("x"), Article("x", Uuencode(Bytes(50), "same.bin")));
  WriteFile(in.Path("y"), Article("y", Uuencode(Bytes(70), "same.bin")));
  char* begin = NewBeginName("same.bin");
  Add(in.Path("x"), 1, begin);
  Add(in.Path("y"), 2, begin);
  EXPECT_EQ(Run(), "\nUUdecoding same.bin\n");
  EXPECT_EQ(ReadFile(out.Path("same.bin")), Bytes(50));
  for (Segment* s = list; s; s = s->next) EXPECT_EQ(s->mark, 1);
}

TEST_F(DecodeTest, DosNamesAreNumberedInTheCatalogue) {
  DOS = true;
  WriteFile(in.Path("a"), Uuencode(Bytes(10), "pictures_a_1.jpg"));
  WriteFile(in.Path("b"), Uuencode(Bytes(20), "pictures_b_1.jpg"));
  Add(in.Path("a"), 1, NewBeginName("pictures_a_1.jpg"));
  Add(in.Path("b"), 2, NewBeginName("pictures_b_1.jpg"));
  EXPECT_EQ(Run(), "\nUUdecoding pictur_1.jpg\nUUdecoding pictur01.jpg\n");
  EXPECT_EQ(ReadFile(out.Path("pictur_1.jpg")), Bytes(10));
  EXPECT_EQ(ReadFile(out.Path("pictur01.jpg")), Bytes(20));
}

TEST_F(DecodeTest, FailedOutputFileKeepsItsArticles) {
  DEL = true;
  DIR = true;
  QUIET = true;
  std::vector<std::string> lines = Lines(Uuencode(Bytes(100), "../up.bin"));
  WriteFile(in.Path("p1"), Article("p1", Join(lines, 0, 2)));
  // The last part also carries a posting of its own, which is decoded.
  WriteFile(in.Path("p2"), Article("p2", Join(lines, 2, lines.size()) +
                                             Uuencode(Bytes(7), "ok2.bin")));
  WriteFile(in.Path("ok"), Article("ok", Uuencode(Bytes(5), "ok.bin")));
  char* up = NewBeginName("../up.bin");
  Segment* p1 = Add(in.Path("p1"), 1, up);
  Segment* p2 = Add(in.Path("p2"), 1, up);
  Segment* ok = Add(in.Path("ok"), 2, NewBeginName("ok.bin"));
  CaptureStderr();
  EXPECT_EQ(Run(), "\n");
  EXPECT_EQ(GetCapturedStderr(),
            "quillon: unable to create " + out.Path("../up.bin") + "\n");
  EXPECT_EQ(p1->mark, 0);
  EXPECT_EQ(p2->mark, 0);
  EXPECT_EQ(ok->mark, 1);
  EXPECT_TRUE(FileExists(in.Path("p1")));
  EXPECT_TRUE(FileExists(in.Path("p2")));
  EXPECT_FALSE(FileExists(in.Path("ok")));
  EXPECT_FALSE(FileExists(out.Path("../up.bin")));
  EXPECT_EQ(ReadFile(out.Path("ok.bin")), Bytes(5));
  EXPECT_EQ(ReadFile(out.Path("ok2.bin")), Bytes(7));
}

TEST_F(DecodeTest, NamesOutsideTheOutputDirectoryAreRefused) {
  DIR = true;
  QUIET = true;
  for (std::string name : {"/abs.bin", "..", "a/../../b.bin", "a/.."}) {
    WriteFile(in.Path("u"), Uuencode("x", name));
    std::string path = in.Path("u");
    char* argv[] = {path.data()};
    CaptureStderr();
    CaptureStdout();
    decode_p(&list, 0, 1, argv);
    GetCapturedStdout();
    EXPECT_EQ(GetCapturedStderr(),
              "quillon: unable to create " + out.path + "/" + name + "\n");
    EXPECT_TRUE(std::filesystem::is_empty(out.path)) << name;
  }
  EXPECT_FALSE(FileExists(out.Path("../b.bin")));
}

TEST_F(DecodeTest, ArticleThatCannotBeOpenedEndsTheRun) {
  Add(in.Path("gone"), 1, nullptr);
  EXPECT_EXIT(decode(list), testing::ExitedWithCode(1),
              "^quillon: cannot access file " + in.Path("gone") + "\n$");
}

TEST(BaseName, KeepsTheLastComponent) {
  const char* table[][2] = {
      {"a/b/c.zip", "c.zip"}, {"/c.zip", "c.zip"}, {"c.zip", "c.zip"},
      {"dir/", ""},           {"/", ""},           {"", ""}};
  for (auto& row : table) {
    char name[kLineSize];
    std::strcpy(name, row[0]);
    EXPECT_EQ(BaseName(name), name);
    EXPECT_STREQ(name, row[1]) << row[0];
  }
}

TEST(CreatePath, JoinsDestdirOfAnyLength) {
  ResetOptions();
  EXPECT_STREQ(CreatePath("a.bin"), "a.bin");
  std::string dest(300, 'd');
  DESTDIR = dest.c_str();
  EXPECT_EQ(std::string(CreatePath("a.bin")), dest + "/a.bin");
  ResetOptions();
}

TEST(GetFilePtr, ReportsWhatCannotBeOpened) {
  EXPECT_EQ(GetFilePtr(nullptr), nullptr);
  TempDir dir;
  std::string bad = dir.Path("no/such");
  CaptureStderr();
  EXPECT_EQ(GetFilePtr(bad.c_str()), nullptr);
  EXPECT_EQ(GetCapturedStderr(), bad + ": cannot open\n");
  std::FILE* f = GetFilePtr(dir.Path("err").c_str());
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_TRUE(FileExists(dir.Path("err")));
}

}  // namespace
