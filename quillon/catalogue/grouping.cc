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

// A signed value as an unsigned one of the same order, so that two of them
// pack into one key that compares as the pair does.
uint64_t Ordered(int32_t v) { return static_cast<uint32_t>(v) ^ 0x80000000u; }

uint64_t Pack(int32_t high, int32_t low) {
  return Ordered(high) << 32 | Ordered(low);
}

int32_t GroupOf(uint64_t place) {
  return static_cast<int32_t>(static_cast<uint32_t>(place >> 32) ^ 0x80000000u);
}

// One poster run being reordered. Its records are known by their index in
// the run as read (their id); the sweeps move ids and read the fields here,
// which sit together in memory.
struct RunState {
  std::vector<int> group, part;
  std::vector<int32_t> time;
  std::vector<uint8_t> repost;
  std::vector<Segment*> seg;
  std::vector<uint32_t> order;  // ids in the run's current order

  // While no group changes, the comparison is a fixed preorder: where each
  // record goes (group, then part or time as its group compares), whether
  // its group compares by part, the ids sorted by place (equal places in
  // run order, which the sweeps never change), and for each record the
  // number of records before it that go after it: the sweeps in which it
  // still moves back by one place.
  std::vector<uint64_t> place;
  std::vector<uint8_t> by_part;
  std::vector<uint32_t> sorted;
  std::vector<int64_t> behind;

  // Records suppressed in the last sweep, with their places before.
  std::vector<std::pair<uint32_t, uint64_t>> suppressed;
  // A sweep exchanged two records against their places: the bookkeeping
  // must start anew.
  bool irregular = false;

  // Scratch space.
  std::vector<std::pair<uint64_t, uint32_t>> keyed;
  std::vector<uint32_t> rank, seen, position, spare;
};

void ReadRun(Segment* first, RunState* st) {
  st->group.clear();
  st->part.clear();
  st->time.clear();
  st->repost.clear();
  st->seg.clear();
  st->order.clear();
  for (Segment* r = first; r && r->poster == first->poster; r = r->next) {
    st->order.push_back(static_cast<uint32_t>(st->seg.size()));
    st->group.push_back(r->group);
    st->part.push_back(r->part);
    st->time.push_back(r->time);
    st->repost.push_back(IsRepost(r));
    st->seg.push_back(r);
  }
}

// Sets a record's group to 0; true when that changed it.
bool Suppress(RunState* st, uint32_t id) {
  if (st->group[id] == 0) return false;
  st->group[id] = 0;
  st->seg[id]->group = 0;
  st->suppressed.push_back({id, st->place.empty() ? 0 : st->place[id]});
  return true;
}

// Decode order of two neighbours of one run. A repost of a part suppresses
// the other copy of it, which changes that copy's place in the order: the
// caller must sweep again (`*resort`), or a copy suppressed between two
// interleaved groups would leave them interleaved. Of two reposts the
// earlier one gives way (on equal times a), so one copy of the part stays.
bool GoesAfter(RunState* st, uint32_t a, uint32_t b, bool* resort) {
  if (st->group[a] != st->group[b]) return st->group[a] > st->group[b];
  if (st->part[a] == st->part[b] && st->part[a] != -1) {
    bool a_repost = st->repost[a], b_repost = st->repost[b];
    if (a_repost && b_repost) {
      if (Suppress(st, st->time[a] <= st->time[b] ? a : b)) *resort = true;
    } else if (b_repost && Suppress(st, a)) {
      *resort = true;
    } else if (a_repost && Suppress(st, b)) {
      *resort = true;
    }
  }
  if (st->part[a] == -1 || st->part[b] == -1) return st->time[a] > st->time[b];
  return st->part[a] > st->part[b];
}

// One exchange sweep over the run; true when it changed. With `track`, each
// record passed by a later one loses one from its count of records before
// it that go after it.
bool Sweep(RunState* st, bool track) {
  bool changed = false;
  std::vector<uint32_t>& order = st->order;
  for (size_t j = 0; j + 1 < order.size(); ++j) {
    uint32_t a = order[j], b = order[j + 1];
    if (!GoesAfter(st, a, b, &changed)) continue;
    std::swap(order[j], order[j + 1]);
    changed = true;
    if (!track) continue;
    // Places are those from before the sweep's suppressions; an exchange
    // that they do not explain ends the bookkeeping.
    if (st->place[a] > st->place[b] && st->behind[b] > 0) {
      --st->behind[b];
    } else {
      st->irregular = true;
    }
  }
  return changed;
}

