// Primitives on one line of uuencoded text.
#ifndef QUILLON_DECODING_UULINE_H_
#define QUILLON_DECODING_UULINE_H_

#include <cstddef>
#include <cstdio>
#include <vector>

#include "line_file.h"

// 1 for a full data line (45 bytes): "M" and a length of 62 or 63.
int uuline(const char* line);

// Decodes one data line and writes its bytes to `out`.
void decline(const char* line, std::FILE* out);

// The common case of uuline and decline together, for a line of `length`
// characters as read (NULs included): a full data line with no NUL among its
// first 62 characters is decoded and its 45 bytes written. False, with
// nothing written, for any other line; uuline and decline then decide.
bool DeclineFull(const char* line, size_t length, std::FILE* out);

// Decoding of the 60 data characters of a full line into 45 bytes; false
// when a NUL is among them. `bytes` has room for 64. DeclineFull takes the
// fastest way the processor can run; the tests check every one of them.
using DecodeSixty = bool (*)(const char* chars, unsigned char* bytes);
std::vector<DecodeSixty> DecodeSixtyWays();

// 1 for a begin line: "begin " after leading white space.
int bline(const char* line);

// Mode and file name of a begin line; `name` holds kLineSize characters.
// Returns 2 (mode and name), 1 (name, default mode 0644), or 0 or less.
int ReadBline(const char* line, int* mode, char* name);

// Number of words separated by blanks and newlines.
int wc(const char* line);

// Begin-line completion: a begin line of fewer than three words is taken as
// broken and the next input line is read onto its end, in the same buffer
// of kLineSize characters.
void CompleteBeginLine(char* line, LineFile* in);

#endif  // QUILLON_DECODING_UULINE_H_
