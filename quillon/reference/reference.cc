#include "reference/reference.h"

#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <deque>
#include <string>
#include <unordered_map>

#include "catalogue/caption.h"
#include "catalogue/catalogue.h"
#include "catalogue/grouping_rules.h"
#include "catalogue/reorder.h"
#include "decoding/dosname.h"
#include "test_support.h"
#include "text.h"

namespace {

int CompareKeys(const Segment* r, const Segment* seg) {
  if (r->poster != seg->poster) return r->poster < seg->poster ? -1 : 1;
  if (r->part != seg->part) return r->part < seg->part ? -1 : 1;
  return 0;
}

// ---- grouping, as a whole-run walk per candidate and an exchange sort ----

KeyCount CountKey(Segment* first, Segment* end, const char* key) {
  KeyCount c;
  for (Segment* r = first; r != end; r = r->next)
    if (Matches(r, key)) CountMatch(&c, r);
  return c;
}

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
      GetFileName(seed->caption, &candidate);
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

bool Suppress(Segment* s) {
  bool changed = s->group != 0;
  s->group = 0;
  return changed;
}

bool GoesAfter(Segment* a, Segment* b, bool* resort) {
  if (a->group != b->group) return a->group > b->group;
  if (a->part == b->part && a->part != -1) {
    GivesWay loser = RepostGivesWay(IsRepost(a), a->time, IsRepost(b), b->time);
    if (loser != GivesWay::kNeither &&
        Suppress(loser == GivesWay::kFirst ? a : b))
      *resort = true;
  }
  if (a->part == -1 || b->part == -1) return a->time > b->time;
  return a->part > b->part;
}

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

}  // namespace

void RefExchangeSort(Segment** head) {
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

void RefAddtoFlist(Segment** head, Segment* seg) {
  Segment** link = head;
  Segment* r = *head;
  for (; r; link = &r->next, r = r->next) {
    int d = CompareKeys(r, seg);
    if (d == 0 && same(r->caption, seg->caption)) SettleClash(r, seg);
    if (d > 0) break;
  }
  seg->next = r;
  *link = seg;
}

int RefGetId(RefPosterPool* pool, const char* s) {
  const char* stored = pool->buf.c_str();
  for (int id = 1; id <= pool->nitems; ++id) {
    if (std::strcmp(stored, s) == 0) return id;
    stored += std::strlen(stored) + 1;
  }
  pool->buf.append(s, std::strlen(s) + 1);
  return ++pool->nitems;
}

void RefSortFiles(Segment** head, Reporter* reporter) {
  RelabelAll(*head);
  int counter = 1;
  for (Segment* first = *head; first;) {
    Segment* end = RunEnd(first);
    GroupByKeys(first, end, &counter);
    GroupConsecutive(first, end, &counter);
    first = end;
  }
  ListUnplaced(reporter, *head);
  RefExchangeSort(head);
  Print(reporter, "%d complete (non-segmented) files found.\n", counter - 1);
}

char* RefSharedBeginName(Records* records, Segment* catalogue,
                         const char* name) {
  for (Segment* s = catalogue; s; s = s->next)
    if (s->begin && std::strcmp(s->begin, name) == 0) return s->begin;
  return NewBeginName(records, name);
}

int64_t Refmaxseek(Segment* list, Segment* seg, int64_t limit) {
  for (Segment* s = list; s; s = s->next) {
    if (s == seg || s->path != seg->path) continue;
    if (s->offset > seg->offset && s->offset < limit) limit = s->offset;
  }
  return limit;
}

void Refclean(Segment* list, const Options& options) {
  std::unordered_map<const char*, bool> pending;
  for (Segment* q = list; q; q = q->next) pending[q->path] |= q->mark == 0;
  for (Segment* p = list; p; p = p->next) {
    if (p->mark != 1 || pending[p->path]) continue;
    if (options.DEL && p->path) unlink(p->path);
    if (p->logentry) p->logentry->flag = 1;
  }
}

void Refcheckname(Records* records, Segment* list, char* name) {
  dosname(name);
  for (Segment* s = list; s; s = s->next) {
    if (!s->begin || std::strcmp(s->begin, MARKER) == 0) continue;
    if (std::strcmp(s->begin, name) != 0) continue;
    if (uint64_t count = DosUseCount(records, s->begin))
      NumberDosName(name, count);
    RaiseDosUseCount(records, s->begin);
  }
}

namespace {

// The texts of the reference log lists, kept as long as the tests run.
Records& RefTexts() {
  static Records records;
  return records;
}

}  // namespace

LogDir* Refgetptrptr(LogDir** link, const char* path) {
  for (; *link; link = &(*link)->next)
    if (std::strcmp((*link)->dir, path) == 0) return *link;
  static std::deque<LogDir> store;
  LogDir* dir = &store.emplace_back(
      LogDir{NewString(&RefTexts(), path), nullptr, nullptr});
  *link = dir;
  return dir;
}

LogEntry* Refaddtolist(LogEntry* first, const char* name, const char* dir,
                       const std::string& cwd) {
  static std::deque<LogEntry> store;
  int flag = dir && cwd != dir ? 1 : 0;
  return &store.emplace_back(
      LogEntry{NewString(&RefTexts(), name), flag, first});
}

int RefinDlist(LogDir** list, const char* file, LogEntry** entry,
               const std::string& cwd, bool* logupdate) {
  *entry = nullptr;
  if (file[0] != '/' && cwd.empty()) return 0;
  std::string path = MakePath(cwd, file);
  LogDir* root = *list;
  while (root && !StartsWith(path.c_str(), root->dir)) root = root->next;
  if (!root) return 0;
  *logupdate = true;

  size_t slash = path.rfind('/');
  std::string name = path.substr(slash + 1);
  path.erase(slash);
  LogDir* dir = Refgetptrptr(list, path.c_str());
  for (LogEntry* e = dir->entries; e; e = e->next) {
    if (name == e->name) {
      e->flag = 1;
      return 1;
    }
  }
  dir->entries = Refaddtolist(dir->entries, name.c_str(), nullptr, cwd);
  *entry = dir->entries;
  return 0;
}
