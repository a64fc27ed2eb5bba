// The indexed catalogue, grouping, decode-pass and log operations against
// the plain list walks they replace: seeded random cases, compared field by
// field and line by line.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/grouping.h"
#include "catalogue/poster_pool.h"
#include "catalogue/reorder.h"
#include "decoding/decode.h"
#include "decoding/dosname.h"
#include "decoding/output.h"
#include "driver/encodings.h"
#include "log/log.h"
#include "reference/reference.h"
#include "test_support.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kScale = 4;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int kScale = 4;
#else
constexpr int kScale = 1;
#endif
#else
constexpr int kScale = 1;
#endif

int Cases(int n) { return n / kScale; }

struct Rng {
  explicit Rng(unsigned seed) : gen(seed) {}
  int operator()(int lo, int hi) {  // inclusive
    return std::uniform_int_distribution<int>(lo, hi)(gen);
  }
  bool Chance(int percent) { return (*this)(1, 100) <= percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& v) {
    return v[static_cast<size_t>((*this)(0, static_cast<int>(v.size()) - 1))];
  }
  std::mt19937 gen;
};

// One random segment, made twice: for the indexed and the reference side.
struct SegmentSpec {
  int poster, part, total;
  int32_t time;
  std::string caption;
  int begin;  // index into the case's begin names, -1 none
};

std::vector<SegmentSpec> RandomCatalogue(Rng& rng, int begins) {
  static const std::vector<std::string> kNames = {
      "SUNSET.JPG", "SUN.JPG", "HOLIDAY PICS", "A.B", "SUNSET.JPGX", "PIC"};
  std::vector<SegmentSpec> specs;
  int n = rng(1, 24);
  for (int i = 0; i < n; ++i) {
    SegmentSpec s;
    s.poster = rng(1, 3);
    s.part = rng(-1, 5);
    s.total = rng.Chance(30) ? -1 : rng(1, 5);
    s.time = rng(0, 4);  // equal times are common
    std::string name = rng.Pick(kNames);
    if (rng.Chance(50))
      s.caption = name + " (" + std::to_string(s.part) + "/" +
                  std::to_string(s.total) + ")";
    else
      s.caption = name;
    if (rng.Chance(15)) s.caption += " REPOST";
    if (rng.Chance(15)) s.caption = "." + s.caption;  // same() ignores it
    if (rng.Chance(10)) s.caption += ".";
    s.begin = rng.Chance(40) ? rng(0, begins - 1) : -1;
    specs.push_back(s);
  }
  return specs;
}

struct Side {
  Segment* head = nullptr;
  std::vector<Segment*> made;
  std::vector<char*> begins;
  std::map<const Segment*, size_t> id;
};

void Make(const std::vector<SegmentSpec>& specs,
          const std::vector<std::string>& begin_names, Side* side) {
  for (const std::string& b : begin_names)
    side->begins.push_back(NewBeginName(TestRecords(), b.c_str()));
  for (const SegmentSpec& s : specs) {
    Segment* seg = NewSegment(TestRecords());
    seg->poster = s.poster;
    seg->part = s.part;
    seg->total = s.total;
    seg->time = s.time;
    seg->caption = NewString(TestRecords(), s.caption.c_str());
    seg->begin = s.begin < 0 ? nullptr : side->begins[s.begin];
    side->id[seg] = side->made.size();
    side->made.push_back(seg);
  }
}

// The list as text: record ids in order with the fields that can change.
std::string Describe(const Side& side) {
  std::string out;
  for (Segment* s = side.head; s; s = s->next) {
    out += std::to_string(side.id.at(s)) + ":g" + std::to_string(s->group) +
           ":m" + std::to_string(s->mark) + ":" + s->caption + ":" +
           (s->begin ? s->begin : "-") + "\n";
  }
  return out;
}

// "F7.BIN" for ('F', 7). Appended, not a literal in front of a temporary
// string: g++ 12 at -O3 warns falsely (-Wrestrict) about that.
std::string FileName(char letter, int f) {
  std::string name(1, letter);
  name += std::to_string(f);
  name += ".BIN";
  return name;
}

