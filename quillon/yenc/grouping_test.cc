#include "yenc/grouping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "test_support.h"

namespace {

// A range and the input indexes of its copies, best first.
using Placed = std::tuple<uint64_t, uint64_t, std::vector<int>>;

class YencGroupingTest : public testing::Test {
 protected:
  // Adds a record; returns its input index.
  int Add(uint64_t begin, uint64_t end, int32_t time = 0,
          const char* name = "file.bin", uint64_t size = 300, int poster = 1,
          int total = 3) {
    Segment* seg = NewSegment(TestRecords());
    // Posters that share the part of the address before the "@" share the
    // uuencoded poster id; yEnc postings go by the whole address.
    seg->poster = 1;
    seg->time = time;
    parts.push_back(YencPart{name, size, 1, total, begin, end, poster});
    records.push_back({seg, &parts.back()});
    index[seg] = static_cast<int>(records.size()) - 1;
    return static_cast<int>(records.size()) - 1;
  }

  std::vector<YencPosting> Find() {
    return FindYencPostings(records, &counter);
  }

  std::vector<Placed> Tiling(const YencPosting& p) {
    std::vector<Placed> out;
    for (const YencRange& r : p.tiling) {
      std::vector<int> copies;
      for (const YencRecord& c : r.copies) copies.push_back(index[c.seg]);
      out.emplace_back(r.begin, r.end, copies);
    }
    return out;
  }

  std::vector<int> Groups() {
    std::vector<int> out;
    for (const YencRecord& r : records) out.push_back(r.seg->group);
    return out;
  }

