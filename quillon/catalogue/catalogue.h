// The catalogue: the sorted list of Segments that the scan finds.
#ifndef QUILLON_CATALOGUE_CATALOGUE_H_
#define QUILLON_CATALOGUE_CATALOGUE_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "quillon.h"

// 1 when two captions are equal over their alphanumeric characters.
int same(const char* a, const char* b);

// `r` is in the catalogue and `seg` arrives with the same poster, part and
// caption: the older of exact duplicates is suppressed, and records of
// other begin names are marked to be told apart by name.
void SettleClash(Segment* r, Segment* seg);

// What insertion needs to know about one catalogue without walking it: the
// last record of each key (poster, part), where the next record of that key
// goes, and the records that a new one must be compared with (the same key
// and a caption `same` may find equal). It stays true to its list as long
// as nothing but AddtoFlist changes the list.
struct CatalogueIndex {
  using Key = std::pair<int, int>;  // poster, part
  std::map<Key, Segment*> tails;
  // Every record, in an open-addressed table of linear probing by the hash
  // of its key and caption class (a power of two of slots, at most three
  // quarters full; empty slots hold null). Records of one hash follow one
  // another along the probe sequence, each slot with the hash's upper half
  // beside it, so that a probe reads only the records it may compare with.
  std::vector<Segment*> peers;
  std::vector<uint32_t> peer_tags;
  size_t peer_count = 0;
};

// Indexes the sorted catalogue at `head` anew.
void IndexCatalogue(CatalogueIndex* index, Segment* head);

// Links `seg` into the catalogue by poster and part, suppressing the older
// of exact duplicates and marking same-caption clashes of other begin names.
// `index` must be the index of the list at `head`; it is kept up to date.
void AddtoFlist(Segment** head, Segment* seg, CatalogueIndex* index);

// The same with an index made for this one insertion.
void AddtoFlist(Segment** head, Segment* seg);

#endif  // QUILLON_CATALOGUE_CATALOGUE_H_