// Catalogues the records in a random order, groups them with both
// implementations, and expects the same result.
void ExpectSameGrouping(Rng& rng, std::vector<SegmentSpec>* specs,
                        const std::vector<std::string>& begin_names, int n) {
  for (size_t i = specs->size(); i > 1; --i)
    std::swap((*specs)[i - 1],
              (*specs)[static_cast<size_t>(rng(0, static_cast<int>(i) - 1))]);
  Side fast, ref;
  Make(*specs, begin_names, &fast);
  Make(*specs, begin_names, &ref);
  for (Segment* s : fast.made) AddtoFlist(&fast.head, s);
  for (Segment* s : ref.made) RefAddtoFlist(&ref.head, s);
  TestReporter reporter(true);
  SortFiles(&fast.head, reporter.get());
  RefSortFiles(&ref.head, reporter.get());
  ASSERT_EQ(Describe(fast), Describe(ref)) << "case " << n;
}

TEST(Equivalence, CatalogueInsertionAndGrouping) {
  Rng rng(20261207);
  const std::vector<std::string> begin_names = {"sunset.jpg", "sun.jpg",
                                                "pics.zip", "sunset.jpg"};
  for (int n = 0; n < Cases(2000); ++n) {
    std::vector<SegmentSpec> specs = RandomCatalogue(rng, 4);
    Side fast, ref;
    Make(specs, begin_names, &fast);
    Make(specs, begin_names, &ref);
    for (Segment* s : fast.made) AddtoFlist(&fast.head, s);
    for (Segment* s : ref.made) RefAddtoFlist(&ref.head, s);
    ASSERT_EQ(Describe(fast), Describe(ref)) << "case " << n;

    TestReporter reporter(rng.Chance(20));
    // One buffer for both: the output must be the same text twice.
    SortFiles(&fast.head, reporter.get());
    Print(reporter.get(), "|");
    RefSortFiles(&ref.head, reporter.get());
    std::string out = reporter.Out();
    size_t bar = out.size() / 2;
    ASSERT_EQ(out[bar], '|') << out;
    ASSERT_EQ(out.substr(0, bar), out.substr(bar + 1)) << "case " << n;
    ASSERT_EQ(Describe(fast), Describe(ref)) << "case " << n;
  }
}

// Long runs of one poster, where the key search's index and the stable sort
// carry the work.
TEST(Equivalence, LongPosterRuns) {
  Rng rng(7);
  for (int n = 0; n < Cases(200); ++n) {
    std::vector<SegmentSpec> specs;
    std::vector<std::string> begin_names;
    int files = rng(1, 30);
    for (int f = 0; f < files; ++f) {
      std::string name = "FILE" + std::to_string(rng(0, 40)) + ".JPG";
      begin_names.push_back(name);
      int parts = rng(1, 6);
      bool named = rng.Chance(70);
      for (int p = 1; p <= parts; ++p) {
        if (rng.Chance(10)) continue;  // a missing part
        int copies = rng.Chance(8) ? 2 : 1;
        for (int c = 0; c < copies; ++c) {
          SegmentSpec s;
          s.poster = rng(1, 2);
          s.part = rng.Chance(5) ? -1 : p;
          s.total = rng.Chance(10) ? -1 : parts;
          s.time = rng(0, 30);
          s.caption = (named ? name : "HOLIDAY " + std::to_string(f)) + " (" +
                      std::to_string(p) + "/" + std::to_string(parts) + ")";
          if (c == 1 && rng.Chance(60)) s.caption += " REPOST";
          s.begin = p == 1 && rng.Chance(90) ? f : -1;
          specs.push_back(s);
        }
      }
    }
    ExpectSameGrouping(rng, &specs, begin_names, n);
    if (testing::Test::HasFatalFailure()) return;
  }
}

// Long runs whose file names hold one another (FILE7.JPG in AFILE7.JPG and
// FILE7.JPGS), share the pieces around their dots, or have too few
// characters before the dot to be found by that piece: a key's candidates
// must still be every record that holds it.
TEST(Equivalence, NamesInsideOtherNames) {
  Rng rng(29);
  static const std::vector<std::string> kFronts = {"", "A", "XA", ".", "7"};
  static const std::vector<std::string> kBacks = {"", "S", ".GZ", "7"};
  for (int n = 0; n < Cases(150); ++n) {
    std::vector<SegmentSpec> specs;
    std::vector<std::string> begin_names;
    int files = rng(10, 40);
    for (int f = 0; f < files; ++f) {
      std::string stem = rng.Chance(30) ? "F" : "FILE";
      std::string name = rng.Pick(kFronts) + stem + std::to_string(rng(0, 9)) +
                         "." + (rng.Chance(20) ? "J" : "JPG") +
                         rng.Pick(kBacks);
      begin_names.push_back(name);
      int parts = rng(1, 5);
      for (int p = 1; p <= parts; ++p) {
        if (rng.Chance(8)) continue;  // a missing part
        SegmentSpec s;
        s.poster = rng(1, 2);
        s.part = rng.Chance(5) ? -1 : p;
        s.total = rng.Chance(10) ? -1 : parts;
        s.time = rng(0, 30);
        s.caption = rng.Chance(85) ? name : "SOME PICTURES";
        if (rng.Chance(80))
          s.caption +=
              " (" + std::to_string(p) + "/" + std::to_string(parts) + ")";
        s.begin = p == 1 && rng.Chance(90) ? f : -1;
        specs.push_back(s);
      }
    }
    ExpectSameGrouping(rng, &specs, begin_names, n);
    if (testing::Test::HasFatalFailure()) return;
  }
}

