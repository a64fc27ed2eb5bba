#include "yenc/stream.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "checksum/crc32.h"
#include "driver/encodings.h"
#include "test_support.h"
#include "yenc/testing.h"

namespace {

uint32_t CrcOf(const std::string& s) { return Crc32(0, s.data(), s.size()); }

// Part `part` of `file`: its bytes begin..end, with keyword lines as
// encoders write them. `yend` replaces the =yend line where given.
std::string Part(const std::string& name, const std::string& file, int part,
                 uint64_t begin, uint64_t end, const std::string& yend = "") {
  std::string data = file.substr(begin - 1, end - begin + 1);
  std::string text = "=ybegin part=" + std::to_string(part) +
                     " line=128 size=" + std::to_string(file.size()) +
                     " name=" + name + "\n";
  text += "=ypart begin=" + std::to_string(begin) +
          " end=" + std::to_string(end) + "\n";
  text += EncodeYencLines(data, YencStyle{128, false, false, false});
  if (!yend.empty()) return text + yend + "\n";
  return text + "=yend size=" + std::to_string(data.size()) +
         " part=" + std::to_string(part) + " pcrc32=" + CrcHex(CrcOf(data)) +
         "\n";
}

TEST(YencStreamRanges, CoverageIsTheUnionOfTheRanges) {
  struct Case {
    std::vector<YencStreamRange> ranges;
    uint64_t size;
    bool covered;
  } cases[] = {
      {{{1, 10, 0}}, 10, true},
      {{{11, 20, 0}, {1, 10, 0}}, 20, true},  // any order
      {{{1, 12, 0}, {5, 20, 0}}, 20, true},   // overlapping
      {{{1, 10, 0}, {1, 10, 0}}, 10, true},   // a part twice
      {{{1, 9, 0}, {11, 20, 0}}, 20, false},  // a byte missing
      {{{2, 20, 0}}, 20, false},              // the first byte
      {{{1, 19, 0}}, 20, false},              // the last byte
      {{}, 0, true},                          // an empty file
      {{}, 5, false},
      {{{1, UINT64_MAX, 0}}, UINT64_MAX, true},  // no overflow at the top
  };
  for (const Case& c : cases)
    EXPECT_EQ(RangesCoverFile(c.ranges, c.size), c.covered) << c.size;
}

// The cover merges ranges that overlap or touch, so that a range within
// their union is held by one entry.
TEST(YencStreamRanges, CoverOfGoodRanges) {
  YencCover cover;
  for (auto [b, e] :
       std::vector<std::pair<uint64_t, uint64_t>>{{101, 200},
                                                  {1, 50},
                                                  {51, 60},
                                                  {300, 400},
                                                  {150, 320},
                                                  {UINT64_MAX - 1, UINT64_MAX}})
    AddToCover(&cover, b, e);
  EXPECT_EQ(cover,
            (YencCover{{1, 60}, {101, 400}, {UINT64_MAX - 1, UINT64_MAX}}));
  struct Case {
    uint64_t begin, end;
    bool meets, holds;
  } cases[] = {
      {1, 60, true, true},
      {20, 30, true, true},
      {55, 110, true, false},
      {61, 100, false, false},
      {60, 60, true, true},
      {100, 101, true, false},
      {101, 400, true, true},
      {401, 500, false, false},
      {UINT64_MAX, UINT64_MAX, true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CoverMeets(cover, c.begin, c.end), c.meets) << c.begin;
    EXPECT_EQ(CoverHolds(cover, c.begin, c.end), c.holds) << c.begin;
  }
}

TEST(YencStreamRanges, WholeCrcFromRangesEndToEnd) {
  std::string file = RandomBytes(1000, 1);
  auto range = [&](uint64_t b, uint64_t e) {
    return YencStreamRange{b, e, CrcOf(file.substr(b - 1, e - b + 1))};
  };
  uint32_t crc = 0;
  EXPECT_TRUE(CombinedFileCrc(
      {range(601, 1000), range(1, 300), range(301, 600)}, 1000, &crc));
  EXPECT_EQ(crc, CrcOf(file));
  crc = 0;
  EXPECT_TRUE(CombinedFileCrc({range(1, 500), range(501, 1000), range(1, 500)},
                              1000, &crc));
  EXPECT_EQ(crc, CrcOf(file));
  // Overlapping, short or too long: no CRC of the file to be had.
  EXPECT_FALSE(CombinedFileCrc({range(1, 600), range(500, 1000)}, 1000, &crc));
  EXPECT_FALSE(CombinedFileCrc({range(1, 500), range(502, 1000)}, 1000, &crc));
  EXPECT_FALSE(CombinedFileCrc({range(1, 999)}, 1000, &crc));
  EXPECT_FALSE(CombinedFileCrc({range(1, 1000)}, 999, &crc));
}

class YencStreamTest : public testing::Test {
 protected:
  void SetUp() override { options.DESTDIR = out.path.c_str(); }

