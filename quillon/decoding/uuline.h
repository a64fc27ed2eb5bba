// Primitives on one line of uuencoded text.
#ifndef QUILLON_DECODING_UULINE_H_
#define QUILLON_DECODING_UULINE_H_

#include <cstddef>
#include <cstdio>
#include <string_view>
#include <vector>

#include "decoding/line_file.h"

// 1 for a full data line (45 bytes): "M" and a length of 62 or 63.
int uuline(const char* line);

// Decodes one data line and writes its bytes to `out`.
void decline(const char* line, std::FILE* out);

// The common case of uuline and decline together, for a line of `length`
// characters as read (NULs included): a full data line with no NUL among its
// first 62 characters is decoded and its 45 bytes written. False, with
// nothing written, for any other line; uuline and decline then decide.
bool DeclineFull(const char* line, size_t length, std::FILE* out);

// A full data line at the start of `text` as ReadLine would hand it over:
// "M", 60 characters and a newline, or a carriage return and a newline,
// with no NUL. Returns its length (62 or 63) once its 45 bytes are decoded
// into `bytes` (room for 64); 0 when `text` does not start with one.
size_t DecodeFullLineAt(std::string_view text, unsigned char* bytes);

// Decoding of the 60 data characters of a full line into 45 bytes; false
// when a NUL or a newline is among them. `bytes` has room for 64. The fast
// ways above take the fastest the processor can run; the tests check every
// one of them.
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