// Many files of one or two posters whose parts interleave in catalogue
// order, with reposts, repeated copies and unnumbered parts: the reordering
// has to move records far while reposts suppress their copies.
TEST(Equivalence, RepostsInInterleavedRuns) {
  Rng rng(17);
  for (int n = 0; n < Cases(120); ++n) {
    std::vector<SegmentSpec> specs;
    std::vector<std::string> begin_names;
    int files = rng(10, 70);
    int posters = rng(1, 2);
    int repost_percent = rng.Pick(std::vector<int>{3, 10, 30});
    int unknown_percent = rng.Pick(std::vector<int>{0, 0, 2});
    for (int f = 0; f < files; ++f) {
      std::string name = FileName('F', f);
      begin_names.push_back(name);
      int parts = rng(1, 12);
      int32_t time = rng(0, 1000);
      bool shuffled_times = rng.Chance(10);
      for (int p = 1; p <= parts; ++p) {
        int copies = rng.Chance(repost_percent) ? rng(2, 3) : 1;
        for (int c = 0; c < copies; ++c) {
          SegmentSpec s;
          s.poster = rng(1, posters);
          s.part = rng.Chance(unknown_percent) ? -1 : p;
          s.total = parts;
          s.time = shuffled_times ? rng(0, 1000) : time + 4 * p + rng(0, 3);
          s.caption = name + " (" + std::to_string(p) + "/" +
                      std::to_string(parts) + ")";
          if (copies > 1 && rng.Chance(c == 0 ? 20 : 60))
            s.caption = "REPOST: " + s.caption;
          s.begin = p == 1 ? f : -1;
          specs.push_back(s);
          // The same article read twice: suppressed when catalogued.
          if (rng.Chance(2)) specs.push_back(s);
        }
      }
    }
    // Articles without a part number read twice: group 0 then holds unknown
    // parts, and the copies that reposts suppress join it by time.
    int notes = rng.Chance(40) ? rng(1, 3) : 0;
    for (int k = 0; k < notes; ++k) {
      SegmentSpec s;
      s.poster = rng(1, posters);
      s.part = -1;
      s.total = -1;
      s.time = rng(0, 1000);
      s.caption = "NOTES " + std::to_string(k);
      s.begin = -1;
      specs.push_back(s);
      specs.push_back(s);
    }
    ExpectSameGrouping(rng, &specs, begin_names, n);
    if (testing::Test::HasFatalFailure()) return;
  }
}

// Parts posted two to four times, most copies reposts under captions that
// the catalogue tells apart, with equal times and unnumbered parts: of two
// reposts only the earlier gives way, and the sweeps go on around the one
// that stays.
TEST(Equivalence, DoubleReposts) {
  Rng rng(16);
  static const std::vector<std::string> kMarks = {"REPOST: ", "REPOST2 ",
                                                  "RE-REPOST ", ""};
  for (int n = 0; n < Cases(4000); ++n) {
    std::vector<SegmentSpec> specs;
    std::vector<std::string> begin_names;
    int files = rng(1, 6);
    int posters = rng(1, 2);
    for (int f = 0; f < files; ++f) {
      std::string name = FileName('D', f);
      begin_names.push_back(name);
      int parts = rng(1, 5);
      for (int p = 1; p <= parts; ++p) {
        int copies = rng.Chance(50) ? rng(2, 4) : 1;
        for (int c = 0; c < copies; ++c) {
          SegmentSpec s;
          s.poster = rng(1, posters);
          s.part = rng.Chance(4) ? -1 : p;
          s.total = rng.Chance(10) ? -1 : parts;
          s.time = rng(0, 6);  // equal times are common
          std::string mark = c == 0 && rng.Chance(70) ? "" : rng.Pick(kMarks);
          s.caption = mark + name + " (" + std::to_string(p) + "/" +
                      std::to_string(parts) + ")";
          if (rng.Chance(20)) s.caption += " REPOST";
          s.begin = p == 1 && rng.Chance(90) ? f : -1;
          specs.push_back(s);
        }
      }
    }
    ExpectSameGrouping(rng, &specs, begin_names, n);
    if (testing::Test::HasFatalFailure()) return;
  }
}

