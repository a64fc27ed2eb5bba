// The grouping rules that the key search uses as they are written: the
// plain reference of the tests shares them instead of keeping copies.
#ifndef QUILLON_CATALOGUE_GROUPING_RULES_H_
#define QUILLON_CATALOGUE_GROUPING_RULES_H_

#include <cstdint>
#include <vector>

#include "quillon.h"
#include "reporter.h"

// The caption says REPOST.
bool IsRepost(const Segment* s);

// An ungrouped record whose caption holds `key`.
bool Matches(const Segment* s, const char* key);

// The first record after the poster run that starts at `first`.
Segment* RunEnd(Segment* first);

// Records that clash with another file's caption are told apart by their
// begin names from here on: one record, or every record of a list.
void Relabel(Segment* r);
void RelabelAll(Segment* head);

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

// What the count of a key reads of a record.
struct MatchFields {
  const char* begin;
  int part;
  int total;
  bool repost;  // IsRepost
};

MatchFields FieldsOf(const Segment* r);

// Counts one more record that the key matches, in catalogue order.
void CountMatch(KeyCount* c, const MatchFields& r);
void CountMatch(KeyCount* c, const Segment* r);

// The key's records make one file, and more of them than the best so far.
bool Acceptable(const KeyCount& c, int best_count);

// A poster whose run opens with ungrouped parts 1, 2, 3 ... that announce as
// many parts and carry one begin line gets all its ungrouped records as one
// file.
void GroupConsecutive(Segment* first, Segment* end, int* counter);

// Prints the captions of the records no file took as progress lines: those
// of the list, then those among `more`.
void ListUnplaced(Reporter* reporter, const Segment* head,
                  const std::vector<Segment*>& more = {});

#endif  // QUILLON_CATALOGUE_GROUPING_RULES_H_