// Finds how each group of the run compares and where each record goes;
// false when some group's neighbour comparison is no preorder: a group that
// mixes known and unknown parts can order its records in a circle unless
// its known parts rise with their times.
bool Classify(RunState* st) {
  const uint32_t n = static_cast<uint32_t>(st->order.size());
  std::vector<std::pair<uint64_t, uint32_t>>& keyed = st->keyed;
  keyed.clear();
  for (uint32_t id : st->order)
    keyed.push_back({Pack(st->group[id], st->part[id]), id});
  // By group and part; the sort is stable, so equal ones keep run order.
  std::stable_sort(
      keyed.begin(), keyed.end(),
      [](const auto& x, const auto& y) { return x.first < y.first; });
  st->place.assign(n, 0);
  st->by_part.assign(n, 0);
  for (size_t lo = 0; lo < n;) {
    const int group = st->group[keyed[lo].second];
    size_t hi = lo;
    bool unknown = false;
    bool rising = true;     // distinct known parts whose times rise with them
    int64_t previous = -1;  // known id, by part
    for (; hi < n && st->group[keyed[hi].second] == group; ++hi) {
      uint32_t id = keyed[hi].second;
      if (st->part[id] == -1) {
        unknown = true;
        continue;
      }
      if (previous >= 0) {
        auto p = static_cast<uint32_t>(previous);
        rising =
            rising && st->part[p] != st->part[id] && st->time[p] < st->time[id];
      }
      previous = id;
    }
    if (unknown && previous >= 0 && !rising) return false;
    for (size_t k = lo; k < hi; ++k) {
      uint32_t id = keyed[k].second;
      st->by_part[id] = !unknown;
      st->place[id] = Pack(group, unknown ? st->time[id] : st->part[id]);
    }
    lo = hi;
  }
  return true;
}

// The ids sorted by place, and how many records before each go after it.
void Stand(RunState* st) {
  const uint32_t n = static_cast<uint32_t>(st->order.size());
  std::vector<std::pair<uint64_t, uint32_t>>& keyed = st->keyed;
  keyed.clear();
  for (uint32_t id : st->order) keyed.push_back({st->place[id], id});
  std::stable_sort(
      keyed.begin(), keyed.end(),
      [](const auto& x, const auto& y) { return x.first < y.first; });
  st->sorted.clear();
  for (const auto& [place, id] : keyed) st->sorted.push_back(id);
  std::vector<uint32_t>& rank = st->rank;
  rank.assign(n, 0);
  for (uint32_t k = 0; k < n; ++k) {
    bool tie = k > 0 && keyed[k - 1].first == keyed[k].first;
    rank[keyed[k].second] = tie ? rank[keyed[k - 1].second] : k;
  }
  // Counts of the ranks seen so far, as a Fenwick tree.
  std::vector<uint32_t>& seen = st->seen;
  seen.assign(n + 1, 0);
  st->behind.assign(n, 0);
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t id = st->order[i];
    uint32_t not_after = 0;
    for (uint32_t at = rank[id] + 1; at > 0; at &= at - 1)
      not_after += seen[at];
    st->behind[id] = i - not_after;
    for (uint32_t at = rank[id] + 1; at <= n; at += at & (~at + 1)) ++seen[at];
  }
}

// The sweeps that pass before two neighbours of one group and one known part
// of which one is a repost are first compared, or -1 when there are none.
// Two such copies meet in the first sweep that starts with nothing before
// the later copy that goes after it: until then that sweep's largest record
// comes between them.
int64_t SweepsBeforeRepost(const RunState& st) {
  int64_t sweeps = -1;
  for (size_t k = 1; k < st.sorted.size(); ++k) {
    uint32_t earlier = st.sorted[k - 1], id = st.sorted[k];
    if (st.place[earlier] != st.place[id]) continue;
    // Suppressing a group-0 record changes nothing.
    if (st.group[id] == 0 || !st.by_part[id]) continue;
    if (!st.repost[earlier] && !st.repost[id]) continue;
    if (sweeps == -1 || st.behind[id] < sweeps) sweeps = st.behind[id];
  }
  return sweeps;
}

// The run after `sweeps` exchange sweeps during which no group changes:
// each record with more records going after it before it than that has
// moved back by one place per sweep; the others fill the places left in
// sorted order.
void AfterSweeps(RunState* st, int64_t sweeps) {
  const size_t n = st->order.size();
  constexpr uint32_t kFree = UINT32_MAX;
  std::vector<uint32_t>& out = st->spare;
  out.assign(n, kFree);
  for (size_t i = 0; i < n; ++i) {
    uint32_t id = st->order[i];
    if (st->behind[id] > sweeps) out[i - static_cast<size_t>(sweeps)] = id;
  }
  size_t free = 0;
  for (uint32_t id : st->sorted) {
    if (st->behind[id] > sweeps) continue;
    while (out[free] != kFree) ++free;
    out[free] = id;
  }
  st->order.swap(out);
  for (int64_t& b : st->behind) b = b > sweeps ? b - sweeps : 0;
}

