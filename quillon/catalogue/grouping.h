// Grouping of catalogue segments into output files and their decode order.
#ifndef QUILLON_CATALOGUE_GROUPING_H_
#define QUILLON_CATALOGUE_GROUPING_H_

#include <vector>

#include "quillon.h"
#include "yenc/grouping.h"

// Gives every segment a group, lists what could not be placed, and reorders
// the catalogue into decode order.
void SortFiles(Segment** head);

// The same, and the yEnc segments `yenc` (in reading order) are found into
// postings, numbered after the uuencoded files: their unplaced captions are
// listed after the others, the summary counts their complete postings, and
// their records follow the catalogue's, posting by posting, each in reading
// order. `*postings` receives the postings.
void SortFiles(Segment** head, const std::vector<Segment*>& yenc,
               std::vector<YencPosting>* postings);

#endif  // QUILLON_CATALOGUE_GROUPING_H_
