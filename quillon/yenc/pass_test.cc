#include "yenc/pass.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "checksum/crc32.h"
#include "driver/encodings.h"
#include "test_support.h"
#include "yenc/grouping.h"
#include "yenc/testing.h"

namespace {

// One article with part `part` (1-based bytes begin..end) of `data`; `bad`
// spoils its pcrc32, `file_crc` adds crc32= to its =yend line.
struct PartText {
  int part = 1;
  int total = 2;
  size_t begin = 1;
  size_t end = 0;
  bool bad = false;
  bool file_crc = false;
  uint32_t file_crc_value = 0;
};

std::string Article(const std::string& name, const std::string& data,
                    const PartText& p) {
  std::string piece = data.substr(p.begin - 1, p.end - p.begin + 1);
  uint32_t crc = Crc32(0, piece.data(), piece.size()) ^ (p.bad ? 1u : 0u);
  std::string text =
      "Subject: " + name + "\n\n=ybegin part=" + std::to_string(p.part) +
      " total=" + std::to_string(p.total) +
      " line=128 size=" + std::to_string(data.size()) + " name=" + name +
      "\n=ypart begin=" + std::to_string(p.begin) +
      " end=" + std::to_string(p.end) + "\n";
  text += EncodeYencLines(piece);
  text += "=yend size=" + std::to_string(piece.size()) +
          " part=" + std::to_string(p.part) + " pcrc32=" + CrcHex(crc);
  if (p.file_crc) text += " crc32=" + CrcHex(p.file_crc_value);
  return text + "\n";
}

class YencPassTest : public testing::Test {
 protected:
  void SetUp() override { options.DESTDIR = out.path.c_str(); }

  // A yEnc segment of article `file`, as the scan records it.
  Segment* Add(const std::string& file, const std::string& text,
               const YencPart& part, int32_t time) {
    paths.push_back(std::make_unique<std::string>(in.Path(file)));
    WriteFile(*paths.back(), text);
    Segment* s = NewSegment(TestRecords());
    s->path = paths.back()->c_str();
    s->time = time;
    KeepYencPart(&encodings.yenc, s, part);
    return s;
  }
  Segment* AddPart(const std::string& file, const std::string& name,
                   const std::string& data, const PartText& p,
                   int32_t time = 0) {
    YencPart part;
    part.name = name;
    part.size = data.size();
    part.part = p.part;
    part.total = p.total;
    part.begin = p.begin;
    part.end = p.end;
    return Add(file, Article(name, data, p), part, time);
  }
  // Groups the records, links them in decode order and runs the pass.
  DecodeOutcome Run() {
    int counter = 1;
    GroupYencPostings(&encodings.yenc, &counter);
    std::vector<Segment*> order;
    YencDecodeOrder(encodings.yenc, &order);
    Segment* head = nullptr;
    Segment** link = &head;
    for (Segment* s : order) {
      *link = s;
      link = &s->next;
    }
    return decode(head, encodings, options, TestRecords(), reporter.get());
  }

