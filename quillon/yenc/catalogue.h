// yEnc's records of one run: the part each yEnc segment carries, as the
// scan reads them, and the postings they make once grouped.
#ifndef QUILLON_YENC_CATALOGUE_H_
#define QUILLON_YENC_CATALOGUE_H_

#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "decoding/encoding.h"
#include "quillon.h"
#include "yenc/grouping.h"
#include "yenc/part.h"

struct YencCatalogue {
  // The store: a yEnc segment carries part number seg->encoding.record,
  // and segments[n] is the segment of parts[n], in reading order.
  std::deque<YencPart> parts;
  std::vector<Segment*> segments;
  // The whole address of the last From: line read, which tells posters
  // apart, and the id of every such address.
  std::string address;
  std::unordered_map<std::string, int> address_ids;
  std::vector<YencPosting> postings;  // once grouped
};

// Notes the address of a From: line. A line that begins "=ybegin " after
// the Subject line makes the article a yEnc part, unless the line is
// broken: its record joins the store, and `seg` carries it with its part
// and total (total= of the line, else the subject's last counter).
bool DetectYencPart(YencCatalogue* catalogue, const ArticleLine& line,
                    Segment* seg);

// Puts `part` into the store as the record that `seg` carries.
void KeepYencPart(YencCatalogue* catalogue, Segment* seg, const YencPart& part);

// The record that a yEnc segment of the catalogue carries.
const YencPart& YencPartOf(const YencCatalogue& catalogue, const Segment* seg);

// Finds the postings (FindYencPostings); complete ones take their group
// numbers from `*counter` on.
void GroupYencPostings(YencCatalogue* catalogue, int* counter);

// Appends the segments that no posting took, in reading order.
void UnplacedYencSegments(const YencCatalogue& catalogue,
                          std::vector<Segment*>* out);

// Appends every segment in decode order: posting by posting, in the order
// of their first records, each in reading order.
void YencDecodeOrder(const YencCatalogue& catalogue,
                     std::vector<Segment*>* out);

#endif  // QUILLON_YENC_CATALOGUE_H_