// One record of a grouped catalogue for the reordering alone.
struct RunRecord {
  int poster, group, part;
  int32_t time;
  bool repost;
};

// Reorders the records with Reorder and with the plain exchange sort and
// expects the same order and the same suppressed copies.
void ExpectSameReorder(const std::vector<RunRecord>& records, int n) {
  std::string described[2];
  for (int side = 0; side < 2; ++side) {
    Records made;  // one case's records only, so that long runs stay small
    Segment* head = nullptr;
    Segment** link = &head;
    std::map<const Segment*, size_t> id;
    for (const RunRecord& r : records) {
      Segment* seg = NewSegment(&made);
      seg->poster = r.poster;
      seg->group = r.group;
      seg->part = r.part;
      seg->time = r.time;
      seg->caption = NewString(&made, r.repost ? "F (1/2) REPOST" : "F (1/2)");
      id[seg] = id.size();
      *link = seg;
      link = &seg->next;
    }
    if (side == 0)
      Reorder(&head);
    else
      RefExchangeSort(&head);
    for (Segment* s = head; s; s = s->next)
      described[side] +=
          std::to_string(id.at(s)) + ":g" + std::to_string(s->group) + " ";
  }
  ASSERT_EQ(described[0], described[1]) << "case " << n;
}

// Grouped runs as the reordering meets them: files whose parts come in
// any order, posted two to four times with reposts among the copies (of
// equal times too), unnumbered parts that make a file's order no preorder,
// suppressed and unassigned records with and without part numbers, and
// runs of several posters one after the other.
std::vector<RunRecord> RandomRuns(Rng& rng) {
  std::vector<RunRecord> records;
  int posters = rng(1, 3);
  for (int poster = 1; poster <= posters; ++poster) {
    std::vector<RunRecord> run;
    int files = rng(1, 12);
    int repost_percent = rng.Pick(std::vector<int>{5, 30, 70});
    int unknown_percent = rng.Pick(std::vector<int>{0, 0, 3});
    int times = rng.Pick(std::vector<int>{3, 1000});
    for (int group = 1; group <= files; ++group) {
      int parts = rng(1, 8);
      int32_t base = rng(0, times);
      bool rising = rng.Chance(80);
      for (int p = 1; p <= parts; ++p) {
        int copies = rng.Chance(repost_percent) ? rng(2, 4) : 1;
        for (int c = 0; c < copies; ++c) {
          int32_t time = rising ? base + 4 * p + rng(0, 3) : rng(0, times);
          run.push_back({poster, group, rng.Chance(unknown_percent) ? -1 : p,
                         time, copies > 1 && rng.Chance(c == 0 ? 20 : 60)});
        }
      }
    }
    // Records already suppressed or left unassigned, some of them copies of
    // one part.
    int others = rng.Chance(50) ? rng(1, 10) : 0;
    for (int k = 0; k < others; ++k) {
      int part = rng.Chance(30) ? -1 : rng(1, 4);
      int copies = rng.Chance(50) ? rng(2, 3) : 1;
      for (int c = 0; c < copies; ++c)
        run.push_back(
            {poster, rng(-1, 0), part, rng(0, times), rng.Chance(30)});
    }
    for (size_t i = run.size(); i > 1; --i)
      std::swap(run[i - 1],
                run[static_cast<size_t>(rng(0, static_cast<int>(i) - 1))]);
    records.insert(records.end(), run.begin(), run.end());
  }
  return records;
}

TEST(Equivalence, ReorderedRuns) {
  Rng rng(27);
  for (int n = 0; n < Cases(4000); ++n) {
    ExpectSameReorder(RandomRuns(rng), n);
    if (testing::Test::HasFatalFailure()) return;
  }
}

