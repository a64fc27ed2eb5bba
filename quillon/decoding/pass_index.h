// What one decode pass knows about its list beyond the list itself: the
// segments of each article file, so that window ends and finished files are
// found without walking the whole list after every segment.
#ifndef QUILLON_DECODING_PASS_INDEX_H_
#define QUILLON_DECODING_PASS_INDEX_H_

#include <cstdint>
#include <vector>

#include "quillon.h"

// Indexes `list` for the pass about to run over it. The paths, offsets and
// order of its segments must not change until EndPassIndex; marks change
// through MarkProcessed only.
void BeginPassIndex(Segment* list);
void EndPassIndex();

// True while an index of `list` stands.
bool PassIndexed(const Segment* list);

// maxseek through the index.
int64_t IndexedMaxseek(const Segment* seg, int64_t limit);

// Sets `seg`'s mark to 1 and counts it off its article file. Without an index
// it only sets the mark.
void MarkProcessed(Segment* seg);

// Keeps the article file of `seg` from being finished, as long as it is held
// more often than released: for input whose outcome is known only at the
// end of the pass. Without an index they do nothing.
void HoldFile(const Segment* seg);
void ReleaseFile(const Segment* seg);

// The segments, in list order, of each article file that has been finished
// since the last call (files finished before the pass come first).
std::vector<const std::vector<Segment*>*> TakeFinishedFiles();

#endif  // QUILLON_DECODING_PASS_INDEX_H_
