// Grouping of yEnc records into postings, and the parts that make each file.
#ifndef QUILLON_YENC_GROUPING_H_
#define QUILLON_YENC_GROUPING_H_

#include <cstdint>
#include <vector>

#include "quillon.h"
#include "yenc/part.h"

// A yEnc segment and what its keyword lines said.
struct YencRecord {
  Segment* seg = nullptr;
  const YencPart* part = nullptr;
};

// One byte range of a file and the records that carry it, best first: the
// one posted later (a repost), of equal times the one read first.
struct YencRange {
  uint64_t begin = 0;
  uint64_t end = 0;
  std::vector<YencRecord> copies;
};

// The records of one poster (by the whole address, YencPart::poster) that
// agree in name, size and total. A complete posting has a group number and
// the ranges that cover its file exactly, in file order; an incomplete one
// has group -1 and no ranges. `records` holds every record of the posting
// in input order, also those the ranges do not use (damaged ones, and
// ranges that overlap the chosen ones).
struct YencPosting {
  int group = -1;
  std::vector<YencRecord> records;
  std::vector<YencRange> tiling;
};

// Finds the postings among `records` (in the order they were read), in the
// order of their first records. Every record of a complete posting gets the
// posting's group, taken from `*counter`, which then counts on; records of
// incomplete postings keep group -1. A file of size 0 is complete when a
// record gives it the empty range 1..0, its only range.
std::vector<YencPosting> FindYencPostings(
    const std::vector<YencRecord>& records, int* counter);

#endif  // QUILLON_YENC_GROUPING_H_