// Captions longer than a line read: a long text before the part numbers,
// often without a file name and with a part missing, so that the key
// search tries every window; texts of few letters, whose pieces recur in
// many places.
TEST(Equivalence, LongCaptions) {
  Rng rng(23);
  static const std::vector<std::string> kWords = {
      "LONG", "SUBJECT", "-",      "[GROUP]", "A", "AB", "ABA", "B",    "BAB",
      "PART", "OF",      "REPOST", "X.JPG",   "(", ")",  "2",   "1/2/", "\"\""};
  for (int n = 0; n < Cases(150); ++n) {
    std::vector<SegmentSpec> specs;
    std::vector<std::string> begin_names;
    int files = rng(1, 3);
    int posters = rng(1, 2);
    std::string common;  // text shared by the postings of a case
    for (int size = rng(0, 120); static_cast<int>(common.size()) < size;)
      common += rng.Pick(kWords) + (rng.Chance(70) ? " " : "");
    for (int f = 0; f < files; ++f) {
      std::string text = common;
      for (int size = rng(100, 200); static_cast<int>(text.size()) < size;)
        text += rng.Pick(kWords) + (rng.Chance(70) ? " " : "");
      begin_names.push_back(FileName('F', f));
      int parts = rng(1, 4);
      for (int p = 1; p <= parts; ++p) {
        if (parts > 1 && rng.Chance(15)) continue;  // a missing part
        int copies = rng.Chance(10) ? 2 : 1;
        for (int c = 0; c < copies; ++c) {
          SegmentSpec s;
          s.poster = rng(1, posters);
          s.part = rng.Chance(10) ? -1 : p;
          s.total = rng.Chance(20) ? -1 : parts;
          s.time = rng(0, 10);
          s.caption = text;
          if (rng.Chance(80))
            s.caption +=
                " (" + std::to_string(p) + "/" + std::to_string(parts) + ")";
          if (c == 1 && rng.Chance(50)) s.caption = "REPOST " + s.caption;
          s.begin = p == 1 && rng.Chance(90) ? f : -1;
          specs.push_back(s);
        }
      }
    }
    ExpectSameGrouping(rng, &specs, begin_names, n);
    if (testing::Test::HasFatalFailure()) return;
  }
}

TEST(Equivalence, PosterIds) {
  Rng rng(11);
  for (int n = 0; n < Cases(500); ++n) {
    PosterPool fast;
    meminit(&fast);
    RefPosterPool ref;
    for (int i = rng(0, 80); i > 0; --i) {
      std::string name(static_cast<size_t>(rng(0, 3)), 'a');
      name += std::to_string(rng(0, 30));
      if (rng.Chance(10)) name[0] = 'A';
      ASSERT_EQ(GetId(&fast, name.c_str()), RefGetId(&ref, name.c_str()));
    }
    ASSERT_EQ(fast.nitems, ref.nitems);
  }
}

// A decode pass's use of checkname: output names of begin lines, with
// files started (their strings overwritten with MARKER) in between.
TEST(Equivalence, DosNumbering) {
  Options options;
  options.DOS = true;
  Rng rng(3);
  const std::vector<std::string> names = {
      "pictures_a_1.jpg", "pictures_b_1.jpg", "pictur_1.jpg", "README",
      "abcdef01.jpg",     "pictur01.jpg",     "readme.txt",   "*"};
  for (int n = 0; n < Cases(2000); ++n) {
    int strings = rng(1, 6);
    std::vector<int> text;
    for (int i = 0; i < strings; ++i)
      text.push_back(rng(0, static_cast<int>(names.size()) - 1));
    int count = rng(0, 20);
    std::vector<int> holder;  // which string each segment holds, -1 none
    for (int i = 0; i < count; ++i)
      holder.push_back(rng.Chance(20) ? -1 : rng(0, strings - 1));
    std::vector<int> steps;  // >= 0: a begin line of that name; -1: start
    for (int i = rng(1, 30); i > 0; --i)
      steps.push_back(
          rng.Chance(30) ? -1 : rng(0, static_cast<int>(names.size()) - 1));
    std::vector<int> started;
    for (int i = static_cast<int>(steps.size()); i > 0; --i)
      started.push_back(rng(0, strings - 1));

    std::vector<std::string> results[2];
    for (int side = 0; side < 2; ++side) {
      std::vector<char*> blocks;
      for (int t : text) {
        char* b =
            NewBeginName(TestRecords(), names[static_cast<size_t>(t)].c_str());
        dosname(b);
        blocks.push_back(b);
      }
      Segment* head = nullptr;
      Segment** link = &head;
      for (int h : holder) {
        Segment* s = NewSegment(TestRecords());
        s->begin = h < 0 ? nullptr : blocks[static_cast<size_t>(h)];
        *link = s;
        link = &s->next;
      }
      NameIndex index;
      if (side == 0) BeginNameIndex(&index, TestRecords(), head);
      for (size_t i = 0; i < steps.size(); ++i) {
        if (steps[i] < 0) {
          std::strcpy(blocks[static_cast<size_t>(started[i])], MARKER);
          continue;
        }
        char buf[kLineSize];
        std::strcpy(buf, names[static_cast<size_t>(steps[i])].c_str());
        if (side == 0)
          checkname(&index, head, buf);
        else
          Refcheckname(TestRecords(), head, buf);
        results[side].push_back(buf);
      }
      if (side == 0) EndNameIndex(&index);
    }
    ASSERT_EQ(results[0], results[1]) << "case " << n;
  }
}

