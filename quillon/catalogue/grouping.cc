#include "grouping.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

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

KeyCount CountKey(Segment* first, Segment* end, const char* key) {
  KeyCount c;
  for (Segment* r = first; r != end; r = r->next) {
    if (!Matches(r, key)) continue;
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

bool Acceptable(const KeyCount& c, int best_count) {
  return c.matches > best_count && c.begins == 1 && c.unknown >= c.gaps &&
         (c.total == -1 || c.total == c.matches);
}

// Looks for the caption key of `seed` among the run [first, end). Pass 0 tries
// the file name in the caption, pass 1 every window of the caption. Returns
// true and the key in `best` when one was accepted.
bool FindKey(Segment* first, Segment* end, const Segment* seed, int pass,
             std::string* best) {
  const std::string caption = seed->caption;
  const ptrdiff_t length = static_cast<ptrdiff_t>(caption.size());
  int best_count = 0;
  int matches = 0;
  ptrdiff_t start = -1;
  ptrdiff_t window = 0;
  for (;;) {
    std::string candidate;
    if (pass == 0) {
      char name[kLineSize] = "";
      GetFileName(seed->caption, name);
      candidate = name;
    } else {
      if (matches != 0 && start + window - 1 < length) {
        ++window;
      } else {
        ++start;
        window = 3;
      }
      if (start < length) candidate = caption.substr(start, window);
    }
    if (candidate.empty()) break;

    KeyCount c = CountKey(first, end, candidate.c_str());
    matches = c.matches;
    if (Acceptable(c, best_count)) {
      *best = candidate;
      best_count = c.matches;
    }
    if (best_count != 0 && c.total == c.matches) break;
    if (pass == 0 || start >= length - 2) break;
  }
  return best_count != 0;
}

void GroupByKeys(Segment* first, Segment* end, int* counter) {
  for (int pass = 0; pass < 2; ++pass) {
    for (Segment* seed = first; seed != end; seed = seed->next) {
      if (seed->group != -1) continue;
      std::string key;
      if (!FindKey(first, end, seed, pass, &key)) continue;
      for (Segment* r = first; r != end; r = r->next)
        if (Matches(r, key.c_str())) r->group = *counter;
      ++*counter;
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

// Sets a record's group to 0; true when that changed it.
bool Suppress(Segment* s) {
  bool changed = s->group != 0;
  s->group = 0;
  return changed;
}

// Decode order of two neighbours of one run. A repost of a part suppresses
// the other copy of it, which changes that copy's place in the order: the
// caller must sweep again (`*resort`), or a copy suppressed between two
// interleaved groups would leave them interleaved.
bool GoesAfter(Segment* a, Segment* b, bool* resort) {
  if (a->group != b->group) return a->group > b->group;
  if (a->part == b->part && a->part != -1) {
    bool a_repost = IsRepost(a);
    bool b_repost = IsRepost(b);
    if (b_repost && Suppress(a)) *resort = true;
    if (a_repost && Suppress(b)) *resort = true;
  }
  if (a->part == -1 || b->part == -1) return a->time > b->time;
  return a->part > b->part;
}

// One exchange sweep over the run whose first record `*link` points at;
// true when the run changed.
bool Sweep(Segment** link, int poster) {
  bool exchanged = false;
  Segment* a = *link;
  while (a->next && a->next->poster == poster) {
    Segment* b = a->next;
    if (GoesAfter(a, b, &exchanged)) {
      a->next = b->next;
      b->next = a;
      *link = b;
      link = &b->next;
      exchanged = true;
    } else {
      link = &a->next;
      a = b;
    }
  }
  return exchanged;
}

void Reorder(Segment** head) {
  Segment** link = head;
  while (*link) {
    int poster = (*link)->poster;
    while (Sweep(link, poster)) {
    }
    Segment* last = *link;
    while (last->next && last->next->poster == poster) last = last->next;
    link = &last->next;
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
    GroupByKeys(first, end, &counter);
    GroupConsecutive(first, end, &counter);
    first = end;
  }
  if (!QUIET) ListUnplaced(*head);
  Reorder(head);
  std::printf("%d complete (non-segmented) files found.\n", counter - 1);
}
