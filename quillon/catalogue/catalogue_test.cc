#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

Segment* Seg(int poster, int part, const char* caption, char* begin = nullptr,
             int32_t time = 0) {
  Segment* s = NewSegment(TestRecords());
  s->poster = poster;
  s->part = part;
  s->caption = NewString(TestRecords(), caption);
  s->begin = begin;
  s->time = time;
  return s;
}

std::vector<Segment*> List(Segment* head) {
  std::vector<Segment*> out;
  for (; head; head = head->next) out.push_back(head);
  return out;
}

TEST(Same, IgnoresNonAlphanumericsExceptATrailingRest) {
  struct {
    const char* a;
    const char* b;
    int want;
  } cases[] = {
      {"ABC", "A.B C", 1},   {"SUNSET JPG", "S.U.N.S.E.T..JPG", 1},
      {"ABC", "  --ABC", 1}, {"ABC", "ABC.", 0},
      {"ABC.", "ABC", 0},    {"", "", 1},
      {"", "...", 0},        {"ABC", "abc", 0},
      {"AB\xC3", "AB", 0},   {"ABC", "ABD", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(same(c.a, c.b), c.want) << '"' << c.a << "\" \"" << c.b << '"';
}

TEST(AddtoFlist, SortsByPosterThenPartUnknownFirst) {
  Segment* head = nullptr;
  Segment* p3 = Seg(1, 3, "A 3");
  Segment* p1 = Seg(1, 1, "A 1");
  Segment* p2 = Seg(1, 2, "A 2");
  Segment* q0 = Seg(2, 0, "B");
  Segment* p0 = Seg(1, 0, "A 0");
  Segment* pu = Seg(1, -1, "A ?");
  Segment* q9 = Seg(2, 9, "B 9");
  for (Segment* s : {q0, p3, p1, p2, q9, p0, pu}) AddtoFlist(&head, s);
  EXPECT_EQ(List(head), (std::vector<Segment*>{pu, p0, p1, p2, p3, q0, q9}));
  for (Segment* s : List(head)) {
    EXPECT_EQ(s->group, -1);
    EXPECT_EQ(s->mark, 0);
  }
}

TEST(AddtoFlist, ExtremeKeysDoNotWrap) {
  Segment* head = nullptr;
  Segment* low = Seg(1, INT32_MIN, "X");
  Segment* high = Seg(1, INT32_MAX, "Y");
  AddtoFlist(&head, high);
  AddtoFlist(&head, low);
  EXPECT_EQ(List(head), (std::vector<Segment*>{low, high}));
}

TEST(AddtoFlist, EqualKeysKeepInsertionOrderWhenCaptionsDiffer) {
  Segment* head = nullptr;
  Segment* a = Seg(1, 1, "CATS (1/2)");
  Segment* b = Seg(1, 1, "DOGS (1/2)");
  AddtoFlist(&head, a);
  AddtoFlist(&head, b);
  EXPECT_EQ(List(head), (std::vector<Segment*>{a, b}));
  EXPECT_EQ(a->group, -1);
  EXPECT_EQ(b->group, -1);
  EXPECT_EQ(a->mark + b->mark, 0);
}

TEST(AddtoFlist, OlderExactDuplicateIsSuppressed) {
  char* name = NewBeginName(TestRecords(), "a.jpg");
  struct {
    int32_t first_time, second_time;
    int first_group, second_group;
  } cases[] = {
      {100, 200, 0, -1},  // newer arrives later
      {200, 100, -1, 0},  // older arrives later
      {100, 100, 0, -1},  // ties: the one already there goes
      {INT32_MIN, INT32_MAX, 0, -1},
      {INT32_MAX, INT32_MIN, -1, 0},
  };
  for (const auto& c : cases) {
    Segment* head = nullptr;
    Segment* first = Seg(1, 2, "A.JPG (2/3)", name, c.first_time);
    Segment* second = Seg(1, 2, "A.JPG  2 3)", name, c.second_time);
    AddtoFlist(&head, first);
    AddtoFlist(&head, second);
    EXPECT_EQ(List(head), (std::vector<Segment*>{first, second}));
    EXPECT_EQ(first->group, c.first_group) << c.first_time;
    EXPECT_EQ(second->group, c.second_group) << c.first_time;
    EXPECT_EQ(first->mark + second->mark, 0);
  }
}

TEST(AddtoFlist, ThreeCopiesLeaveOnlyTheNewest) {
  Segment* head = nullptr;
  Segment* a = Seg(1, 1, "X", nullptr, 5);
  Segment* b = Seg(1, 1, "X", nullptr, 9);
  Segment* c = Seg(1, 1, "X", nullptr, 7);
  for (Segment* s : {a, b, c}) AddtoFlist(&head, s);
  EXPECT_EQ(a->group, 0);
  EXPECT_EQ(b->group, -1);
  EXPECT_EQ(c->group, 0);
}

TEST(AddtoFlist, SameCaptionOtherBeginMarksThoseWithABegin) {
  Segment* head = nullptr;
  Segment* a = Seg(1, -1, "TWO PICS", NewBeginName(TestRecords(), "a.jpg"));
  Segment* b = Seg(1, -1, "TWO PICS", NewBeginName(TestRecords(), "b.jpg"));
  AddtoFlist(&head, a);
  AddtoFlist(&head, b);
  EXPECT_EQ(a->mark, 1);
  EXPECT_EQ(b->mark, 1);
  EXPECT_EQ(a->group, -1);
  EXPECT_EQ(b->group, -1);

  head = nullptr;
  Segment* with = Seg(1, 1, "PIC", NewBeginName(TestRecords(), "c.jpg"));
  Segment* without = Seg(1, 1, "PIC");
  AddtoFlist(&head, without);
  AddtoFlist(&head, with);
  EXPECT_EQ(with->mark, 1);
  EXPECT_EQ(without->mark, 0);
  EXPECT_EQ(with->group + without->group, -2);
}

// One index kept over many insertions (its table grows several times on
// the way) places and settles every record as a walk over the whole list
// would: behind the last record of a key not above its own, compared with
// every record of its poster and part whose caption is the same.
TEST(AddtoFlist, KeptIndexSettlesAsAWalkOverTheList) {
  std::mt19937 rng(27);
  auto pick = [&](int n) { return static_cast<int>(rng() % unsigned(n)); };
  const char* captions[] = {"A.JPG (1/2)", "A.JPG  1 2)", "B.JPG", "C D E",
                            "C.D.E",       "C D E.",      "X"};
  char* names[] = {nullptr, NewBeginName(TestRecords(), "a.jpg"),
                   NewBeginName(TestRecords(), "b.jpg")};
  Segment* head = nullptr;
  Segment* walked = nullptr;
  CatalogueIndex index;
  IndexCatalogue(&index, head);
  for (int i = 0; i < 600; ++i) {
    int poster = 1 + pick(4), part = pick(5) - 1, time = pick(50);
    const char* caption = captions[pick(7)];
    char* name = names[pick(3)];
    Segment* kept = Seg(poster, part, caption, name, time);
    Segment* copy = Seg(poster, part, caption, name, time);
    kept->offset = copy->offset = i;  // which record it is
    Segment** link = &walked;
    for (Segment** at = &walked; *at; at = &(*at)->next) {
      Segment* r = *at;
      if (r->poster == poster && r->part == part && same(r->caption, caption))
        SettleClash(r, copy);
      if (std::make_pair(r->poster, r->part) <= std::make_pair(poster, part))
        link = &r->next;
    }
    copy->next = *link;
    *link = copy;
    AddtoFlist(&head, kept, &index);
  }
  std::vector<Segment*> got = List(head), want = List(walked);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i]->offset, want[i]->offset) << i;
    EXPECT_EQ(got[i]->group, want[i]->group) << i;
    EXPECT_EQ(got[i]->mark, want[i]->mark) << i;
  }
}

}  // namespace