// A random pass over article files: which file each segment is in, its
// offset and mark, the order in which segments are processed, and the
// window limits asked for.
struct CleaningCase {
  int files = 0;
  std::vector<int> file_of, offset, mark, order, limits;
};

CleaningCase RandomCleaningCase(Rng& rng) {
  CleaningCase c;
  c.files = rng(1, 5);
  int count = rng(0, 14);
  for (int i = 0; i < count; ++i) {
    c.file_of.push_back(rng(0, c.files - 1));
    c.offset.push_back(rng(0, 6) * 100);
    c.mark.push_back(rng.Chance(15) ? 1 : 0);
    c.order.push_back(i);
  }
  for (size_t i = c.order.size(); i > 1; --i)
    std::swap(c.order[i - 1],
              c.order[static_cast<size_t>(rng(0, static_cast<int>(i) - 1))]);
  for (int i = 0; i < count; ++i) c.limits.push_back(rng(0, 7) * 100 + 50);
  return c;
}

// The windows found and, after each segment is processed, which files
// exist and which log entries are flagged: with the pass's index (`fast`)
// or with the plain walks.
std::vector<std::string> CleaningTrace(const CleaningCase& c, bool fast,
                                       const Options& options) {
  TempDir dir;
  std::vector<std::string> paths;
  std::vector<LogEntry> entries(static_cast<size_t>(c.files));
  for (int f = 0; f < c.files; ++f) {
    paths.push_back(dir.Path(std::to_string(f)));
    WriteFile(paths.back(), "x");
    entries[static_cast<size_t>(f)] = LogEntry{nullptr, 0, nullptr};
  }
  std::vector<Segment*> segs;
  Segment* head = nullptr;
  Segment** link = &head;
  for (size_t i = 0; i < c.file_of.size(); ++i) {
    Segment* s = NewSegment(TestRecords());
    s->path = paths[static_cast<size_t>(c.file_of[i])].c_str();
    s->offset = c.offset[i];
    s->mark = c.mark[i];
    s->logentry = &entries[static_cast<size_t>(c.file_of[i])];
    segs.push_back(s);
    *link = s;
    link = &s->next;
  }
  PassOutput pass;
  pass.options = &options;
  if (fast) BeginPassIndex(&pass, head);
  auto state = [&]() {
    std::string out;
    for (size_t f = 0; f < paths.size(); ++f)
      out += std::string(FileExists(paths[f]) ? "E" : "-") +
             std::to_string(entries[f].flag);
    return out;
  };
  std::vector<std::string> trace;
  for (size_t i = 0; i < segs.size(); ++i) {
    int64_t limit = c.limits[i];
    trace.push_back(std::to_string(fast ? maxseek(pass, head, segs[i], limit)
                                        : Refmaxseek(head, segs[i], limit)));
  }
  for (int i : c.order) {
    Segment* s = segs[static_cast<size_t>(i)];
    if (fast) {
      MarkProcessed(&pass, s);
      clean(&pass, head);
    } else {
      s->mark = 1;
      Refclean(head, options);
    }
    trace.push_back(state());
  }
  if (fast) EndPassIndex(&pass);
  return trace;
}

// Windows and the removal and flagging of finished article files, with
// several segments per file and files finished before the pass.
TEST(Equivalence, WindowsAndCleaning) {
  Options options;
  Rng rng(5);
  for (int n = 0; n < Cases(200); ++n) {
    options.DEL = rng.Chance(70);
    CleaningCase c = RandomCleaningCase(rng);
    ASSERT_EQ(CleaningTrace(c, true, options), CleaningTrace(c, false, options))
        << "case " << n;
  }
}

