#include "yenc/grouping.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// Records are known by their index in the input.
using Ids = std::vector<size_t>;

bool SamePosting(const YencRecord& a, const YencRecord& b) {
  return a.part->poster == b.part->poster && a.part->size == b.part->size &&
         a.part->total == b.part->total && a.part->name == b.part->name;
}

bool PostingBefore(const YencRecord& a, const YencRecord& b) {
  return std::tie(a.part->poster, a.part->size, a.part->total, a.part->name) <
         std::tie(b.part->poster, b.part->size, b.part->total, b.part->name);
}

// The ids of each posting in input order; the postings in the order of
// their first records.
std::vector<Ids> SplitPostings(const std::vector<YencRecord>& records) {
  Ids order(records.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
    return PostingBefore(records[x], records[y]);
  });
  std::vector<Ids> postings;
  for (size_t k = 0; k < order.size(); ++k) {
    if (k == 0 || !SamePosting(records[order[k - 1]], records[order[k]]))
      postings.emplace_back();
    postings.back().push_back(order[k]);
  }
  std::sort(postings.begin(), postings.end(),
            [](const Ids& x, const Ids& y) { return x.front() < y.front(); });
  return postings;
}

bool Placeable(const YencPart& p) {
  if (p.size == 0) return p.begin == 1 && p.end == 0;
  return p.begin >= 1 && p.begin <= p.end && p.end <= p.size;
}

// The placeable ids by range, copies of one range best first.
Ids ByRange(const std::vector<YencRecord>& records, const Ids& posting) {
  Ids ids;
  for (size_t id : posting)
    if (Placeable(*records[id].part)) ids.push_back(id);
  std::sort(ids.begin(), ids.end(), [&](size_t x, size_t y) {
    const YencRecord& a = records[x];
    const YencRecord& b = records[y];
    // Later times first: the negated time cannot overflow in 64 bits.
    return std::make_tuple(a.part->begin, a.part->end, -int64_t{a.seg->time},
                           x) < std::make_tuple(b.part->begin, b.part->end,
                                                -int64_t{b.seg->time}, y);
  });
  return ids;
}

// Distinct ranges as [first, last) spans of the sorted ids.
std::vector<std::pair<size_t, size_t>> Spans(
    const std::vector<YencRecord>& records, const Ids& ids) {
  std::vector<std::pair<size_t, size_t>> spans;
  for (size_t k = 0; k < ids.size(); ++k) {
    const YencPart& p = *records[ids[k]].part;
    const YencPart* q = k ? records[ids[k - 1]].part : nullptr;
    if (!q || q->begin != p.begin || q->end != p.end) spans.push_back({k, k});
    spans.back().second = k + 1;
  }
  return spans;
}

// The spans whose ranges cover 1..size exactly, in file order; empty when
// none do. Positions are counted as bytes covered so far (begin - 1 and
// end), which no size overflows. Ranges come by begin, and each ends at or
// after its begin, so every range that can lead to one has been seen when it
// comes; the first range to reach a count keeps it.
std::vector<size_t> Tile(const std::vector<YencRecord>& records, const Ids& ids,
                         const std::vector<std::pair<size_t, size_t>>& spans,
                         uint64_t size) {
  // An empty file has one range, 1..0, when a record gives it.
  if (size == 0)
    return spans.empty() ? std::vector<size_t>{} : std::vector<size_t>{0};
  constexpr size_t kStart = SIZE_MAX;
  std::unordered_map<uint64_t, size_t> reached{{0, kStart}};
  reached.reserve(spans.size() + 1);
  for (size_t s = 0; s < spans.size(); ++s) {
    const YencPart& p = *records[ids[spans[s].first]].part;
    if (reached.count(p.begin - 1)) reached.emplace(p.end, s);
  }
  std::vector<size_t> chosen;
  auto at = reached.find(size);
  if (at == reached.end()) return chosen;
  for (size_t s = at->second; s != kStart;) {
    chosen.push_back(s);
    s = reached.at(records[ids[spans[s].first]].part->begin - 1);
  }
  std::reverse(chosen.begin(), chosen.end());
  return chosen;
}

YencPosting MakePosting(const std::vector<YencRecord>& records,
                        const Ids& posting, int* counter) {
  YencPosting out;
  for (size_t id : posting) out.records.push_back(records[id]);
  const Ids ids = ByRange(records, posting);
  const auto spans = Spans(records, ids);
  const uint64_t size = records[posting.front()].part->size;
  for (size_t s : Tile(records, ids, spans, size)) {
    YencRange range;
    range.begin = records[ids[spans[s].first]].part->begin;
    range.end = records[ids[spans[s].first]].part->end;
    for (size_t k = spans[s].first; k < spans[s].second; ++k)
      range.copies.push_back(records[ids[k]]);
    out.tiling.push_back(std::move(range));
  }
  if (out.tiling.empty()) return out;
  out.group = (*counter)++;
  for (const YencRecord& r : out.records) r.seg->group = out.group;
  return out;
}

}  // namespace

std::vector<YencPosting> FindYencPostings(
    const std::vector<YencRecord>& records, int* counter) {
  std::vector<YencPosting> postings;
  for (const Ids& posting : SplitPostings(records))
    postings.push_back(MakePosting(records, posting, counter));
  return postings;
}
