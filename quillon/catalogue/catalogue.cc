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

// The hash of a record's key and caption class.
uint64_t PeerHash(const Segment* s) {
  uint64_t h = CaptionClass(s->caption);
  h ^= (static_cast<uint64_t>(static_cast<uint32_t>(s->poster)) << 32 |
        static_cast<uint32_t>(s->part)) *
       0x9E3779B97F4A7C15u;
  return h ^ (h >> 29);
}

uint32_t PeerTag(uint64_t hash) { return static_cast<uint32_t>(hash >> 32); }

// The first slot of a record of `hash` in a table of `size` slots.
size_t PeerSlot(uint64_t hash, size_t size) {
  return static_cast<size_t>(hash) & (size - 1);
}

// The empty slot at the end of the probe sequence of `hash`.
size_t FreePeerSlot(const CatalogueIndex& index, uint64_t hash) {
  size_t mask = index.peers.size() - 1;
  size_t at = PeerSlot(hash, index.peers.size());
  while (index.peers[at]) at = (at + 1) & mask;
  return at;
}

// Enters `r` of `hash` at the end of its probe sequence.
void PutPeer(CatalogueIndex* index, Segment* r, uint64_t hash) {
  size_t at = FreePeerSlot(*index, hash);
  index->peers[at] = r;
  index->peer_tags[at] = PeerTag(hash);
}

// Room for one more record, the table grown (and its records placed anew)
// when it would be more than three quarters full.
void MakePeerRoom(CatalogueIndex* index) {
  size_t size = index->peers.size();
  if ((index->peer_count + 1) * 4 <= size * 3) return;
  std::vector<Segment*> old;
  old.swap(index->peers);
  index->peers.assign(size ? size * 2 : 64, nullptr);
  index->peer_tags.assign(index->peers.size(), 0);
  for (Segment* r : old)
    if (r) PutPeer(index, r, PeerHash(r));
}

// The record that a record of `key` goes behind, or null for the head.
Segment* Predecessor(const CatalogueIndex& index,
                     const CatalogueIndex::Key& key) {
  auto it = index.tails.lower_bound(key);
  if (it != index.tails.end() && it->first == key) return it->second;
  return it == index.tails.begin() ? nullptr : std::prev(it)->second;
}

// Settles the clashes of `seg` with the records it must be compared with,
// then enters it into the table.
void AddPeer(CatalogueIndex* index, Segment* seg) {
  MakePeerRoom(index);
  uint64_t hash = PeerHash(seg);
  uint32_t tag = PeerTag(hash);
  size_t mask = index->peers.size() - 1;
  size_t at = PeerSlot(hash, index->peers.size());
  for (; index->peers[at]; at = (at + 1) & mask) {
    Segment* r = index->peers[at];
    if (index->peer_tags[at] == tag && r->poster == seg->poster &&
        r->part == seg->part && same(r->caption, seg->caption))
      SettleClash(r, seg);
  }
  index->peers[at] = seg;
  index->peer_tags[at] = tag;
  ++index->peer_count;
}

}  // namespace

void IndexCatalogue(CatalogueIndex* index, Segment* head) {
  *index = CatalogueIndex();
  for (Segment* r = head; r; r = r->next) {
    index->tails[{r->poster, r->part}] = r;
    MakePeerRoom(index);
    PutPeer(index, r, PeerHash(r));
    ++index->peer_count;
  }
}

void AddtoFlist(Segment** head, Segment* seg, CatalogueIndex* index) {
  const CatalogueIndex::Key key{seg->poster, seg->part};
  Segment* prev = Predecessor(*index, key);
  AddPeer(index, seg);
  Segment** link = prev ? &prev->next : head;
  seg->next = *link;
  *link = seg;
  index->tails[key] = seg;
}

void AddtoFlist(Segment** head, Segment* seg) {
  CatalogueIndex index;
  IndexCatalogue(&index, *head);
  AddtoFlist(head, seg, &index);
}