// One random line of an article file as the decode pass meets them: full
// data lines most of all (some damaged), short data lines, zero-length
// lines ("`", a blank, nothing) and end lines, begin lines whole, broken or
// indented, and text.
std::string RandomLine(Rng& rng, bool crlf) {
  std::string eol = crlf ? "\r\n" : "\n";
  int kind = rng(1, 100);
  auto chars = [&](int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += static_cast<char>(rng(32, 96));
    return text;
  };
  if (kind <= 70) return "M" + chars(60) + eol;
  if (kind <= 73) return "M" + chars(rng(55, 64)) + eol;  // wrong length
  if (kind <= 75) {
    std::string line = "M" + chars(60) + eol;
    // Often the character after the 60, where a CR would stand.
    int at = rng.Chance(30) ? 61 : rng(1, 61);
    line[static_cast<size_t>(at)] = rng.Chance(50) ? '\0' : '\n';
    return line;
  }
  if (kind <= 78) {
    int count = rng(1, 44);
    return std::string(1, static_cast<char>(32 + count)) +
           chars((count + 2) / 3 * 4) + eol;
  }
  if (kind <= 80) {
    static const std::vector<std::string> kZeroLength = {"`", " ", ""};
    return rng.Pick(kZeroLength) + eol;
  }
  if (kind <= 83) return "end" + eol;
  if (kind <= 86) {
    // Mostly new names: a file written again hides what went into it.
    std::string name = "f" + std::to_string(rng(0, 100000));
    if (rng.Chance(20)) return "begin 644" + eol + name + eol;  // broken
    return std::string(rng.Chance(20) ? "  " : "") + "begin 644 " + name + eol;
  }
  if (kind <= 88) return std::string(static_cast<size_t>(rng(120, 300)), 'M');
  if (kind <= 90) return "." + chars(rng(0, 70)) + eol;
  return "Subject: " + chars(rng(0, 40)) + eol;
}

// Every output file of `dir` with its bytes.
std::map<std::string, std::string> Outputs(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    files[entry.path().filename().string()] = ReadFile(entry.path().string());
  return files;
}

// One random article file cut into windows: its lines, where each window
// starts (a line index), the window's group and begin name (2: none).
struct DecodeCase {
  bool wire = false;
  std::vector<std::string> text;
  std::vector<size_t> starts;
  std::vector<int> groups, begins;
  bool plain = false;
  bool errors = false;
};

DecodeCase RandomDecodeCase(Rng& rng) {
  DecodeCase c;
  bool crlf = rng.Chance(30);
  c.wire = crlf && rng.Chance(50);
  int lines = rng.Chance(10) ? rng(4000, 9000) : rng(1, 120);
  for (int i = 0; i < lines; ++i) c.text.push_back(RandomLine(rng, crlf));
  int windows = rng(1, 4);
  c.starts = {0};
  for (int w = 1; w < windows; ++w)
    c.starts.push_back(static_cast<size_t>(rng(0, lines)));
  for (int w = 0; w < windows; ++w) {
    c.groups.push_back(rng.Chance(80) ? 1 : rng(-1, 0));
    c.begins.push_back(rng(0, 2));
  }
  c.plain = rng.Chance(25);
  c.errors = rng.Chance(30);
  return c;
}

// Writes the case's article file; the offset of each line start, and of its
// end, into `offsets`.
void WriteArticle(const DecodeCase& c, const std::string& path,
                  std::vector<int64_t>* offsets) {
  std::string body;
  offsets->assign(c.text.size() + 1, 0);
  for (size_t i = 0; i < c.text.size(); ++i) {
    (*offsets)[i] = static_cast<int64_t>(body.size());
    const std::string& line = c.text[i];
    body += c.wire && line[0] == '.' ? "." + line : line;
  }
  (*offsets)[c.text.size()] = static_cast<int64_t>(body.size());
  if (c.wire) body += ".\r\n";
  WriteFile(path, body);
}

// The case's windows as a catalogue; segments of one file share its path
// object.
Segment* Windows(const DecodeCase& c, const std::string& path,
                 const std::vector<int64_t>& offsets) {
  char* names[2] = {NewBeginName(TestRecords(), "f0"),
                    NewBeginName(TestRecords(), "f1")};
  Segment* head = nullptr;
  Segment** link = &head;
  for (size_t w = 0; w < c.starts.size(); ++w) {
    Segment* s = NewSegment(TestRecords());
    s->path = head ? head->path : NewString(TestRecords(), path.c_str());
    s->offset = offsets[c.starts[w]];
    s->group = c.groups[w];
    s->begin = c.begins[w] < 2 ? names[c.begins[w]] : nullptr;
    *link = s;
    link = &s->next;
  }
  return head;
}

