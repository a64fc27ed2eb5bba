// The decode pass: turns a list of Segments into output files.
#ifndef QUILLON_DECODING_DECODE_H_
#define QUILLON_DECODING_DECODE_H_

#include <cstdint>
#include <cstdio>
#include <vector>

#include "decoding/line_file.h"
#include "quillon.h"
#include "yenc/grouping.h"

// How a pass went; every failure's message is printed already.
struct DecodeOutcome {
  // The pass ended at an article file that could not be opened: the run
  // ends there, with nothing more printed or cleaned.
  bool article_unreadable = false;
  bool write_error = false;  // writing an output file failed
  bool failed = false;       // some failure was reported
};

// Runs the pass over `list` in list order; over standard input when the
// list is empty.
DecodeOutcome decode(Segment* list);

// The same for a list whose yEnc segments make `postings`; they are written
// after every uuencoded file.
DecodeOutcome decode(Segment* list, const std::vector<YencPosting>& postings);

// Decodes argv[first] .. argv[end - 1] as plain uuencoded files (standard
// input when there are none). The list it builds is stored in `*head`.
// A directory among them is reported as a file that cannot be accessed, or
// passed over without a word when `pass_over_directories` (a scan that
// turned into plain decoding: the user asked for a scan over a glob).
DecodeOutcome decode_p(Segment** head, int first, int end, char** argv,
                       bool pass_over_directories = false);

// End of the window of `seg`: the smallest offset of another segment of the
// same input file above seg's own and below `limit`, else `limit`. Needs the
// pass index of `list` (BeginPassIndex).
int64_t maxseek(Segment* list, Segment* seg, int64_t limit);

// Deletes (under -delete) and flags in the log every input file all of whose
// segments are processed (MarkProcessed), within the pass index of `list`.
void clean(Segment* list);

// Opens `path` for appending; null for null, or after "%s: cannot open".
std::FILE* GetFilePtr(const char* path);

// The output path of `name`: DESTDIR "/" name, or the name itself. The
// result stays valid until the next call.
const char* CreatePath(const char* name);

// Reduces `name` in place to the part after its last '/'.
char* BaseName(char* name);

#endif  // QUILLON_DECODING_DECODE_H_
