// The yEnc pass: each complete posting is written as one file, every part
// at its own byte range, checked against its CRCs; yEnc parts among the
// lines of plain input go to their files through the stream.
#ifndef QUILLON_YENC_PASS_H_
#define QUILLON_YENC_PASS_H_

#include <unordered_map>
#include <unordered_set>

#include "decoding/encoding.h"
#include "decoding/output.h"
#include "yenc/catalogue.h"
#include "yenc/grouping.h"
#include "yenc/stream.h"

struct YencPass {
  PassOutput* output = nullptr;
  // The complete postings by group, and the groups already written.
  std::unordered_map<int, const YencPosting*> postings;
  std::unordered_set<int> done;
  YencStream stream;
};

// Starts the pass with the postings of `catalogue` (none where it is null).
void BeginYencPass(YencPass* pass, PassOutput* output,
                   const YencCatalogue* catalogue);

// Writes the posting of `seg` (a yEnc segment of a complete posting) when
// it is the first of its records met; the others were settled with it. The
// articles of a posting count as processed only when every part was found
// good and the file was written without error.
void DecodeYencSegment(YencPass* pass, Segment* seg);

// A line of plain input: see DecodeYencStream.
bool DecodeYencPlainLine(YencPass* pass, const PlainLine& line);

// Judges and closes the files of the stream (EndYencStream).
void EndYencPass(YencPass* pass);

#endif  // QUILLON_YENC_PASS_H_
