// The catalogue's decode order: the outcome of an exchange sort of each
// poster run, reached without making every sweep.
//
// The sweeps compare neighbours of one run. Records go by group: ungrouped
// (-1) first, then suppressed (0), then the files in ascending group. Inside
// a group they go by part, and where one of the two has no part number, by
// time. When two copies of one known part of a file meet, a repost
// suppresses the copy without REPOST; of two reposts the earlier gives way
// (smaller time; of equal times the first of the two), so one copy is still
// decoded. A suppressed record joins group 0 and the sweeps go on.
//
// Which copies meet depends on where the sweeps have moved the records so
// far, so the decode order and which copy of a part is decoded follow from
// the exact course of the sweeps, suppressions on the way included. Reorder
// reproduces that outcome record for record; a plain sort by the comparison
// would not.
#ifndef QUILLON_CATALOGUE_REORDER_H_
#define QUILLON_CATALOGUE_REORDER_H_

#include <cstdint>

#include "quillon.h"

// Which of two copies of one known part the repost rule suppresses, the
// first and the second as they stand in the run.
enum class GivesWay { kNeither, kFirst, kSecond };
GivesWay RepostGivesWay(bool first_repost, int32_t first_time,
                        bool second_repost, int32_t second_time);

// Reorders every poster run of the grouped catalogue at `*head` into decode
// order, setting the group of the copies the reposts suppress to 0.
void Reorder(Segment** head);

#endif  // QUILLON_CATALOGUE_REORDER_H_
