// The catalogue: the sorted list of Segments that the scan finds.
#ifndef QUILLON_CATALOGUE_CATALOGUE_H_
#define QUILLON_CATALOGUE_CATALOGUE_H_

#include "../quillon.h"

// 1 when two captions are equal over their alphanumeric characters.
int same(const char* a, const char* b);

// Links `seg` into the catalogue by poster and part, suppressing the older
// of exact duplicates and marking same-caption clashes of other begin names.
void AddtoFlist(Segment** head, Segment* seg);

// Drops AddtoFlist's index: the catalogue is about to change otherwise.
void ForgetCatalogueIndex();

#endif  // QUILLON_CATALOGUE_CATALOGUE_H_
