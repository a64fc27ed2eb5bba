#include "catalogue/grouping.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "test_support.h"

namespace {

struct Rec {
  int poster, part, total;
  const char* caption;
  char* begin;
  int32_t time;
};

// Builds a catalogue through AddtoFlist; returns the records in the order
// given, whatever order the catalogue holds them in.
std::vector<Segment*> Build(Segment** head, std::vector<Rec> recs) {
  std::vector<Segment*> made;
  for (const Rec& s : recs) {
    Segment* seg = NewSegment(TestRecords());
    seg->poster = s.poster;
    seg->part = s.part;
    seg->total = s.total;
    seg->caption = NewString(TestRecords(), s.caption);
    seg->begin = s.begin;
    seg->time = s.time;
    AddtoFlist(head, seg);
    made.push_back(seg);
  }
  return made;
}

std::vector<Segment*> List(Segment* head) {
  std::vector<Segment*> out;
  for (; head; head = head->next) out.push_back(head);
  return out;
}

std::vector<int> Groups(const std::vector<Segment*>& segs) {
  std::vector<int> out;
  for (const Segment* s : segs) out.push_back(s->group);
  return out;
}

class SortFilesTest : public testing::Test {
 protected:
  TestReporter reporter;

  // Runs SortFiles and returns what it printed.
  std::string Sort() {
    SortFiles(&head, reporter.get());
    return reporter.Out();
  }