// Brings places, sorted ids and counts up to date after a sweep in which
// records were suppressed, without working the run out anew; false where
// that is not possible (group 0 would compare differently, or a record left
// the unassigned group).
bool Resettle(RunState* st) {
  if (st->irregular) return false;
  for (const auto& [z, old] : st->suppressed)
    if (GroupOf(old) == -1) return false;
  const size_t n = st->order.size();
  // Suppressed records have known parts, so group 0 keeps comparing as it
  // did: by part while it holds no unknown part, else by time, and then its
  // known parts must still rise with their times.
  bool unknown = false;
  std::vector<uint32_t>& known = st->spare;
  known.clear();
  for (uint32_t id : st->sorted) {
    if (GroupOf(st->place[id]) != 0) continue;
    if (st->part[id] == -1)
      unknown = true;
    else
      known.push_back(id);
  }
  if (unknown) {
    for (const auto& [z, old] : st->suppressed) known.push_back(z);
    std::sort(known.begin(), known.end(), [&](uint32_t x, uint32_t y) {
      return st->part[x] < st->part[y];
    });
    for (size_t k = 1; k < known.size(); ++k)
      if (st->part[known[k - 1]] == st->part[known[k]] ||
          !(st->time[known[k - 1]] < st->time[known[k]]))
        return false;
  }
  std::vector<uint32_t>& position = st->position;
  position.resize(n);
  for (size_t i = 0; i < n; ++i)
    position[st->order[i]] = static_cast<uint32_t>(i);
  for (const auto& [z, old] : st->suppressed) {
    st->place[z] = Pack(0, unknown ? st->time[z] : st->part[z]);
    st->by_part[z] = !unknown;
  }
  // Records behind a newcomer count it anew against its new place.
  for (const auto& [z, old] : st->suppressed) {
    const uint64_t now = st->place[z];
    for (size_t i = position[z] + 1; i < n; ++i) {
      uint32_t e = st->order[i];
      st->behind[e] +=
          int64_t{now > st->place[e]} - int64_t{old > st->place[e]};
    }
  }
  for (const auto& [z, old] : st->suppressed) {
    int64_t count = 0;
    for (size_t i = 0; i < position[z]; ++i)
      count += st->place[st->order[i]] > st->place[z];
    st->behind[z] = count;
  }
  // The newcomers move to their places among the sorted ids; equal places
  // keep run order.
  for (const auto& newcomer : st->suppressed) {
    const uint32_t z = newcomer.first;
    st->sorted.erase(std::find(st->sorted.begin(), st->sorted.end(), z));
    auto at =
        std::find_if(st->sorted.begin(), st->sorted.end(), [&](uint32_t e) {
          return st->place[e] > st->place[z] ||
                 (st->place[e] == st->place[z] && position[e] > position[z]);
        });
    st->sorted.insert(at, z);
  }
  for (int64_t b : st->behind)
    if (b < 0) return false;
  return true;
}

// The outcome of the exchange sort of the run. Between the sweeps in which a
// repost suppresses its copy, the comparison is a fixed preorder, so those
// sweeps are skipped to where they lead; the sweep in which the copies meet
// is made as it is, and what it changed is brought into the bookkeeping.
// Runs whose order is no preorder are swept all the way.
void ReorderRun(RunState* st) {
  bool fresh = false;  // the bookkeeping fits the run as it stands
  for (;;) {
    if (!fresh) {
      st->suppressed.clear();
      st->place.clear();
      if (!Classify(st)) break;
      Stand(st);
      fresh = true;
    }
    int64_t sweeps = SweepsBeforeRepost(*st);
    if (sweeps == -1) {
      // Equal keys are never exchanged, so the exchange sort is stable.
      st->order = st->sorted;
      return;
    }
    if (sweeps > 0) AfterSweeps(st, sweeps);
    // The sweep in which the copies meet.
    st->suppressed.clear();
    st->irregular = false;
    if (!Sweep(st, true)) return;
    if (!st->suppressed.empty() || st->irregular) fresh = Resettle(st);
  }
  st->place.clear();
  while (Sweep(st, false)) {
  }
}

void Reorder(Segment** head) {
  RunState st;
  Segment** link = head;
  while (*link) {
    ReadRun(*link, &st);
    Segment* after = st.seg.back()->next;
    ReorderRun(&st);
    for (uint32_t id : st.order) {
      *link = st.seg[id];
      link = &st.seg[id]->next;
    }
    *link = after;
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
