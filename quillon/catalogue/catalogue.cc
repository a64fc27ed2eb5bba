#include "catalogue/catalogue.h"

#include <cstdint>
#include <iterator>
#include <vector>

#include "text.h"

int same(const char* a, const char* b) {
  for (;;) {
    if (!*a || !*b) return !*a && !*b;
    bool moved = false;
    if (!IsAlnum(*a)) {
      ++a;
      moved = true;
    }
    if (!IsAlnum(*b)) {
      ++b;
      moved = true;
    }
    if (moved) continue;
    if (*a != *b) return 0;
    ++a;
    ++b;
  }
}

void SettleClash(Segment* r, Segment* seg) {
  if (r->begin == seg->begin) {
    // The same part seen twice: only the newer copy is kept for decoding.
    if (seg->time < r->time)
      seg->group = 0;
    else
      r->group = 0;
    return;
  }
  // Different files under one caption: they will be told apart by name.
  if (r->begin) r->mark = 1;
  if (seg->begin) seg->mark = 1;
}

namespace {

// Captions that `same` finds equal hash equal: the hash covers their
// alphanumeric characters and the number of characters behind the last one.
uint64_t CaptionClass(const char* caption) {
  uint64_t h = 1469598103934665603u;
  uint64_t trailing = 0;
  for (const char* p = caption; *p; ++p) {
    if (IsAlnum(*p)) {
      h = (h ^ static_cast<unsigned char>(*p)) * 1099511628211u;
      trailing = 0;
    } else {
      ++trailing;
    }
  }
  return (h ^ trailing) * 1099511628211u;
}

CatalogueIndex::PeerKey PeerKeyOf(const Segment* s) {
  return {s->poster, s->part, CaptionClass(s->caption)};
}

// The record that a record of `key` goes behind, or null for the head.
Segment* Predecessor(const CatalogueIndex& index,
                     const CatalogueIndex::Key& key) {
  auto it = index.tails.lower_bound(key);
  if (it != index.tails.end() && it->first == key) return it->second;
  return it == index.tails.begin() ? nullptr : std::prev(it)->second;
}

}  // namespace

size_t CatalogueIndex::PeerKeyHash::operator()(const PeerKey& k) const {
  uint64_t h = k.caption_class;
  h ^= (static_cast<uint64_t>(static_cast<uint32_t>(k.poster)) << 32 |
        static_cast<uint32_t>(k.part)) *
       0x9E3779B97F4A7C15u;
  return static_cast<size_t>(h ^ (h >> 29));
}

void IndexCatalogue(CatalogueIndex* index, Segment* head) {
  index->tails.clear();
  index->peers.clear();
  for (Segment* r = head; r; r = r->next) {
    index->tails[{r->poster, r->part}] = r;
    index->peers[PeerKeyOf(r)].push_back(r);
  }
}

void AddtoFlist(Segment** head, Segment* seg, CatalogueIndex* index) {
  const CatalogueIndex::Key key{seg->poster, seg->part};
  Segment* prev = Predecessor(*index, key);
  std::vector<Segment*>& peers = index->peers[PeerKeyOf(seg)];
  for (Segment* r : peers)
    if (same(r->caption, seg->caption)) SettleClash(r, seg);
  Segment** link = prev ? &prev->next : head;
  seg->next = *link;
  *link = seg;
  index->tails[key] = seg;
  peers.push_back(seg);
}

void AddtoFlist(Segment** head, Segment* seg) {
  CatalogueIndex index;
  IndexCatalogue(&index, *head);
  AddtoFlist(head, seg, &index);
}
