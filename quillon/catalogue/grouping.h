// Grouping of catalogue segments into output files and their decode order.
#ifndef QUILLON_CATALOGUE_GROUPING_H_
#define QUILLON_CATALOGUE_GROUPING_H_

#include <vector>

#include "quillon.h"
#include "reporter.h"

// Gives every segment of the catalogue at `head` a group: its files take
// the numbers *counter, *counter + 1, ..., and *counter counts on.
void GroupFiles(Segment* head, int* counter);

// Ends the sort once every segment has its group: lists the captions that
// no file took (the catalogue's, then those of `unplaced`), reorders the
// catalogue into decode order and prints the number of files found.
void FinishSort(Segment** head, const std::vector<Segment*>& unplaced,
                int files, Reporter* reporter);

// Gives every segment a group, lists what could not be placed, and reorders
// the catalogue into decode order: GroupFiles and FinishSort for the
// catalogue alone.
void SortFiles(Segment** head, Reporter* reporter);

#endif  // QUILLON_CATALOGUE_GROUPING_H_