  Segment* head = nullptr;
};

TEST_F(SortFilesTest, ThreePartPostingWithFileName) {
  auto s = Build(&head, {{1, 1, 3, "SUNSET.JPG (1/3)",
                          NewBeginName(TestRecords(), "sunset.jpg"), 100},
                         {1, 2, 3, "SUNSET.JPG (2/3)", nullptr, 101},
                         {1, 3, 3, "SUNSET.JPG (3/3)", nullptr, 102}});
  EXPECT_EQ(Sort(), "1 complete (non-segmented) files found.\n");
  EXPECT_EQ(Groups(s), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(List(head), s);
  EXPECT_STREQ(s[0]->begin, "sunset.jpg");
}

TEST_F(SortFilesTest, TwoPostingsWithoutFileNamesByWindows) {
  // Catalogue order: PICS 1, VIDEO 1, PICS 2, VIDEO 2, PICS 3.
  auto s = Build(&head, {{1, 1, 3, "HOLIDAY PICS 1/3",
                          NewBeginName(TestRecords(), "beach.jpg"), 10},
                         {1, 1, 2, "HOLIDAY VIDEO 1/2",
                          NewBeginName(TestRecords(), "beach.avi"), 11},
                         {1, 2, 3, "HOLIDAY PICS 2/3", nullptr, 12},
                         {1, 2, 2, "HOLIDAY VIDEO 2/2", nullptr, 13},
                         {1, 3, 3, "HOLIDAY PICS 3/3", nullptr, 14}});
  EXPECT_EQ(List(head), (std::vector<Segment*>{s[0], s[1], s[2], s[3], s[4]}));
  EXPECT_EQ(Sort(), "2 complete (non-segmented) files found.\n");
  EXPECT_EQ(Groups(s), (std::vector<int>{1, 2, 1, 2, 1}));
  EXPECT_EQ(List(head), (std::vector<Segment*>{s[0], s[2], s[4], s[1], s[3]}));
}

TEST_F(SortFilesTest, GroupNumbersRunAcrossPostersAndRunsStaySeparate) {
  auto s = Build(
      &head,
      {{2, 2, 2, "B.ZIP (2/2)", nullptr, 1},
       {1, 2, 2, "A.ZIP (2/2)", nullptr, 2},
       {2, 1, 2, "B.ZIP (1/2)", NewBeginName(TestRecords(), "b.zip"), 3},
       {1, 1, 2, "A.ZIP (1/2)", NewBeginName(TestRecords(), "a.zip"), 4}});
  EXPECT_EQ(Sort(), "2 complete (non-segmented) files found.\n");
  EXPECT_EQ(Groups(s), (std::vector<int>{2, 1, 2, 1}));
  EXPECT_EQ(List(head), (std::vector<Segment*>{s[3], s[1], s[2], s[0]}));
}

TEST_F(SortFilesTest, MissingPartsStayUngroupedAndAreListed) {
  struct {
    std::vector<Rec> recs;
    std::vector<int> groups;
    std::string printed;
  } cases[] = {
      // Known total that the parts present cannot reach.
      {{{1, 1, 3, "MOON.GIF (1/3)", NewBeginName(TestRecords(), "moon.gif"), 0},
        {1, 3, 3, "MOON.GIF (3/3)", nullptr, 0}},
       {-1, -1},
       "\nCaptions for (file) segments not decoded:\n"
       "MOON.GIF (1/3)\nMOON.GIF (3/3)\n\n"
       "0 complete (non-segmented) files found.\n"},
      // No totals: the gap below part 3 is what rejects the key.
      {{{1, 1, -1, "STAR.GIF", NewBeginName(TestRecords(), "star.gif"), 0},
        {1, 3, -1, "STAR.GIF", nullptr, 0}},
       {-1, -1},
       "\nCaptions for (file) segments not decoded:\n"
       "STAR.GIF\nSTAR.GIF\n\n"
       "0 complete (non-segmented) files found.\n"},
      // A part of unknown number makes the gap up.
      {{{1, 1, -1, "STAR.GIF", NewBeginName(TestRecords(), "star.gif"), 0},
        {1, 3, -1, "STAR.GIF", nullptr, 0},
        {1, -1, -1, "STAR.GIF", nullptr, 5}},
       {1, 1, 1},
       "1 complete (non-segmented) files found.\n"},
  };
  for (auto& c : cases) {
    head = nullptr;
    auto s = Build(&head, c.recs);
    EXPECT_EQ(Sort(), c.printed);
    EXPECT_EQ(Groups(s), c.groups);
  }
}

TEST_F(SortFilesTest, QuietPrintsOnlyTheSummary) {
  reporter.reporter.quiet = true;
  auto s = Build(
      &head, {{1, 1, 3, "MOON.GIF (1/3)", NewBeginName(TestRecords(), "m"), 0},
              {1, 3, 3, "MOON.GIF (3/3)", nullptr, 0}});
  EXPECT_EQ(Sort(), "0 complete (non-segmented) files found.\n");
  EXPECT_EQ(Groups(s), (std::vector<int>{-1, -1}));
}

TEST_F(SortFilesTest, RepostCopyOfAPartIsNotCountedAndReplacesTheOther) {
  auto s = Build(
      &head, {{1, 1, 2, "X.ZIP (1/2)", NewBeginName(TestRecords(), "x.zip"), 1},
              {1, 2, 2, "X.ZIP (2/2)", nullptr, 2},
              {1, 2, 2, "X.ZIP (2/2) REPOST", nullptr, 3}});
  EXPECT_EQ(Sort(), "1 complete (non-segmented) files found.\n");
  // All three match the key; the reordering suppresses the copy that the
  // repost replaces and moves it in front of the group.
  EXPECT_EQ(Groups(s), (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(List(head), (std::vector<Segment*>{s[1], s[0], s[2]}));
}

TEST_F(SortFilesTest, SuppressedCopyDoesNotLeaveGroupsInterleaved) {
  // One poster's run in glob order: the repost of river part 2 comes
  // before the damaged copy, and sunset's parts follow.
  char* sun = NewBeginName(TestRecords(), "sunset.jpg");
  char* river = NewBeginName(TestRecords(), "river.bin");
  auto s = Build(&head, {{1, 1, 3, "SUNSET.JPG (1/3)", sun, 1},
                         {1, 1, 3, "RIVER.BIN (1/3)", river, 2},
                         {1, 2, 3, "RIVER.BIN (2/3) REPOST", nullptr, 9},
                         {1, 2, 3, "RIVER.BIN (2/3)", nullptr, 3},
                         {1, 2, 3, "SUNSET.JPG (2/3)", nullptr, 4},
                         {1, 3, 3, "SUNSET.JPG (3/3)", nullptr, 5},
                         {1, 3, 3, "RIVER.BIN (3/3)", nullptr, 6}});
  EXPECT_EQ(Sort(), "2 complete (non-segmented) files found.\n");
  std::vector<std::string> order;
  for (Segment* r : List(head)) order.push_back(r->caption);
  EXPECT_EQ(order,
            (std::vector<std::string>{
                "RIVER.BIN (2/3)", "SUNSET.JPG (1/3)", "SUNSET.JPG (2/3)",
                "SUNSET.JPG (3/3)", "RIVER.BIN (1/3)", "RIVER.BIN (2/3) REPOST",
                "RIVER.BIN (3/3)"}));
  EXPECT_EQ(s[3]->group, 0);
}

TEST_F(SortFilesTest, RepostReadBeforeTheCopyItReplaces) {
  // A glob reads article 10 before article 9: the repost comes first.
  auto s = Build(
      &head, {{1, 1, 2, "X.ZIP (1/2)", NewBeginName(TestRecords(), "x.zip"), 1},
              {1, 2, 2, "REPOST: X.ZIP (2/2)", nullptr, 3},
              {1, 2, 2, "X.ZIP (2/2)", nullptr, 2}});
  EXPECT_EQ(Sort(), "1 complete (non-segmented) files found.\n");
  EXPECT_EQ(Groups(s), (std::vector<int>{1, 1, 0}));
}

TEST_F(SortFilesTest, OfTwoRepostsOfOnePartTheLaterStays) {
  auto s = Build(
      &head, {{1, 1, 2, "X.ZIP (1/2)", NewBeginName(TestRecords(), "x.zip"), 1},
              {1, 2, 2, "X.ZIP (2/2) REPOST", nullptr, 2},
              {1, 2, 2, "X.ZIP REPOST (2/2)", nullptr, 3}});
  EXPECT_EQ(Sort(), "1 complete (non-segmented) files found.\n");
  EXPECT_EQ(Groups(s), (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(List(head), (std::vector<Segment*>{s[1], s[0], s[2]}));
}

TEST_F(SortFilesTest, DamagedPartAndTwoRepostsKeepTheLatestRepost) {
  // Read in every order, the damaged copy and the earlier repost give way;
  // on equal times the repost that comes first in the run does.
  const std::vector<Rec> copies = {{1, 2, 2, "X.ZIP (2/2)", nullptr, 2},
                                   {1, 2, 2, "REPOST X.ZIP (2/2)", nullptr, 5},
                                   {1, 2, 2, "X.ZIP (2/2) REPOST", nullptr, 7}};
  for (int order : {0, 1, 2, 3, 4, 5}) {
    static const int kPerm[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2},
                                    {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    head = nullptr;
    std::vector<Rec> recs = {
        {1, 1, 2, "X.ZIP (1/2)", NewBeginName(TestRecords(), "x.zip"), 1}};
    for (int k : kPerm[order]) recs.push_back(copies[static_cast<size_t>(k)]);
    Build(&head, recs);
    EXPECT_EQ(Sort(), "1 complete (non-segmented) files found.\n");
    std::vector<std::string> kept;
    for (Segment* r : List(head))
      if (r->group == 1) kept.push_back(r->caption);
    EXPECT_EQ(kept,
              (std::vector<std::string>{"X.ZIP (1/2)", "X.ZIP (2/2) REPOST"}))
        << "order " << order;
  }
  head = nullptr;
  auto s = Build(
      &head, {{1, 1, 2, "X.ZIP (1/2)", NewBeginName(TestRecords(), "x.zip"), 1},
              {1, 2, 2, "X.ZIP REPOST (2/2)", nullptr, 4},
              {1, 2, 2, "REPOST: X.ZIP (2/2)", nullptr, 4}});
  Sort();
  EXPECT_EQ(Groups(s), (std::vector<int>{1, 0, 1}));
}

TEST_F(SortFilesTest, RepeatedPartWithoutRepostCountsAsGap) {
  // Two copies of part 2 under captions that AddtoFlist tells apart.
  auto s = Build(&head,
                 {{1, 1, -1, "Y.ZIP", NewBeginName(TestRecords(), "y.zip"), 1},
                  {1, 2, -1, "Y.ZIP", nullptr, 2},
                  {1, 2, -1, "Y.ZIP AGAIN", nullptr, 3}});
  // Every key that takes the first record takes the odd copy too, and the
  // repeated part is a gap that nothing makes up.
  EXPECT_EQ(Sort(),
            "\nCaptions for (file) segments not decoded:\n"
            "Y.ZIP\nY.ZIP\nY.ZIP AGAIN\n\n"
            "0 complete (non-segmented) files found.\n");
  EXPECT_EQ(Groups(s), (std::vector<int>{-1, -1, -1}));
}

TEST_F(SortFilesTest, PartZeroCountsAsRepeatedPart) {
  struct {
    const char* zero_caption;
    bool with_unknown;
    std::vector<int> groups;
  } cases[] = {
      {"Z.ZIP", false, {-1, -1, -1}},
      {"Z.ZIP", true, {1, 1, 1, 1}},
      {"Z.ZIP REPOST", false, {1, 1, 1}},
  };
  for (auto& c : cases) {
    head = nullptr;
    std::vector<Rec> recs = {
        {1, 0, -1, c.zero_caption, nullptr, 1},
        {1, 1, -1, "Z.ZIP", NewBeginName(TestRecords(), "z.zip"), 2},
        {1, 2, -1, "Z.ZIP", nullptr, 3}};
    if (c.with_unknown) recs.push_back({1, -1, -1, "Z.ZIP", nullptr, 4});
    reporter.reporter.quiet = true;
    auto s = Build(&head, recs);
    Sort();
    EXPECT_EQ(Groups(s), c.groups) << c.zero_caption << c.with_unknown;
  }
}

TEST_F(SortFilesTest, SingleFilesUnderOneSubjectAreRelabelledByName) {
  char* a = NewBeginName(TestRecords(), "a.jpg");
  char* b = NewBeginName(TestRecords(), "b.jpg");
  auto s = Build(&head, {{1, -1, -1, "TWO PICTURES", a, 1},
                         {1, -1, -1, "TWO PICTURES", b, 2}});
  ASSERT_EQ(s[0]->mark + s[1]->mark, 2);
  EXPECT_EQ(Sort(), "2 complete (non-segmented) files found.\n");
  EXPECT_EQ(Groups(s), (std::vector<int>{1, 2}));
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(s[i]->mark, 0);
    EXPECT_EQ(s[i]->caption, s[i]->begin);
  }
  // The shared begin text itself was upper-cased.
  EXPECT_STREQ(a, "A.JPG");
  EXPECT_STREQ(b, "B.JPG");
  EXPECT_EQ(List(head), s);
}

TEST_F(SortFilesTest, UnnumberedSegmentsWithOneBeginFormAGroupInTimeOrder) {
  auto s = Build(
      &head, {{1, -1, -1, "BIG FILE A", nullptr, 30},
              {1, -1, -1, "BIG FILE B", NewBeginName(TestRecords(), "big"), 10},
              {1, -1, -1, "BIG FILE C", nullptr, 20}});
  EXPECT_EQ(Sort(), "1 complete (non-segmented) files found.\n");
  EXPECT_EQ(Groups(s), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(List(head), (std::vector<Segment*>{s[1], s[2], s[0]}));
}

TEST_F(SortFilesTest, ConsecutivePartsTakeEveryUngroupedRecordOfThePoster) {
  // No caption key works: windows matching fewer than three records miss the
  // total, and nothing is common to all three.
  auto s =
      Build(&head, {{1, 3, 3, "CCC", nullptr, 3},
                    {1, 1, 3, "AAA", NewBeginName(TestRecords(), "f"), 1},
                    {1, 5, -1, "DDD", nullptr, 5},
                    {1, 2, 3, "BBB", nullptr, 2},
                    {2, 1, 3, "EEE", NewBeginName(TestRecords(), "g"), 9}});
  EXPECT_EQ(Sort(),
            "\nCaptions for (file) segments not decoded:\nEEE\n\n"
            "1 complete (non-segmented) files found.\n");
  EXPECT_EQ(Groups(s), (std::vector<int>{1, 1, 1, 1, -1}));
  EXPECT_EQ(List(head), (std::vector<Segment*>{s[1], s[3], s[0], s[2], s[4]}));
}

TEST_F(SortFilesTest, UngroupedAndSuppressedGoFirstInTheirRun) {
  char* name = NewBeginName(TestRecords(), "w.zip");
  auto s = Build(&head, {{1, 1, 1, "W.ZIP (1/1)", name, 1},
                         {1, 1, 1, "W.ZIP (1/1)", name, 2},
                         {1, 2, 2, "LOST (2/2)", nullptr, 3}});
  ASSERT_EQ(s[0]->group, 0);
  reporter.reporter.quiet = true;
  EXPECT_EQ(Sort(), "1 complete (non-segmented) files found.\n");
  EXPECT_EQ(Groups(s), (std::vector<int>{0, 1, -1}));
  EXPECT_EQ(List(head), (std::vector<Segment*>{s[2], s[0], s[1]}));
}

TEST_F(SortFilesTest, FileNameKeysOfAllSeedsComeBeforeWindows) {
  auto s =
      Build(&head,
            {{1, -1, -1, "MISC STUFF", NewBeginName(TestRecords(), "x"), 1},
             {1, 1, 2, "MISC B.JPG (1/2)", NewBeginName(TestRecords(), "b"), 2},
             {1, 2, 2, "MISC B.JPG (2/2)", nullptr, 3}});
  EXPECT_EQ(Sort(), "2 complete (non-segmented) files found.\n");
  EXPECT_EQ(Groups(s), (std::vector<int>{2, 1, 1}));
  EXPECT_EQ(List(head), (std::vector<Segment*>{s[1], s[2], s[0]}));
}

}  // namespace
