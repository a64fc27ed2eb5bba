// The record of a yEnc part, from the keyword lines that open it, as the
// scan makes it.
#ifndef QUILLON_YENC_HEADER_H_
#define QUILLON_YENC_HEADER_H_

#include <string>
#include <string_view>

#include "decoding/line_file.h"
#include "yenc/part.h"

// Fills `record` from a whole =ybegin line and, for a part of several, the
// line after it (`ypart`, empty where there is none). total= is taken, else
// `subject_total` where it is above 0, else -1. A part without part=, and
// one with part=1 and at most total=1 whose next line is no =ypart line,
// covers 1..size. False when the =ybegin line is broken (also a part or
// total that an int cannot hold): the article then holds no yEnc segment. A
// missing or broken =ypart line of any other part leaves begin and end 0, a
// range that is never placed, so that the part counts as damaged.
bool YencPartFromLines(std::string_view ybegin, std::string_view ypart,
                       int subject_total, YencPart* record);

// The same straight from the input: `first` is what ReadLine gave for the
// =ybegin line; the rest of that line is read, and the next line too where
// it is the part's =ypart line. A =ybegin line longer than kYencLineMax is
// broken. The first data line is never taken.
bool ReadYencHeader(LineFile* in, std::string_view first, int subject_total,
                    YencPart* record);

// The number of parts a subject gives, for a part without total=: the m of
// its last counter "(n/m)" (`[01/17] - "x.rar" yEnc (3/5)` gives 5), else
// of its last "n/m" not in parentheses; "of" stands for "/" in any case.
// -1 where it has none.
int YencSubjectTotal(std::string_view subject);

// The poster of a From: text as yEnc postings tell them apart: the text
// between "<" and ">" where there is one, else the word that holds an "@",
// else the whole text; blanks around it dropped, in lower case.
std::string YencPosterAddress(std::string_view from);

#endif  // QUILLON_YENC_HEADER_H_
