#include "grouping.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "caption.h"
#include "catalogue.h"

namespace {

bool IsRepost(const Segment* s) {
  return std::strstr(s->caption, "REPOST") != nullptr;
}

bool Matches(const Segment* s, const char* key) {
  return s->group == -1 && std::strstr(s->caption, key) != nullptr;
}

// The first record after the poster run that starts at `first`.
Segment* RunEnd(Segment* first) {
  Segment* r = first;
  while (r && r->poster == first->poster) r = r->next;
  return r;
}

// Records that clash with another file's caption are told apart by their
// begin names from here on. The begin string is shared, so it is upper-cased
// for every record that holds it.
void Relabel(Segment* head) {
  for (Segment* r = head; r; r = r->next) {
    if (r->mark != 1) continue;
    if (r->begin) r->caption = upcase(r->begin);
    r->mark = 0;
  }
}

// What one candidate key finds among a run's ungrouped records. Gaps are
// summed wide: part numbers come from input and may be large.
struct KeyCount {
  int matches = 0;
  int begins = 0;
  const char* last_begin = nullptr;
  int64_t gaps = 0;
  int last_part = 0;
  bool last_repost = false;  // the counted record of last_part says REPOST
  int unknown = 0;
  int total = -1;
};

// One poster run with what the key search needs to find the records that
// contain a key without reading every caption: for each three-character
// sequence, the records whose caption holds it, in run order.
struct Run {
  std::vector<Segment*> records;  // catalogue order
  std::unordered_map<uint32_t, std::vector<uint32_t>> trigrams;
  std::vector<uint32_t> everyone;
  // The keys counted since the last group was formed: their counts and the
  // records they matched. Grouping a record changes both.
  struct Counted {
    KeyCount count;
    std::vector<uint32_t> matched;
  };
  std::unordered_map<std::string, Counted> counted;
  size_t counted_size = 0;
  Counted scratch;  // a count cheap enough to make again
};

uint32_t Trigram(const char* p) {
  return uint32_t{static_cast<unsigned char>(p[0])} << 16 |
         uint32_t{static_cast<unsigned char>(p[1])} << 8 |
         static_cast<unsigned char>(p[2]);
}

void IndexRun(Run* run, Segment* first, Segment* end) {
  for (Segment* r = first; r != end; r = r->next) {
    uint32_t at = static_cast<uint32_t>(run->records.size());
    run->records.push_back(r);
    run->everyone.push_back(at);
    size_t length = std::strlen(r->caption);
    for (size_t i = 0; i + 3 <= length; ++i) {
      std::vector<uint32_t>& list = run->trigrams[Trigram(r->caption + i)];
      if (list.empty() || list.back() != at) list.push_back(at);
    }
  }
}

// The records that may contain `key`: all that hold its rarest
// three-character sequence, or those that matched a key it extends.
const std::vector<uint32_t>* Candidates(const Run& run, const std::string& key,
                                        const std::vector<uint32_t>* within) {
  static const std::vector<uint32_t> kNone;
  const std::vector<uint32_t>* best = within ? within : &run.everyone;
  for (size_t i = 0; i + 3 <= key.size(); ++i) {
    auto found = run.trigrams.find(Trigram(key.c_str() + i));
    if (found == run.trigrams.end()) return &kNone;
    if (found->second.size() < best->size()) best = &found->second;
  }
  return best;
}

KeyCount Tally(const Run& run, const std::vector<uint32_t>& matched) {
  KeyCount c;
  for (uint32_t at : matched) {
    const Segment* r = run.records[at];
    ++c.matches;
    if (r->begin && r->begin != c.last_begin) {
      ++c.begins;
      c.last_begin = r->begin;
    }
    if (r->total != -1) c.total = r->total;
    if (r->part == -1) {
      ++c.unknown;
    } else if (r->part != c.last_part) {
      c.gaps += int64_t{r->part} - c.last_part - 1;
      c.last_part = r->part;
      c.last_repost = IsRepost(r);
    } else if (IsRepost(r) || c.last_repost) {
      // One of two copies of a part is a repost: whichever was read first,
      // the part counts once.
      --c.matches;
    } else {
      ++c.gaps;
    }
  }
  return c;
}

// Counts `key` over the run's ungrouped records in catalogue order.
// `within`, when given, holds every record that can match (the matches of a
// key that `key` extends). The result stays valid until the next call.
const Run::Counted& CountKey(Run* run, const std::string& key,
                             const std::vector<uint32_t>* within = nullptr) {
  auto found = run->counted.find(key);
  if (found != run->counted.end()) return found->second;
  Run::Counted counted;
  const std::vector<uint32_t>* candidates = Candidates(*run, key, within);
  for (uint32_t at : *candidates)
    if (Matches(run->records[at], key.c_str())) counted.matched.push_back(at);
  counted.count = Tally(*run, counted.matched);
  // Only counts that read many captions are worth keeping.
  constexpr size_t kWorthKeeping = 64;
  if (candidates->size() < kWorthKeeping) {
    run->scratch = std::move(counted);
    return run->scratch;
  }
  // Bounds the memory of the counts kept.
  constexpr size_t kMaxKept = size_t{1} << 22;
  run->counted_size += counted.matched.size() + key.size() + 1;
  if (run->counted_size > kMaxKept) {
    decltype(run->counted)().swap(run->counted);
    run->counted_size = counted.matched.size() + key.size() + 1;
  }
  return run->counted.emplace(key, std::move(counted)).first->second;
}

void Grouped(Run* run) {
  // A fresh table: clearing keeps the buckets, and clearing them after every
  // group would cost the largest table's size each time.
  decltype(run->counted)().swap(run->counted);
  run->counted_size = 0;
}

bool Acceptable(const KeyCount& c, int best_count) {
  return c.matches > best_count && c.begins == 1 && c.unknown >= c.gaps &&
         (c.total == -1 || c.total == c.matches);
}

// Looks for the caption key of `seed` in the run. Pass 0 tries the file name
// in the caption, pass 1 every window of the caption. Returns true and the
// key in `best` when one was accepted.
bool FindKey(Run* run, const Segment* seed, int pass, std::string* best) {
  const std::string caption = seed->caption;
  const ptrdiff_t length = static_cast<ptrdiff_t>(caption.size());
  int best_count = 0;
  int matches = 0;
  ptrdiff_t start = -1;
  ptrdiff_t window = 0;
  // The matches of the previous window: a longer window at the same start
  // matches a subset of them.
  std::vector<uint32_t> shorter;
  bool grown = false;
  for (;;) {
    std::string candidate;
    if (pass == 0) {
      char name[kLineSize] = "";
      GetFileName(seed->caption, name);
      candidate = name;
    } else {
      grown = matches != 0 && start + window - 1 < length;
      if (grown) {
        ++window;
      } else {
        ++start;
        window = 3;
      }
      if (start < length) candidate = caption.substr(start, window);
    }
    if (candidate.empty()) break;

    const Run::Counted& counted =
        CountKey(run, candidate, grown ? &shorter : nullptr);
    const KeyCount& c = counted.count;
    matches = c.matches;
    if (Acceptable(c, best_count)) {
      *best = candidate;
      best_count = c.matches;
    }
    if (best_count != 0 && c.total == c.matches) break;
    if (pass == 0 || start >= length - 2) break;
    shorter = counted.matched;
  }
  return best_count != 0;
}

void GroupByKeys(Run* run, int* counter) {
  for (int pass = 0; pass < 2; ++pass) {
    for (Segment* seed : run->records) {
      if (seed->group != -1) continue;
      std::string key;
      if (!FindKey(run, seed, pass, &key)) continue;
      for (uint32_t at : CountKey(run, key).matched)
        run->records[at]->group = *counter;
      ++*counter;
      Grouped(run);
    }
  }
}

// A poster whose run opens with ungrouped parts 1, 2, 3 ... that announce as
// many parts and carry one begin line gets all its ungrouped records as one
// file.
void GroupConsecutive(Segment* first, Segment* end, int* counter) {
  int count = 0;
  int total = -1;
  int begins = 0;
  for (Segment* r = first; r != end && r->group == -1 && r->part == count + 1;
       r = r->next) {
    ++count;
    if (r->total != -1) total = r->total;
    if (r->begin) ++begins;
  }
  if (total != count || begins != 1) return;
  for (Segment* r = first; r != end; r = r->next)
    if (r->group == -1) r->group = *counter;
  ++*counter;
}

void ListUnplaced(const Segment* head) {
  bool listed = false;
  for (const Segment* r = head; r; r = r->next) {
    if (r->group != -1) continue;
    if (!listed) std::printf("\nCaptions for (file) segments not decoded:\n");
    listed = true;
    std::printf("%s\n", r->caption);
  }
  if (listed) std::printf("\n");
}

// A record of a run being reordered, with what the comparison reads of it
// at hand: the sweeps then walk an array instead of the list.
struct Rec {
  int group;
  int part;
  int32_t time;
  bool repost;
  Segment* seg;
};

// Sets a record's group to 0; true when that changed it.
bool Suppress(Rec* r) {
  bool changed = r->group != 0;
  r->group = 0;
  r->seg->group = 0;
  return changed;
}

// Decode order of two neighbours of one run. A repost of a part suppresses
// the other copy of it, which changes that copy's place in the order: the
// caller must sweep again (`*resort`), or a copy suppressed between two
// interleaved groups would leave them interleaved.
bool GoesAfter(Rec* a, Rec* b, bool* resort) {
  if (a->group != b->group) return a->group > b->group;
  if (a->part == b->part && a->part != -1) {
    if (b->repost && Suppress(a)) *resort = true;
    if (a->repost && Suppress(b)) *resort = true;
  }
  if (a->part == -1 || b->part == -1) return a->time > b->time;
  return a->part > b->part;
}

// One exchange sweep over the run; true when it changed.
bool Sweep(std::vector<Rec>* run) {
  bool exchanged = false;
  for (size_t j = 0; j + 1 < run->size(); ++j) {
    Rec* a = &(*run)[j];
    Rec* b = &(*run)[j + 1];
    if (GoesAfter(a, b, &exchanged)) {
      std::swap(*a, *b);
      exchanged = true;
    }
  }
  return exchanged;
}

// A signed value as an unsigned one of the same order, so that two of them
// pack into one key that compares as the pair does.
uint64_t Ordered(int32_t v) { return static_cast<uint32_t>(v) ^ 0x80000000u; }

uint64_t Pack(int32_t high, int32_t low) {
  return Ordered(high) << 32 | Ordered(low);
}

// What the reordering works out about one run while no record changes
// group. The vectors are kept from run to run, as a run with reposts is
// worked out once per sweep in which copies meet.
struct RunOrder {
  // Indexes into the run by group, part and index: the copies of a part in
  // run order, each group's records together.
  std::vector<std::pair<uint64_t, uint32_t>> by_part;
  // Per index: the group compares its records by part (not by time).
  std::vector<uint8_t> by_part_order;
  // Per index: group, then part or time as the group compares: where the
  // record goes.
  std::vector<uint64_t> places;
  // Indexes sorted stably by place, and for each record the number of
  // records before it that go after it: the sweeps that record still moves
  // back by one place each.
  std::vector<std::pair<uint64_t, uint32_t>> sorted;
  std::vector<uint32_t> behind;
  std::vector<uint32_t> rank, seen;
  std::vector<Rec> rearranged;
};

// Finds how each group of the run compares; false when some group's
// neighbour comparison is no preorder: a group that mixes known and unknown
// parts can order its records in a circle unless its known parts rise with
// their times.
bool Classify(const std::vector<Rec>& run, RunOrder* order) {
  const uint32_t n = static_cast<uint32_t>(run.size());
  order->by_part.clear();
  for (uint32_t i = 0; i < n; ++i)
    order->by_part.push_back({Pack(run[i].group, run[i].part), i});
  std::sort(order->by_part.begin(), order->by_part.end());
  order->by_part_order.assign(n, 0);
  order->places.assign(n, 0);
  for (size_t lo = 0; lo < n;) {
    const int group = run[order->by_part[lo].second].group;
    size_t hi = lo;
    bool unknown = false;
    bool rising = true;  // distinct known parts whose times rise with them
    const Rec* previous = nullptr;  // known, by part
    for (; hi < n && run[order->by_part[hi].second].group == group; ++hi) {
      const Rec* r = &run[order->by_part[hi].second];
      if (r->part == -1) {
        unknown = true;
        continue;
      }
      if (previous)
        rising =
            rising && previous->part != r->part && previous->time < r->time;
      previous = r;
    }
    if (unknown && previous && !rising) return false;
    for (size_t k = lo; k < hi; ++k) {
      uint32_t i = order->by_part[k].second;
      order->by_part_order[i] = !unknown;
      order->places[i] = Pack(group, unknown ? run[i].time : run[i].part);
    }
    lo = hi;
  }
  return true;
}

void Stand(RunOrder* order) {
  const uint32_t n = static_cast<uint32_t>(order->places.size());
  order->sorted.clear();
  for (uint32_t i = 0; i < n; ++i)
    order->sorted.push_back({order->places[i], i});
  // By place, then index: a stable sort.
  std::sort(order->sorted.begin(), order->sorted.end());
  std::vector<uint32_t>& rank = order->rank;
  rank.assign(n, 0);
  for (uint32_t k = 0; k < n; ++k) {
    uint32_t i = order->sorted[k].second;
    bool tie = k > 0 && order->sorted[k - 1].first == order->sorted[k].first;
    rank[i] = tie ? rank[order->sorted[k - 1].second] : k;
  }
  // Counts of the ranks seen so far, as a Fenwick tree.
  std::vector<uint32_t>& seen = order->seen;
  seen.assign(n + 1, 0);
  order->behind.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t not_after = 0;
    for (uint32_t at = rank[i] + 1; at > 0; at &= at - 1) not_after += seen[at];
    order->behind[i] = i - not_after;
    for (uint32_t at = rank[i] + 1; at <= n; at += at & (~at + 1)) ++seen[at];
  }
}

