#include "catalogue.h"

#include <cstdint>
#include <iterator>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

// Alphanumeric in the POSIX locale: bytes 0x80 and above never are.
static bool IsAlnum(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (c >= '0' && c <= '9');
}

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

// Sort key order of the catalogue: poster, then part (-1 first).
static int CompareKeys(const Segment* r, const Segment* seg) {
  if (r->poster != seg->poster) return r->poster < seg->poster ? -1 : 1;
  if (r->part != seg->part) return r->part < seg->part ? -1 : 1;
  return 0;
}

// `r` is in the catalogue, `seg` arrives with the same key and caption.
static void SettleClash(Segment* r, Segment* seg) {
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

using Key = std::pair<int, int>;  // poster, part

struct PeerKey {
  int poster;
  int part;
  uint64_t caption_class;
  bool operator==(const PeerKey&) const = default;
};

struct PeerKeyHash {
  size_t operator()(const PeerKey& k) const {
    uint64_t h = k.caption_class;
    h ^= (static_cast<uint64_t>(static_cast<uint32_t>(k.poster)) << 32 |
          static_cast<uint32_t>(k.part)) * 0x9E3779B97F4A7C15u;
    return static_cast<size_t>(h ^ (h >> 29));
  }
};

// An index beside the catalogue: the last record of each key, where the
// next record of that key goes, and the records that a new one must be
// compared with. It follows one list; a list changed by anything other than
// AddtoFlist is indexed anew.
struct CatalogueIndex {
  Segment** link = nullptr;
  Segment* head = nullptr;  // *link as AddtoFlist left it
  std::map<Key, Segment*> tails;
  std::unordered_map<PeerKey, std::vector<Segment*>, PeerKeyHash> peers;
};

CatalogueIndex& Index() {
  static CatalogueIndex index;
  return index;
}

PeerKey PeerKeyOf(const Segment* s) {
  return PeerKey{s->poster, s->part, CaptionClass(s->caption)};
}

void Rebuild(CatalogueIndex* index, Segment** head) {
  index->tails.clear();
  index->peers.clear();
  index->link = head;
  index->head = *head;
  for (Segment* r = *head; r; r = r->next) {
    index->tails[Key{r->poster, r->part}] = r;
    index->peers[PeerKeyOf(r)].push_back(r);
  }
}

// The record that `seg` goes behind, or null for the head. Null in `*ok`
// when the index does not fit the list.
Segment* Predecessor(CatalogueIndex* index, const Key& key, bool* ok) {
  *ok = true;
  auto it = index->tails.lower_bound(key);
  if (it == index->tails.end() || it->first != key) {
    if (it == index->tails.begin()) return nullptr;
    it = std::prev(it);
  }
  Segment* r = it->second;
  Segment* after = r->next;
  *ok = Key{r->poster, r->part} == it->first &&
        (!after || Key{after->poster, after->part} > key);
  return r;
}

}  // namespace

static void LinearAddtoFlist(Segment** head, Segment* seg) {
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

void ForgetCatalogueIndex() { Index() = CatalogueIndex(); }

void AddtoFlist(Segment** head, Segment* seg) {
  CatalogueIndex* index = &Index();
  if (index->link != head || index->head != *head) Rebuild(index, head);
  const Key key{seg->poster, seg->part};
  bool ok = false;
  Segment* prev = Predecessor(index, key, &ok);
  if (!ok) {
    Rebuild(index, head);
    prev = Predecessor(index, key, &ok);
  }
  if (!ok) {
    // A list out of order: only the walk from the head knows its place.
    LinearAddtoFlist(head, seg);
    index->link = nullptr;
    return;
  }
  std::vector<Segment*>& peers = index->peers[PeerKeyOf(seg)];
  for (Segment* r : peers)
    if (same(r->caption, seg->caption)) SettleClash(r, seg);
  if (prev) {
    seg->next = prev->next;
    prev->next = seg;
  } else {
    seg->next = *head;
    *head = seg;
  }
  index->head = *head;
  index->tails[key] = seg;
  peers.push_back(seg);
}