// What the decode pass printed, wrote and marked, with or without its fast
// ways.
std::string DecodeResult(const DecodeCase& c, bool fast) {
  TempDir dir;
  Options options;
  PassWays ways;
  ways.fast_paths = fast;
  std::string path = dir.Path("article");
  std::vector<int64_t> offsets;
  WriteArticle(c, path, &offsets);
  std::string out = dir.Path("out"), err = dir.Path("errors");
  std::filesystem::create_directory(out);
  options.DESTDIR = out.c_str();
  options.ERRFILE = c.errors ? err.c_str() : nullptr;
  Segment* head = nullptr;
  TestReporter reporter;
  if (c.plain) {
    char* argv[] = {path.data()};
    decode_p(&head, 0, 1, argv, options, TestRecords(), reporter.get(), false,
             ways);
  } else {
    head = Windows(c, path, offsets);
    decode(head, options, TestRecords(), reporter.get(), ways);
  }
  std::string r = reporter.Out();
  for (const auto& [name, bytes] : Outputs(out)) r += "[" + name + "]" + bytes;
  if (c.errors && FileExists(err)) r += "[errors]" + ReadFile(err);
  for (Segment* s = head; s; s = s->next) r += std::to_string(s->mark);
  return r;
}

// The decode pass with and without its fast ways for full data lines:
// random article files (some larger than a read, some in wire format), cut
// into windows of segments of every kind, decode to the same files, the same
// messages, the same -errors copy and the same processed marks.
TEST(Equivalence, FastAndGeneralDecoding) {
  Rng rng(11);
  for (int n = 0; n < Cases(160); ++n) {
    DecodeCase c = RandomDecodeCase(rng);
    std::string fast = DecodeResult(c, true);
    std::string general = DecodeResult(c, false);
    ASSERT_EQ(fast, general) << "case " << n;
  }
}

std::string DescribeLog(const LogDir* list) {
  std::string out;
  for (const LogDir* d = list; d; d = d->next) {
    out += std::string("*") + d->dir + "\n";
    for (const LogEntry* e = d->entries; e; e = e->next)
      out += std::string("@") + e->name + std::to_string(e->flag) + "\n";
  }
  return out;
}

// inDlist against a loaded log: roots that are text prefixes of other
// directories, the same directory twice, repeated entry names.
TEST(Equivalence, ProcessedFileLog) {
  const std::string cwd = "/home/u";
  Rng rng(13);
  const std::vector<std::string> dirs = {"/spool",       "/spool/pics",
                                         "/spool/pics2", "/spool/pics/",
                                         "/home/u",      "/home"};
  const std::vector<std::string> files = {
      "/spool/pics/1", "/spool/pics/2", "/spool/pics2/1", "/spool/x/3",    "1",
      "../y",          "./z",           "/other/1",       "/spool/pics/10"};
  for (int n = 0; n < Cases(1000); ++n) {
    std::vector<std::pair<int, int>> lines;  // dir index; entry file or -1
    for (int i = rng(0, 12); i > 0; --i)
      lines.push_back({rng(0, static_cast<int>(dirs.size()) - 1),
                       rng.Chance(50) ? -1 : rng(1, 4)});
    std::vector<int> asked;
    std::vector<bool> decoded;
    for (int i = rng(0, 15); i > 0; --i) {
      asked.push_back(rng(0, static_cast<int>(files.size()) - 1));
      decoded.push_back(rng.Chance(50));
    }

    std::string result[2];
    for (int side = 0; side < 2; ++side) {
      std::string text;
      LogDir* ref_list = nullptr;
      for (auto [d, e] : lines) {
        const char* path = dirs[static_cast<size_t>(d)].c_str();
        std::string name = std::to_string(e);
        if (side == 0) {
          text += std::string("*") + path + "\n";
          if (e >= 0) text += "@" + name + "\n";
        } else {
          LogDir* current = Refgetptrptr(&ref_list, path);
          if (e >= 0)
            current->entries =
                Refaddtolist(current->entries, name.c_str(), current->dir, cwd);
        }
      }
      LogList list = LoadLogText(text, cwd);
      bool ref_update = false;
      for (size_t i = 0; i < asked.size(); ++i) {
        LogEntry* entry = nullptr;
        const char* file = files[static_cast<size_t>(asked[i])].c_str();
        int seen = side == 0
                       ? inDlist(&list, file, &entry)
                       : RefinDlist(&ref_list, file, &entry, cwd, &ref_update);
        result[side] += std::to_string(seen) + (entry ? entry->name : "-") +
                        ((side == 0 ? list.LOGUPDATE : ref_update) ? "u" : "") +
                        ";";
        if (entry && decoded[i]) entry->flag = 1;
      }
      result[side] += '\n';
      result[side] += DescribeLog(side == 0 ? list.first : ref_list);
    }
    ASSERT_EQ(result[0], result[1]) << "case " << n;
  }
}

}  // namespace