// The sweeps that pass before two neighbours of one group and one known part
// of which one is a repost are first compared, or -1 when there are none.
// Two such copies meet in the first sweep that starts with nothing before
// the later copy that goes after it: until then that sweep's largest record
// comes between them.
int64_t SweepsBeforeRepost(const std::vector<Rec>& run, const RunOrder& order) {
  int64_t sweeps = -1;
  for (size_t k = 1; k < order.by_part.size(); ++k) {
    if (order.by_part[k].first != order.by_part[k - 1].first) continue;
    const Rec& earlier = run[order.by_part[k - 1].second];
    uint32_t i = order.by_part[k].second;
    const Rec& r = run[i];
    // Suppressing a group-0 record changes nothing.
    if (r.group == 0 || !order.by_part_order[i]) continue;
    if (!earlier.repost && !r.repost) continue;
    if (sweeps == -1 || order.behind[i] < sweeps) sweeps = order.behind[i];
  }
  return sweeps;
}

// The run after `sweeps` exchange sweeps during which no group changes:
// each record with more records going after it before it than that has
// moved back by one place per sweep; the others fill the places left in
// sorted order.
void AfterSweeps(std::vector<Rec>* run, RunOrder* order, int64_t sweeps) {
  const size_t n = run->size();
  std::vector<Rec>& out = order->rearranged;
  out.assign(n, Rec{0, 0, 0, false, nullptr});
  for (size_t i = 0; i < n; ++i)
    if (order->behind[i] > sweeps)
      out[i - static_cast<size_t>(sweeps)] = (*run)[i];
  size_t free = 0;
  for (const auto& [place, i] : order->sorted) {
    if (order->behind[i] > sweeps) continue;
    while (out[free].seg) ++free;
    out[free] = (*run)[i];
  }
  run->swap(out);
}

