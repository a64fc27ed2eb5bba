#include "grouping.h"

void SortFiles(Segment**) {}