  std::deque<YencPart> parts;
  std::vector<YencRecord> records;
  std::unordered_map<const Segment*, int> index;
  int counter = 1;
};

TEST_F(YencGroupingTest, SinglePart) {
  Add(1, 300, 0, "file.bin", 300, 1, -1);
  auto postings = Find();
  ASSERT_EQ(postings.size(), 1u);
  EXPECT_EQ(postings[0].group, 1);
  EXPECT_EQ(counter, 2);
  EXPECT_EQ(Tiling(postings[0]), (std::vector<Placed>{{1, 300, {0}}}));
  EXPECT_EQ(Groups(), (std::vector<int>{1}));
}

TEST_F(YencGroupingTest, PartsOutOfOrderComeInFileOrder) {
  Add(201, 300);
  Add(1, 100);
  Add(101, 200);
  auto postings = Find();
  ASSERT_EQ(postings.size(), 1u);
  EXPECT_EQ(
      Tiling(postings[0]),
      (std::vector<Placed>{{1, 100, {1}}, {101, 200, {2}}, {201, 300, {0}}}));
  EXPECT_EQ(Groups(), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(postings[0].records.size(), 3u);
}

TEST_F(YencGroupingTest, MissingPartLeavesEveryRecordUngrouped) {
  // Missing at the start, in the middle and at the end.
  Add(101, 300, 0, "a");
  Add(1, 100, 0, "b");
  Add(201, 300, 0, "b");
  Add(1, 100, 0, "c");
  Add(101, 299, 0, "c");
  auto postings = Find();
  ASSERT_EQ(postings.size(), 3u);
  for (const YencPosting& p : postings) {
    EXPECT_EQ(p.group, -1);
    EXPECT_TRUE(p.tiling.empty());
  }
  EXPECT_EQ(counter, 1);
  EXPECT_EQ(Groups(), (std::vector<int>{-1, -1, -1, -1, -1}));
}

TEST_F(YencGroupingTest, LaterCopyFirstThenInputOrder) {
  Add(1, 150, 100);
  Add(151, 300, 100);  // 1
  Add(151, 300, 300);  // 2: a repost
  Add(151, 300, 300);  // 3: the same time, read later
  Add(1, 150, 50);     // 4: an older copy read later
  Add(151, 300, 200);  // 5
  auto postings = Find();
  ASSERT_EQ(postings.size(), 1u);
  EXPECT_EQ(Tiling(postings[0]),
            (std::vector<Placed>{{1, 150, {0, 4}}, {151, 300, {2, 3, 5, 1}}}));
}

TEST_F(YencGroupingTest, NegativeTimesOrderToo) {
  Add(1, 300, INT32_MIN);
  Add(1, 300, INT32_MAX);
  Add(1, 300, -1);
  auto postings = Find();
  EXPECT_EQ(Tiling(postings[0]), (std::vector<Placed>{{1, 300, {1, 2, 0}}}));
}

TEST_F(YencGroupingTest, DamagedRangesAreNeverPlaced) {
  Add(0, 100, 0, "a");    // begin 0
  Add(101, 100, 0, "a");  // begin past end
  Add(1, 301, 0, "a");    // end past size
  Add(1, 0, 0, "a");      // empty range of a file that is not empty
  Add(101, 300, 0, "a");
  auto postings = Find();
  ASSERT_EQ(postings.size(), 1u);
  EXPECT_EQ(postings[0].group, -1);

  // With a good copy of the first part the posting is complete, and its
  // damaged records go with it.
  Add(1, 100, 0, "a");
  for (YencRecord& r : records) r.seg->group = -1;
  postings = Find();
  ASSERT_EQ(postings.size(), 1u);
  EXPECT_EQ(postings[0].group, 1);
  EXPECT_EQ(Tiling(postings[0]),
            (std::vector<Placed>{{1, 100, {5}}, {101, 300, {4}}}));
  EXPECT_EQ(Groups(), (std::vector<int>{1, 1, 1, 1, 1, 1}));
  EXPECT_EQ(postings[0].records.size(), 6u);
}

TEST_F(YencGroupingTest, OverlappingRangesFindTheTilingBeyondDeadEnds) {
  // 1..60 and 61..80 lead nowhere; 1..50, 51..300 covers the file.
  Add(1, 60);
  Add(61, 80);
  Add(40, 120);
  Add(51, 300);
  Add(1, 50);
  auto postings = Find();
  ASSERT_EQ(postings.size(), 1u);
  EXPECT_EQ(Tiling(postings[0]),
            (std::vector<Placed>{{1, 50, {4}}, {51, 300, {3}}}));
  EXPECT_EQ(Groups(), (std::vector<int>{1, 1, 1, 1, 1}));
}

TEST_F(YencGroupingTest, OverlapsWithoutExactCoverAreIncomplete) {
  Add(1, 160);
  Add(150, 300);
  Add(2, 300);
  EXPECT_EQ(Find()[0].group, -1);
}

TEST_F(YencGroupingTest, PostingsAreSplitByPosterNameSizeAndTotal) {
  counter = 7;
  Add(1, 300, 0, "x");               // 0: x, complete
  Add(1, 300, 0, "x", 300, 2);       // 1: another poster's address
  Add(1, 150, 0, "x", 300, 1, 2);    // 2: another total
  Add(1, 200, 0, "x", 200);          // 3: another size
  Add(151, 300, 0, "x", 300, 1, 2);  // 4: completes 2
  Add(1, 300, 0, "X");               // 5: names compare exactly
  Add(1, 150, 0, "x ", 300, 1, 2);   // 6: incomplete
  auto postings = Find();
  ASSERT_EQ(postings.size(), 6u);
  EXPECT_EQ(Groups(), (std::vector<int>{7, 8, 9, 10, 9, 11, -1}));
  EXPECT_EQ(counter, 12);
  EXPECT_EQ(postings[2].records.size(), 2u);
  EXPECT_EQ(Tiling(postings[2]),
            (std::vector<Placed>{{1, 150, {2}}, {151, 300, {4}}}));
}

TEST_F(YencGroupingTest, EmptyFileHasOneEmptyRange) {
  Add(1, 0, 5, "empty", 0, 1, -1);
  Add(1, 0, 9, "empty", 0, 1, -1);
  Add(0, 0, 0, "broken", 0, 1, -1);  // a broken =ypart
  auto postings = Find();
  ASSERT_EQ(postings.size(), 2u);
  EXPECT_EQ(Tiling(postings[0]), (std::vector<Placed>{{1, 0, {1, 0}}}));
  EXPECT_EQ(postings[1].group, -1);
  EXPECT_EQ(Groups(), (std::vector<int>{1, 1, -1}));
}

TEST_F(YencGroupingTest, RangesAtTheTopOfSixtyFourBits) {
  const uint64_t top = UINT64_MAX;
  const uint64_t half = uint64_t{1} << 63;
  Add(half + 1, top, 0, "big", top);
  Add(1, half, 0, "big", top);
  Add(half + 1, top - 1, 0, "short", top);
  Add(1, half, 0, "short", top);
  Add(top, top, 0, "one", top - 1);  // end past size
  auto postings = Find();
  ASSERT_EQ(postings.size(), 3u);
  EXPECT_EQ(Tiling(postings[0]),
            (std::vector<Placed>{{1, half, {1}}, {half + 1, top, {0}}}));
  EXPECT_EQ(postings[1].group, -1);
  EXPECT_EQ(postings[2].group, -1);
}

// Parts 1..n of `size`-byte steps with a few reposts, in random order.
std::vector<std::pair<uint64_t, uint64_t>> ShuffledParts(int n, uint64_t step,
                                                         unsigned seed) {
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  for (int i = 0; i < n; ++i) ranges.push_back({i * step + 1, (i + 1) * step});
  for (int i = 0; i < n; i += 97) ranges.push_back(ranges[i]);
  std::shuffle(ranges.begin(), ranges.end(), std::mt19937(seed));
  return ranges;
}

TEST_F(YencGroupingTest, TenThousandPartsInRandomOrder) {
  const int n = 10000;
  for (auto [b, e] : ShuffledParts(n, 1000, 1))
    Add(b, e, 0, "big.iso", uint64_t{n} * 1000, 1, n);
  auto postings = Find();
  ASSERT_EQ(postings.size(), 1u);
  const YencPosting& p = postings[0];
  ASSERT_EQ(p.tiling.size(), static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(p.tiling[i].begin, uint64_t(i) * 1000 + 1);
    EXPECT_EQ(p.tiling[i].copies.size(), i % 97 == 0 ? 2u : 1u);
  }
  EXPECT_EQ(p.records.size(), records.size());
}

// Sizes a quadratic search would take minutes over: many ranges of one
// posting, most of them overlapping the tiling, and many small postings.
TEST_F(YencGroupingTest, ManyRangesAndManyPostingsStayFast) {
  const int n = 50000;
  for (auto [b, e] : ShuffledParts(n, 10, 2)) {
    Add(b, e, 0, "huge", uint64_t{n} * 10, 1, -1);
    Add(b + 5, e + 5, 0, "huge", uint64_t{n} * 10, 1, -1);
  }
  for (int i = 0; i < n; ++i) Add(1, 10, 0, "single", 10, i + 2, -1);
  auto postings = Find();
  ASSERT_EQ(postings.size(), static_cast<size_t>(n) + 1);
  EXPECT_EQ(postings[0].tiling.size(), static_cast<size_t>(n));
  EXPECT_EQ(postings[n].group, n + 1);
  EXPECT_EQ(counter, n + 2);
}

}  // namespace