// The run sorted by place.
void Sorted(std::vector<Rec>* run, RunOrder* order) {
  std::vector<Rec>& out = order->rearranged;
  out.clear();
  for (const auto& [place, i] : order->sorted) out.push_back((*run)[i]);
  run->swap(out);
}

// Below this many sweeps, sweeping costs less than working out where they
// lead.
constexpr int64_t kWorthSkipping = 16;

// The outcome of the exchange sort of `run`. Between the sweeps in which a
// repost suppresses its copy, the comparison is a fixed preorder, so those
// sweeps are skipped to where they lead; the sweep in which the copies meet
// is made as it is. Runs whose order is no preorder are swept all the way.
void ReorderRun(std::vector<Rec>* run, RunOrder* order) {
  while (Classify(*run, order)) {
    Stand(order);
    int64_t sweeps = SweepsBeforeRepost(*run, *order);
    if (sweeps == -1) {
      // Equal keys are never exchanged, so the exchange sort is stable.
      Sorted(run, order);
      return;
    }
    if (sweeps >= kWorthSkipping) {
      AfterSweeps(run, order, sweeps);
      sweeps = 0;
    }
    // The sweeps up to and including the one in which the copies meet.
    for (int64_t i = 0; i <= sweeps; ++i)
      if (!Sweep(run)) return;
  }
  while (Sweep(run)) {
  }
}

void Reorder(Segment** head) {
  RunOrder order;
  std::vector<Rec> run;
  Segment** link = head;
  while (*link) {
    run.clear();
    Segment* r = *link;
    for (; r && r->poster == (*link)->poster; r = r->next)
      run.push_back(Rec{r->group, r->part, r->time, IsRepost(r), r});
    ReorderRun(&run, &order);
    for (const Rec& rec : run) {
      *link = rec.seg;
      link = &rec.seg->next;
    }
    *link = r;
  }
}

}  // namespace

void SortFiles(Segment** head) {
  // Captions and links change from here on.
  ForgetCatalogueIndex();
  Relabel(*head);
  int counter = 1;
  for (Segment* first = *head; first;) {
    Segment* end = RunEnd(first);
    Run run;
    IndexRun(&run, first, end);
    GroupByKeys(&run, &counter);
    GroupConsecutive(first, end, &counter);
    first = end;
  }
  if (!QUIET) ListUnplaced(*head);
  Reorder(head);
  std::printf("%d complete (non-segmented) files found.\n", counter - 1);
}
