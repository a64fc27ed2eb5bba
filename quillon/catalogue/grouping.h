// Grouping of catalogue segments into output files and their decode order.
#ifndef QUILLON_CATALOGUE_GROUPING_H_
#define QUILLON_CATALOGUE_GROUPING_H_

#include "quillon.h"

// Gives every segment a group, lists what could not be placed, and reorders
// the catalogue into decode order.
void SortFiles(Segment** head);

#endif  // QUILLON_CATALOGUE_GROUPING_H_
