#include "catalogue/grouping.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "catalogue/caption.h"
#include "catalogue/grouping_rules.h"
#include "catalogue/reorder.h"
#include "catalogue/shared_text.h"

namespace {

// One poster run with what the key search needs to find the records that
// contain a key without reading every caption: for each three-character
// sequence, the records whose caption holds it, in run order. Short runs go
// without: reading their few captions costs less than building the table.
struct Run {
  std::vector<Segment*> records;    // catalogue order
  std::vector<MatchFields> fields;  // of each record, read by the counts
  bool indexed = false;
  bool trigrams_made = false;
  std::unordered_map<uint32_t, std::vector<uint32_t>> trigrams;
  // For each dot of a caption with kBeforeDot characters before it and
  // kAfterDot after it, the hash of that piece and the record, sorted: a
  // file name key finds the few records that hold the piece around its
  // dot, where each of its three-character sequences recurs in many.
  std::vector<std::pair<uint64_t, uint32_t>> dotted;
  std::vector<uint32_t> dotted_scratch;
  // The records that may still be ungrouped, in run order: grouped ones
  // are dropped whenever the list is read.
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
  // Scratch of the window search: the seed's caption, the records it may
  // match, and for each start of a window and each of them the longest
  // window from there that it holds (by start, then record).
  SharedText seed_text;
  std::vector<uint32_t> candidates;
  std::vector<uint32_t> held;
  std::vector<uint32_t> matched;  // of one window, by candidate
  std::vector<uint32_t> stamp;    // per record: the last search that took it
  uint32_t searches = 0;
};

// Runs of fewer records are searched without the table.
constexpr size_t kIndexedRun = 32;

uint32_t Trigram(const char* p) {
  return uint32_t{static_cast<unsigned char>(p[0])} << 16 |
         uint32_t{static_cast<unsigned char>(p[1])} << 8 |
         static_cast<unsigned char>(p[2]);
}

// The piece around a dot that the dot index keys on: so many characters
// before the dot and after it.
constexpr size_t kBeforeDot = 4;
constexpr size_t kAfterDot = 1;

uint64_t DotPiece(const char* dot) {
  uint64_t h = 1469598103934665603u;
  for (const char* p = dot - kBeforeDot; p <= dot + kAfterDot; ++p)
    h = (h ^ static_cast<unsigned char>(*p)) * 1099511628211u;
  return h;
}

void IndexRun(Run* run, Segment* const* first, Segment* const* end) {
  for (Segment* const* r = first; r != end; ++r) {
    run->everyone.push_back(static_cast<uint32_t>(run->records.size()));
    run->records.push_back(*r);
    run->fields.push_back(FieldsOf(*r));
  }
  run->stamp.assign(run->records.size(), 0);
  run->indexed = run->records.size() >= kIndexedRun;
  if (!run->indexed) return;
  for (uint32_t at = 0; at < run->records.size(); ++at) {
    const char* caption = run->records[at]->caption;
    size_t length = std::strlen(caption);
    for (size_t i = kBeforeDot; i + kAfterDot < length; ++i)
      if (caption[i] == '.') run->dotted.push_back({DotPiece(caption + i), at});
  }
  // By piece, then in run order; a record that holds one piece twice is
  // listed once.
  std::sort(run->dotted.begin(), run->dotted.end());
  run->dotted.erase(std::unique(run->dotted.begin(), run->dotted.end()),
                    run->dotted.end());
}

// The table of three-character sequences of an indexed run, made when a
// key first needs it: keys with a file name seldom do.
const std::unordered_map<uint32_t, std::vector<uint32_t>>& Trigrams(Run* run) {
  if (run->trigrams_made) return run->trigrams;
  run->trigrams_made = true;
  for (uint32_t at = 0; at < run->records.size(); ++at) {
    const char* caption = run->records[at]->caption;
    size_t length = std::strlen(caption);
    for (size_t i = 0; i + 3 <= length; ++i) {
      std::vector<uint32_t>& list = run->trigrams[Trigram(caption + i)];
      if (list.empty() || list.back() != at) list.push_back(at);
    }
  }
  return run->trigrams;
}

// The records that may still be ungrouped, in run order.
const std::vector<uint32_t>& Ungrouped(Run* run) {
  std::erase_if(run->everyone,
                [&](uint32_t at) { return run->records[at]->group != -1; });
  return run->everyone;
}

// The records that may contain `key`, in run order: all that hold the
// piece around one of its dots, else all that hold its rarest
// three-character sequence, when those are fewer than the records that may
// be ungrouped.
const std::vector<uint32_t>* Candidates(Run* run, const std::string& key) {
  static const std::vector<uint32_t> kNone;
  const std::vector<uint32_t>* best = nullptr;
  size_t fewest = run->everyone.size();
  for (size_t i = kBeforeDot; run->indexed && i + kAfterDot < key.size(); ++i) {
    if (key[i] != '.') continue;
    auto [lo, hi] = std::equal_range(
        run->dotted.begin(), run->dotted.end(),
        std::pair<uint64_t, uint32_t>{DotPiece(key.c_str() + i), 0},
        [](const auto& x, const auto& y) { return x.first < y.first; });
    if (static_cast<size_t>(hi - lo) >= fewest) continue;
    run->dotted_scratch.clear();
    for (auto it = lo; it != hi; ++it)
      run->dotted_scratch.push_back(it->second);
    best = &run->dotted_scratch;
    fewest = best->size();
  }
  for (size_t i = 0; !best && run->indexed && i + 3 <= key.size(); ++i) {
    const auto& trigrams = Trigrams(run);
    auto found = trigrams.find(Trigram(key.c_str() + i));
    if (found == trigrams.end()) return &kNone;
    if (found->second.size() >= fewest) continue;
    best = &found->second;
    fewest = best->size();
  }
  return best ? best : &Ungrouped(run);
}

void CountRecord(const Run& run, uint32_t at, KeyCount* c) {
  CountMatch(c, run.fields[at]);
}

// Counts `key` over the run's ungrouped records in catalogue order. The
// result stays valid until the next call.
const Run::Counted& CountKey(Run* run, const std::string& key) {
  const std::vector<uint32_t>* candidates = Candidates(run, key);
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
  counted.count = KeyCount();
  for (uint32_t at : *candidates) {
    if (!Matches(run->records[at], key.c_str())) continue;
    counted.matched.push_back(at);
    CountRecord(*run, at, &counted.count);
  }
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

// One seed's key search: the best key so far and its count.
struct Search {
  std::string* best;
  int best_count = 0;
};

// Weighs the count of one candidate key; false when the search ends.
bool Weigh(Search* search, const KeyCount& c, const char* key, size_t size) {
  if (Acceptable(c, search->best_count)) {
    search->best->assign(key, size);
    search->best_count = c.matches;
  }
  return search->best_count == 0 || c.total != c.matches;
}

bool WeighKey(Run* run, Search* search, const std::string& key) {
  return Weigh(search, CountKey(run, key).count, key.data(), key.size());
}

// The ungrouped records that hold any three-character piece of `caption`
// (of `length` at least 3), in run order; every ungrouped record when that
// is cheaper to find out.
void WindowCandidates(Run* run, const char* caption, size_t length) {
  std::vector<uint32_t>& out = run->candidates;
  // Once few records are left ungrouped, they are the cheaper list.
  out = Ungrouped(run);
  if (!run->indexed || out.size() * 8 <= run->records.size()) return;
  out.clear();
  uint32_t stamp = ++run->searches;
  size_t listed = 0;
  const auto& trigrams = Trigrams(run);
  for (size_t i = 0; i + 3 <= length; ++i) {
    auto found = trigrams.find(Trigram(caption + i));
    if (found == trigrams.end()) continue;
    listed += found->second.size();
    if (listed > run->records.size()) break;
    for (uint32_t at : found->second) {
      if (run->stamp[at] == stamp || run->records[at]->group != -1) continue;
      run->stamp[at] = stamp;
      out.push_back(at);
    }
  }
  if (listed > run->records.size()) {
    out = run->everyone;
    return;
  }
  std::sort(out.begin(), out.end());
}

// Captions longer than this are searched window by window: the automaton
// counts its states in 32 bits.
constexpr size_t kLongestShared = size_t{1} << 29;

// Entries of `held` at most (64 MB): only a huge caption that many records
// share needs its starts in more than one block.
constexpr size_t kMostHeld = size_t{16} << 20;

// Pass 1 for a caption of 3 characters or more. The windows start at each
// position in turn and grow one character at a time to the end of the
// caption (while they match any record); a window matches the records that
// hold it, so as it grows, the records it matches change only where one of
// them stops holding it. Windows between two such places count the same
// as the first of them, and weighing them again changes nothing: only the
// first is counted and weighed. The records each window start leaves, and
// where, come from the longest window each record holds from there.
bool SearchWindows(Run* run, Search* search, const char* caption,
                   size_t length) {
  WindowCandidates(run, caption, length);
  const size_t n = run->candidates.size();
  const size_t starts = length - 2;
  BuildSharedText(std::string_view(caption, length), &run->seed_text);
  // The starts are taken in blocks that bound the memory of `held`.
  const size_t block = std::max<size_t>(1, kMostHeld / std::max<size_t>(n, 1));
  std::vector<uint32_t>& matched = run->matched;
  for (size_t s = 0; s < starts; ++s) {
    size_t first = s / block * block;
    if (s == first) {
      size_t end = std::min(starts, first + block);
      run->held.resize(n * (end - first));
      for (size_t i = 0; i < n; ++i) {
        SharedPrefixes(&run->seed_text,
                       run->records[run->candidates[i]]->caption, first, end,
                       run->held.data() + i, n);
      }
    }
    const uint32_t* held = run->held.data() + (s - first) * n;
    uint32_t size = 3;
    matched.clear();
    for (uint32_t i = 0; i < n; ++i)
      if (held[i] >= size) matched.push_back(i);
    for (;;) {
      KeyCount c;
      // The seed holds every window of its own: `least` ends at its end.
      uint32_t least = UINT32_MAX;
      for (uint32_t i : matched) {
        CountRecord(*run, run->candidates[i], &c);
        least = std::min(least, held[i]);
      }
      if (!Weigh(search, c, caption + s, size)) return false;
      if (c.matches == 0 || least >= length - s) break;
      size = least + 1;
      // The longer window's records are among the shorter one's.
      std::erase_if(matched, [&](uint32_t i) { return held[i] < size; });
    }
  }
  return true;
}

// Pass 1 one window after the other: for captions too long for the
// automaton.
bool SearchEveryWindow(Run* run, Search* search, const std::string& caption) {
  const size_t length = caption.size();
  std::string key;
  for (size_t s = 0; s + 2 < length; ++s) {
    for (size_t size = 3;; ++size) {
      key.assign(caption, s, size);
      const KeyCount& c = CountKey(run, key).count;
      if (!Weigh(search, c, key.data(), key.size())) return false;
      if (c.matches == 0 || s + size > length) break;
    }
  }
  return true;
}

// Looks for the caption key of `seed` in the run. Pass 0 tries the file name
// in the caption, pass 1 every window of the caption (see SearchWindows).
// Returns true and the key in `best` when one was accepted.
bool FindKey(Run* run, const Segment* seed, int pass, std::string* best) {
  Search search{best};
  const std::string caption = seed->caption;
  const size_t length = caption.size();
  if (pass == 0) {
    std::string name;
    GetFileName(seed->caption, &name);
    if (!name.empty()) WeighKey(run, &search, name);
  } else if (length < 3) {
    // One window: the whole caption.
    if (length > 0) WeighKey(run, &search, caption);
  } else {
    bool more = length > kLongestShared
                    ? SearchEveryWindow(run, &search, caption)
                    : SearchWindows(run, &search, caption.c_str(), length);
    // The last start has a window of two characters.
    if (more) WeighKey(run, &search, caption.substr(length - 2));
  }
  return search.best_count != 0;
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

void GroupFiles(Segment* head, int* counter) {
  // The records are read from an array: walking the list reads one record
  // after the other, each where the scan happened to put it.
  std::vector<Segment*> all;
  for (Segment* r = head; r; r = r->next) all.push_back(r);
  for (Segment* r : all) Relabel(r);
  for (size_t first = 0; first < all.size();) {
    size_t end = first;
    while (end < all.size() && all[end]->poster == all[first]->poster) ++end;
    Run run;
    IndexRun(&run, all.data() + first, all.data() + end);
    GroupByKeys(&run, counter);
    GroupConsecutive(all[first], end < all.size() ? all[end] : nullptr,
                     counter);
    first = end;
  }
}

void FinishSort(Segment** head, const std::vector<Segment*>& unplaced,
                int files, Reporter* reporter) {
  ListUnplaced(reporter, *head, unplaced);
  Reorder(head);
  Print(reporter, "%d complete (non-segmented) files found.\n", files);
}

void SortFiles(Segment** head, Reporter* reporter) {
  int counter = 1;
  GroupFiles(*head, &counter);
  FinishSort(head, {}, counter - 1, reporter);
}
