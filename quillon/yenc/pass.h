// The yEnc postings of a decode pass: each complete posting is written as
// one file, every part at its own byte range, checked against its CRCs.
#ifndef QUILLON_YENC_PASS_H_
#define QUILLON_YENC_PASS_H_

#include <vector>

#include "decoding/pass.h"
#include "yenc/grouping.h"

// Makes the postings known to the pass by their group numbers.
void IndexYencPostings(Pass* pass, const std::vector<YencPosting>& postings);

// Writes the posting of `seg` (a yEnc segment of a complete posting) when
// it is the first of its records met; the others were settled with it. The
// articles of a posting count as processed only when every part was found
// good and the file was written without error.
void DecodeYencPosting(Pass* pass, Segment* seg);

#endif  // QUILLON_YENC_PASS_H_
