// The record of a yEnc part, from the keyword lines that open it, as the
// scan makes it.
#ifndef QUILLON_DECODING_YENC_HEADER_H_
#define QUILLON_DECODING_YENC_HEADER_H_

#include <string_view>

#include "catalogue/yenc_part.h"
#include "decoding/line_file.h"

// Fills `record` from a whole =ybegin line and, for a part of several, the
// line after it (`ypart`; ignored for a single part). total= is taken, else
// `subject_total` where it is above 0, else -1. A single part covers
// 1..size. False when the =ybegin line is broken (also a part or total that
// an int cannot hold): the article then holds no yEnc segment. A missing or
// broken =ypart line leaves begin and end 0, a range that is never placed,
// so that the part counts as damaged.
bool YencPartFromLines(std::string_view ybegin, std::string_view ypart,
                       int subject_total, YencPart* record);

// The same straight from the input: `first` is what ReadLine gave for the
// =ybegin line; the rest of that line is read, and the next line too for a
// part of several. A =ybegin line longer than kYencLineMax is broken.
bool ReadYencHeader(LineFile* in, std::string_view first, int subject_total,
                    YencPart* record);

#endif  // QUILLON_DECODING_YENC_HEADER_H_