  // Decodes the texts as plain files, in this order.
  void Run(const std::vector<std::string>& texts) {
    Write(texts);
    Decode();
  }
  void Write(const std::vector<std::string>& texts) {
    paths.clear();
    for (size_t i = 0; i < texts.size(); ++i) {
      paths.push_back(in.Path("in" + std::to_string(i)));
      WriteFile(paths.back(), texts[i]);
    }
  }
  void Decode() {
    std::vector<char*> argv;
    for (std::string& p : paths) argv.push_back(p.data());
    Segment* list = nullptr;
    outcome = decode_p(&list, 0, static_cast<int>(argv.size()), argv.data(),
                       options, TestRecords(), reporter.get());
    stdout_text = reporter.Out();
    stderr_text = reporter.Err();
  }

  TempDir in, out;
  Options options;
  TestReporter reporter;
  std::vector<std::string> paths;
  DecodeOutcome outcome;
  std::string stdout_text, stderr_text;
};

// The data of a part without =yend ends at the next =ybegin line, which
// starts the next part at once; the good copy after them mends the file.
TEST_F(YencStreamTest, PartWithoutYendGivesWayToTheNextPart) {
  std::string file = RandomBytes(600, 2);
  std::string one = Part("f.bin", file, 1, 1, 300);
  one.erase(one.rfind("=yend"));
  Run({one + Part("f.bin", file, 2, 301, 600) +
       Part("f.bin", file, 1, 1, 300)});
  EXPECT_EQ(stderr_text, "");
  EXPECT_EQ(stdout_text, "\nyDecoding f.bin\n");
  EXPECT_EQ(ReadFile(out.Path("f.bin")), file);
  EXPECT_FALSE(outcome.failed);
}

// The part with its first 20 data characters changed: a CRC error.
std::string Spoil(std::string part) {
  size_t data = part.find('\n', part.find("=ypart")) + 1;
  part.replace(data, 20, std::string(20, 'x'));
  return part;
}

// A bad part is reported at the end of the input, only where no good copy
// took its place: good parts wrote its range again after it, or, for a part
// that wrote nothing, a good copy of its part was read.
TEST_F(YencStreamTest, BadPartIsReportedWhereNoGoodCopyFollows) {
  std::string file = RandomBytes(600, 10);
  std::string p1 = Part("f.bin", file, 1, 1, 300);
  std::string p2 = Part("f.bin", file, 2, 301, 600);
  std::string size = Part(
      "f.bin", file, 1, 1, 300,
      "=yend size=299 part=1 pcrc32=" + CrcHex(CrcOf(file.substr(0, 300))));
  std::string odd = Spoil(Part("f.bin", file, 1, 1, 250));
  std::string unplaced = Spoil(p1);
  unplaced.replace(unplaced.find("begin=1"), 7, "begin=0");
  std::string other = Spoil(Part("f.bin", file, 3, 1, 300));
  other.replace(other.find("begin=1"), 7, "begin=0");
  const std::string crc1 = "quillon: CRC error in part 1 of f.bin\n";
  struct Case {
    std::vector<std::string> texts;
    std::string errors;
  } cases[] = {
      {{Spoil(p1), p2, p1}, ""},
      {{p2, Spoil(p1), Spoil(p1), p1}, ""},
      {{size, p1, p2}, ""},
      {{odd, p2, p1}, ""},       // a range of its own, written again
      {{unplaced, p1, p2}, ""},  // nothing written, part 1 read good
      {{Spoil(p1), p2}, crc1},   // no good copy
      {{p1 + Spoil(p2), Spoil(p2)},
       "quillon: CRC error in part 2 of f.bin\n"
       "quillon: CRC error in part 2 of f.bin\n"},
      {{size, p2}, "quillon: size error in part 1 of f.bin\n"},
      {{p1, odd, p2}, crc1},  // written over good bytes
      {{other, p1, p2}, "quillon: CRC error in part 3 of f.bin\n"},
  };
  for (const Case& c : cases) {
    std::remove(out.Path("f.bin").c_str());
    Run(c.texts);
    EXPECT_EQ(stderr_text, c.errors) << c.texts.size() << c.errors;
    EXPECT_EQ(outcome.failed, !c.errors.empty()) << c.errors;
    if (c.errors.empty()) {
      EXPECT_EQ(ReadFile(out.Path("f.bin")), file);
    }
  }
}

// A bad copy of a range that a good copy has filled leaves the file alone.
TEST_F(YencStreamTest, BadCopyAfterAGoodOneIsNotWritten) {
  std::string file = RandomBytes(400, 3);
  std::string bad =
      Part("f.bin", file, 2, 201, 400, "=yend size=200 part=2 pcrc32=12345678");
  std::string bytes = bad.substr(bad.find('\n', bad.find("=ypart")) + 1, 20);
  bad.replace(bad.find(bytes), bytes.size(), std::string(bytes.size(), 'x'));
  Run({Part("f.bin", file, 2, 201, 400), bad, Part("f.bin", file, 1, 1, 200)});
  EXPECT_EQ(stderr_text, "");
  EXPECT_EQ(ReadFile(out.Path("f.bin")), file);
  EXPECT_FALSE(outcome.failed);
}

TEST_F(YencStreamTest, WholeFileCrcComesFromThePartsInFileOrder) {
  std::string file = RandomBytes(900, 4);
  std::string crc = " crc32=" + CrcHex(CrcOf(file));
  std::string wrong = " crc32=" + CrcHex(CrcOf(file) ^ 1);
  auto last = [&](const std::string& whole) {
    std::string p = Part("f.bin", file, 3, 601, 900);
    return p.insert(p.size() - 1, whole);
  };
  Run({last(crc), Part("f.bin", file, 1, 1, 300),
       Part("f.bin", file, 2, 301, 600)});
  EXPECT_EQ(stderr_text, "");
  EXPECT_FALSE(outcome.failed);
  Run({last(wrong), Part("f.bin", file, 1, 1, 300),
       Part("f.bin", file, 2, 301, 600)});
  EXPECT_EQ(stderr_text, "quillon: CRC error in f.bin\n");
  EXPECT_TRUE(outcome.failed);
  EXPECT_EQ(ReadFile(out.Path("f.bin")), file);
}

// Two names that end up at one output name: the second file takes the
// next one.
TEST_F(YencStreamTest, SecondFileOfOneNameTakesTheNextName) {
  std::string a = RandomBytes(100, 5), b = RandomBytes(100, 6);
  Run({Part("a/x.bin", a, 1, 1, 100), Part("b/x.bin", b, 1, 1, 100)});
  EXPECT_EQ(stdout_text, "\nyDecoding x.bin\nyDecoding x.bin.1\n");
  EXPECT_EQ(stderr_text, "");
  EXPECT_EQ(ReadFile(out.Path("x.bin")), a);
  EXPECT_EQ(ReadFile(out.Path("x.bin.1")), b);
  EXPECT_FALSE(outcome.failed);
}

TEST_F(YencStreamTest, EmptyFile) {
  Run({"=ybegin line=128 size=0 name=empty\n=yend size=0 crc32=00000000\n"});
  EXPECT_EQ(stdout_text, "\nyDecoding empty\n");
  EXPECT_EQ(stderr_text, "");
  EXPECT_TRUE(FileExists(out.Path("empty")));
  EXPECT_EQ(ReadFile(out.Path("empty")), "");
  EXPECT_FALSE(outcome.failed);
}

// Under -delete an input file is removed only when the yEnc files it held
// parts of came out whole and sound.
TEST_F(YencStreamTest, DeleteKeepsTheInputsOfAFaultyFile) {
  options.DEL = true;
  std::string good = RandomBytes(300, 7), shrt = RandomBytes(300, 8);
  Run({Part("g.bin", good, 1, 1, 150), Part("s.bin", shrt, 1, 1, 150),
       Part("g.bin", good, 2, 151, 300) + "text\n"});
  EXPECT_EQ(stdout_text, "\nyDecoding g.bin\nyDecoding s.bin\nShort file\n");
  EXPECT_FALSE(FileExists(paths[0]));
  EXPECT_TRUE(FileExists(paths[1]));
  EXPECT_FALSE(FileExists(paths[2]));
  EXPECT_EQ(ReadFile(out.Path("g.bin")), good);
}

// A long stream may hold more files than a process may keep open: each is
// closed once its parts cover it.
TEST_F(YencStreamTest, CompleteFilesAreClosedAtOnce) {
  std::string text;
  std::vector<std::string> files;
  for (int i = 0; i < 100; ++i) {
    files.push_back(RandomBytes(50 + i, 20 + i));
    // Appended, not prepended to a literal: g++ 12 at -O3 warns falsely
    // (-Wrestrict) about a literal in front of a temporary string.
    std::string name(1, 'f');
    name += std::to_string(i);
    text += Part(name, files[i], 2, 26, files[i].size());
    text += Part(name, files[i], 1, 1, 25);
  }
  Write({text});
  rlimit old;
  getrlimit(RLIMIT_NOFILE, &old);
  rlimit lower = old;
  lower.rlim_cur = 40;
  setrlimit(RLIMIT_NOFILE, &lower);
  Decode();
  setrlimit(RLIMIT_NOFILE, &old);
  EXPECT_EQ(stderr_text, "");
  for (int i = 0; i < 100; ++i) {
    std::string name(1, 'f');
    name += std::to_string(i);
    EXPECT_EQ(ReadFile(out.Path(name)), files[i]) << i;
  }
}

// A write that fails is reported once per file, and nothing of the file
// is left.
TEST_F(YencStreamTest, WriteErrorOncePerFile) {
  std::string file = RandomBytes(3000, 9);
  Write({Part("f.bin", file, 1, 1, 1500), Part("f.bin", file, 2, 1501, 3000)});
  rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit lower = old;
  lower.rlim_cur = 1000;
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &lower);
  Decode();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(stderr_text, "quillon: write error on " + out.Path("f.bin") + "\n");
  EXPECT_TRUE(outcome.write_error);
  EXPECT_TRUE(std::filesystem::is_empty(out.path));
}

}  // namespace
