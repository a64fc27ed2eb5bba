// Text functions that read meaning out of subject and header lines. They work
// in place on NUL-terminated 8-bit text, in the POSIX locale's classes.
#ifndef QUILLON_CATALOGUE_CAPTION_H_
#define QUILLON_CATALOGUE_CAPTION_H_

#include <cstdint>
#include <string>

#include "reporter.h"

constexpr int kMaxKeywords = 10;

// Part number and total of an upper-cased line; -1 where none. May write up
// to two terminators into `text`.
void GetNum(char* text, int* part, int* total);

// The first word of `text` that looks like a file name, or "", into `out`.
// `text` is not changed.
void GetFileName(const char* text, std::string* out);

// Keyword normalisation: alphanumerics, '+' and '-' upper-cased, every other
// character a blank. Returns `text`.
char* FormatStr(char* text);

// Upper-cases a to z in place. Returns `text`.
char* upcase(char* text);

// Cuts `text` at blanks into keywords, normalises each in place and appends
// pointers into `text` to `table`, advancing `*count`. Words beyond
// kMaxKeywords are noted on `reporter` and left out.
void KeySplit(char** table, char* text, int* count, Reporter* reporter);

// Keyword score of a subject line: +1 per matching keyword, -1 per matching
// keyword that begins with '-'. 0 when there are no keywords.
int keycheck(const char* text, char* const* table, int count);

// Posting time value of a Date: text, 0 when it cannot be read.
int32_t GetTime(const char* text);

// The poster name of a From: text (the address before its '@'), cut out of
// `text`, or "NONE!".
const char* userid(char* text);

#endif  // QUILLON_CATALOGUE_CAPTION_H_
