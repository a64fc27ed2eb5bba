#include "decoding/pass_index.h"

#include <algorithm>
#include <memory>
#include <unordered_map>

namespace {

struct ArticleFile {
  std::vector<Segment*> segments;  // list order
  std::vector<int64_t> offsets;    // ascending
  size_t unprocessed = 0;          // segments whose mark is 0
  size_t holds = 0;                // HoldFile calls not yet released
};

struct PassIndex {
  const Segment* list = nullptr;
  // Input files are told apart by their path object, not its text.
  std::unordered_map<const char*, ArticleFile> files;
  std::vector<const ArticleFile*> finished;
};

std::unique_ptr<PassIndex>& Current() {
  static std::unique_ptr<PassIndex> index;
  return index;
}

}  // namespace

void BeginPassIndex(Segment* list) {
  auto index = std::make_unique<PassIndex>();
  index->list = list;
  std::vector<const char*> order;  // first appearance of each file
  for (Segment* s = list; s; s = s->next) {
    auto [it, fresh] = index->files.try_emplace(s->path);
    if (fresh) order.push_back(s->path);
    it->second.segments.push_back(s);
    it->second.offsets.push_back(s->offset);
    if (s->mark == 0) ++it->second.unprocessed;
  }
  for (const char* path : order) {
    ArticleFile& f = index->files[path];
    std::sort(f.offsets.begin(), f.offsets.end());
    // A file that is finished already is cleaned at the first call.
    if (f.unprocessed == 0) index->finished.push_back(&f);
  }
  Current() = std::move(index);
}

void EndPassIndex() { Current().reset(); }

bool PassIndexed(const Segment* list) {
  return Current() && Current()->list == list && list;
}

int64_t IndexedMaxseek(const Segment* seg, int64_t limit) {
  auto it = Current()->files.find(seg->path);
  if (it == Current()->files.end()) return limit;
  const ArticleFile& f = it->second;
  // The first offset above seg's own; another segment at the same offset
  // never ends the window.
  auto next = std::upper_bound(f.offsets.begin(), f.offsets.end(), seg->offset);
  if (next != f.offsets.end() && *next < limit) return *next;
  return limit;
}

void MarkProcessed(Segment* seg) {
  bool was_open = seg->mark == 0;
  seg->mark = 1;
  if (!Current() || !was_open) return;
  auto it = Current()->files.find(seg->path);
  if (it == Current()->files.end()) return;
  ArticleFile& f = it->second;
  if (--f.unprocessed == 0 && f.holds == 0) Current()->finished.push_back(&f);
}

void HoldFile(const Segment* seg) {
  if (!Current()) return;
  auto it = Current()->files.find(seg->path);
  if (it != Current()->files.end()) ++it->second.holds;
}

void ReleaseFile(const Segment* seg) {
  if (!Current()) return;
  auto it = Current()->files.find(seg->path);
  if (it == Current()->files.end() || it->second.holds == 0) return;
  ArticleFile& f = it->second;
  if (--f.holds == 0 && f.unprocessed == 0) Current()->finished.push_back(&f);
}

std::vector<const std::vector<Segment*>*> TakeFinishedFiles() {
  std::vector<const std::vector<Segment*>*> out;
  if (!Current()) return out;
  for (const ArticleFile* f : Current()->finished) out.push_back(&f->segments);
  Current()->finished.clear();
  return out;
}