  TempDir in, out;
  Options options;
  TestReporter reporter{true};
  std::vector<std::unique_ptr<std::string>> paths;
  Encodings encodings;
};

// A spoilt copy loses to a good one whatever their dates; between good
// copies nothing is reported, and every copy counts as processed.
TEST_F(YencPassTest, GoodCopyWinsAndEveryCopyIsProcessed) {
  const std::string data = RandomBytes(3000, 1);
  Segment* one = AddPart("1", "f.bin", data, {1, 2, 1, 1500});
  Segment* spoilt =
      AddPart("2", "f.bin", data, {2, 2, 1501, 3000, true}, /*time=*/9);
  Segment* good = AddPart("3", "f.bin", data, {2, 2, 1501, 3000}, 1);
  DecodeOutcome outcome = Run();
  EXPECT_EQ(reporter.Err(), "");
  EXPECT_FALSE(outcome.failed);
  EXPECT_EQ(ReadFile(out.Path("f.bin")), data);
  for (const Segment* s : {one, spoilt, good}) EXPECT_EQ(s->mark, 1);
}

// With no good copy the file is still written, the error names the part,
// and no article of the posting is processed or deleted.
TEST_F(YencPassTest, PartWithoutGoodCopyKeepsThePostingsArticles) {
  options.DEL = true;
  const std::string data = RandomBytes(2000, 2);
  Segment* one = AddPart("1", "g.bin", data, {1, 2, 1, 1000});
  Segment* two = AddPart("2", "g.bin", data, {2, 2, 1001, 2000, true});
  DecodeOutcome outcome = Run();
  EXPECT_EQ(reporter.Err(), "quillon: CRC error in part 2 of g.bin\n");
  EXPECT_TRUE(outcome.failed);
  EXPECT_EQ(ReadFile(out.Path("g.bin")), data);
  EXPECT_EQ(one->mark, 0);
  EXPECT_EQ(two->mark, 0);
  EXPECT_TRUE(FileExists(in.Path("1")));
  EXPECT_TRUE(FileExists(in.Path("2")));
}

TEST_F(YencPassTest, WholeFileCrcIsChecked) {
  const std::string data = RandomBytes(2000, 3);
  uint32_t right = Crc32(0, data.data(), data.size());
  AddPart("1", "h.bin", data, {1, 2, 1, 1000});
  AddPart("2", "h.bin", data, {2, 2, 1001, 2000, false, true, right ^ 4});
  AddPart("3", "i.bin", data, {1, 2, 1, 1000});
  AddPart("4", "i.bin", data, {2, 2, 1001, 2000, false, true, right});
  // Every part may say it; a wrong one in any part counts.
  AddPart("5", "j.bin", data, {1, 2, 1, 1000, false, true, right ^ 8});
  AddPart("6", "j.bin", data, {2, 2, 1001, 2000, false, true, right});
  EXPECT_TRUE(Run().failed);
  EXPECT_EQ(reporter.Err(),
            "quillon: CRC error in h.bin\nquillon: CRC error in j.bin\n");
  EXPECT_EQ(ReadFile(out.Path("i.bin")), data);
}

TEST_F(YencPassTest, EmptyFileIsWritten) {
  YencPart part;
  part.name = "empty.bin";
  part.begin = 1;
  Segment* s = Add("1",
                   "Subject: e\n\n=ybegin line=128 size=0 name=empty.bin\n"
                   "\n=yend size=0 crc32=00000000\n",
                   part, 0);
  EXPECT_FALSE(Run().failed);
  EXPECT_TRUE(FileExists(out.Path("empty.bin")));
  EXPECT_EQ(ReadFile(out.Path("empty.bin")), "");
  EXPECT_EQ(s->mark, 1);
}

// The name rules of uuencoded files: the base name, a number where the run
// has written that name for another file, and "yDecoding" shows it.
TEST_F(YencPassTest, NamesFollowTheRulesOfUuencodedNames) {
  reporter.reporter.quiet = false;
  const std::string a = RandomBytes(500, 4), b = RandomBytes(700, 5);
  AddPart("1", "dir/same.bin", a, {1, 1, 1, 500});
  AddPart("2", "same.bin", b, {1, 1, 1, 700});
  EXPECT_FALSE(Run().failed);
  EXPECT_EQ(reporter.Out(), "\nyDecoding same.bin\nyDecoding same.bin.1\n");
  EXPECT_EQ(ReadFile(out.Path("same.bin")), a);
  EXPECT_EQ(ReadFile(out.Path("same.bin.1")), b);
}

TEST_F(YencPassTest, DirRefusesNamesThatLeaveTheOutputDirectory) {
  options.DIR = true;
  const std::string data = RandomBytes(100, 6);
  Segment* s = AddPart("1", "../up.bin", data, {1, 1, 1, 100});
  EXPECT_TRUE(Run().failed);
  EXPECT_EQ(reporter.Err(),
            "quillon: unable to create " + out.Path("../up.bin") + "\n");
  EXPECT_FALSE(FileExists(out.Path("../up.bin")));
  EXPECT_EQ(s->mark, 0);
}

}  // namespace
