#include "catalogue/grouping.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "catalogue/caption.h"
#include "catalogue/grouping_rules.h"
#include "catalogue/reorder.h"

namespace {

// One poster run with what the key search needs to find the records that
// contain a key without reading every caption: for each three-character
// sequence, the records whose caption holds it, in run order. Short runs go
// without: reading their few captions costs less than building the table.
struct Run {
  std::vector<Segment*> records;  // catalogue order
  bool indexed = false;
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

// Runs of fewer records are searched without the table.
constexpr size_t kIndexedRun = 32;

uint32_t Trigram(const char* p) {
  return uint32_t{static_cast<unsigned char>(p[0])} << 16 |
         uint32_t{static_cast<unsigned char>(p[1])} << 8 |
         static_cast<unsigned char>(p[2]);
}

void IndexRun(Run* run, Segment* first, Segment* end) {
  for (Segment* r = first; r != end; r = r->next) {
    run->everyone.push_back(static_cast<uint32_t>(run->records.size()));
    run->records.push_back(r);
  }
  run->indexed = run->records.size() >= kIndexedRun;
  if (!run->indexed) return;
  for (uint32_t at = 0; at < run->records.size(); ++at) {
    const char* caption = run->records[at]->caption;
    size_t length = std::strlen(caption);
    for (size_t i = 0; i + 3 <= length; ++i) {
      std::vector<uint32_t>& list = run->trigrams[Trigram(caption + i)];
      if (list.empty() || list.back() != at) list.push_back(at);
    }
  }
}

// The records that may contain `key`, in run order: all that hold its rarest
// three-character sequence, or those that matched the key one character
// shorter that it extends (`within`). Of an extended key only the last
// sequence can narrow them: the records holding any other include `within`.
const std::vector<uint32_t>* Candidates(const Run& run, const std::string& key,
                                        const std::vector<uint32_t>* within) {
  static const std::vector<uint32_t> kNone;
  const std::vector<uint32_t>* best = within ? within : &run.everyone;
  if (!run.indexed) return best;
  size_t i = within && key.size() > 3 ? key.size() - 3 : 0;
  for (; i + 3 <= key.size(); ++i) {
    auto found = run.trigrams.find(Trigram(key.c_str() + i));
    if (found == run.trigrams.end()) return &kNone;
    if (found->second.size() < best->size()) best = &found->second;
  }
  return best;
}

KeyCount Tally(const Run& run, const std::vector<uint32_t>& matched) {
  KeyCount c;
  for (uint32_t at : matched) CountMatch(&c, run.records[at]);
  return c;
}

// Counts `key` over the run's ungrouped records in catalogue order.
// `within`, when given, holds every record that can match (the matches of a
// key that `key` extends). The result stays valid until the next call.
const Run::Counted& CountKey(Run* run, const std::string& key,
                             const std::vector<uint32_t>* within = nullptr) {
  const std::vector<uint32_t>* candidates = Candidates(*run, key, within);
  // Only counts that read many captions are worth keeping; the others are
  // made again, which gives the same count as one kept.
  constexpr size_t kWorthKeeping = 64;
  bool keep = candidates->size() >= kWorthKeeping;
  if (keep) {
    auto found = run->counted.find(key);
    if (found != run->counted.end()) return found->second;
  }
  Run::Counted& counted = run->scratch;
  counted.matched.clear();
  for (uint32_t at : *candidates)
    if (Matches(run->records[at], key.c_str())) counted.matched.push_back(at);
  counted.count = Tally(*run, counted.matched);
  if (!keep) return counted;
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
  std::string candidate;  // one buffer for all windows
  for (;;) {
    candidate.clear();
    if (pass == 0) {
      GetFileName(seed->caption, &candidate);
    } else {
      grown = matches != 0 && start + window - 1 < length;
      if (grown) {
        ++window;
      } else {
        ++start;
        window = 3;
      }
      if (start < length)
        candidate.assign(caption, static_cast<size_t>(start),
                         static_cast<size_t>(window));
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

}  // namespace

namespace {

std::vector<YencRecord> YencRecords(const std::vector<Segment*>& yenc) {
  std::vector<YencRecord> records;
  for (Segment* s : yenc) records.push_back({s, s->yenc});
  return records;
}

// Puts the records of the postings behind the end of the list.
void AppendPostings(Segment** head, const std::vector<YencPosting>& postings) {
  Segment** link = head;
  while (*link) link = &(*link)->next;
  for (const YencPosting& posting : postings) {
    for (const YencRecord& r : posting.records) {
      *link = r.seg;
      link = &r.seg->next;
    }
  }
  *link = nullptr;
}

}  // namespace

void SortFiles(Segment** head) {
  std::vector<YencPosting> none;
  SortFiles(head, {}, &none);
}

void SortFiles(Segment** head, const std::vector<Segment*>& yenc,
               std::vector<YencPosting>* postings) {
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
  *postings = FindYencPostings(YencRecords(yenc), &counter);
  if (!QUIET) ListUnplaced(*head, yenc);
  Reorder(head);
  AppendPostings(head, *postings);
  std::printf("%d complete (non-segmented) files found.\n", counter - 1);
}
