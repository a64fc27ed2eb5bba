#include "catalogue/reorder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "catalogue/grouping_rules.h"

GivesWay RepostGivesWay(bool first_repost, int32_t first_time,
                        bool second_repost, int32_t second_time) {
  if (first_repost && second_repost)
    return first_time <= second_time ? GivesWay::kFirst : GivesWay::kSecond;
  if (second_repost) return GivesWay::kFirst;
  if (first_repost) return GivesWay::kSecond;
  return GivesWay::kNeither;
}

namespace {

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

void ReadRun(Segment* const* first, Segment* const* end, RunState* st) {
  st->group.clear();
  st->part.clear();
  st->time.clear();
  st->repost.clear();
  st->seg.clear();
  st->order.clear();
  for (Segment* const* at = first; at != end; ++at) {
    Segment* r = *at;
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
// interleaved groups would leave them interleaved.
bool GoesAfter(RunState* st, uint32_t a, uint32_t b, bool* resort) {
  if (st->group[a] != st->group[b]) return st->group[a] > st->group[b];
  if (st->part[a] == st->part[b] && st->part[a] != -1) {
    GivesWay loser =
        RepostGivesWay(st->repost[a], st->time[a], st->repost[b], st->time[b]);
    if (loser != GivesWay::kNeither &&
        Suppress(st, loser == GivesWay::kFirst ? a : b))
      *resort = true;
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

// Whether group 0 compares by time once the suppressed records have joined
// it; false when it would compare differently from before. Suppressed
// records have known parts, so group 0 keeps comparing as it did: by part
// while it holds no unknown part, else by time, and then its known parts
// must still rise with their times.
bool GroupZeroByTime(RunState* st, bool* by_time) {
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
  *by_time = unknown;
  if (!unknown) return true;
  for (const auto& [z, old] : st->suppressed) known.push_back(z);
  std::sort(known.begin(), known.end(),
            [&](uint32_t x, uint32_t y) { return st->part[x] < st->part[y]; });
  for (size_t k = 1; k < known.size(); ++k)
    if (st->part[known[k - 1]] == st->part[known[k]] ||
        !(st->time[known[k - 1]] < st->time[known[k]]))
      return false;
  return true;
}

// The suppressed records' new places, and the counts of records before
// them and behind them that go after them. `position` holds each id's index
// in the run's order.
void Recount(RunState* st, bool by_time) {
  const size_t n = st->order.size();
  const std::vector<uint32_t>& position = st->position;
  for (const auto& [z, old] : st->suppressed) {
    st->place[z] = Pack(0, by_time ? st->time[z] : st->part[z]);
    st->by_part[z] = !by_time;
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
}

// Brings places, sorted ids and counts up to date after a sweep in which
// records were suppressed, without working the run out anew; false where
// that is not possible (group 0 would compare differently, or a record left
// the unassigned group).
bool Resettle(RunState* st) {
  if (st->irregular) return false;
  for (const auto& [z, old] : st->suppressed)
    if (GroupOf(old) == -1) return false;
  bool by_time = false;
  if (!GroupZeroByTime(st, &by_time)) return false;
  const size_t n = st->order.size();
  std::vector<uint32_t>& position = st->position;
  position.resize(n);
  for (size_t i = 0; i < n; ++i)
    position[st->order[i]] = static_cast<uint32_t>(i);
  Recount(st, by_time);
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

}  // namespace

void Reorder(Segment** head) {
  // The records are read from an array made in one walk of the list, not
  // one after the other through their links.
  std::vector<Segment*> all;
  for (Segment* r = *head; r; r = r->next) all.push_back(r);
  RunState st;
  Segment** link = head;
  for (size_t first = 0; first < all.size();) {
    size_t end = first;
    while (end < all.size() && all[end]->poster == all[first]->poster) ++end;
    ReadRun(all.data() + first, all.data() + end, &st);
    ReorderRun(&st);
    for (uint32_t id : st.order) {
      *link = st.seg[id];
      link = &st.seg[id]->next;
    }
    first = end;
  }
  *link = nullptr;
}
