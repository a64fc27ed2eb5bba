// Character classes of the POSIX locale, prefix tests and the octal numbers
// of mode words. The classes are written out so that bytes 128 to 255 are
// neither letters, digits nor space, whatever the environment's locale
// says; no table is indexed by a char, so a negative one is harmless.
#ifndef QUILLON_TEXT_H_
#define QUILLON_TEXT_H_

#include <cstring>

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
inline bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
inline bool IsAlnum(char c) { return IsDigit(c) || IsLower(c) || IsUpper(c); }
inline bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

inline const char* SkipSpace(const char* p) {
  while (IsSpace(*p)) ++p;
  return p;
}

// Compared here rather than with strncmp: the scan asks it of every line,
// and nearly every line differs at its first character.
inline bool StartsWith(const char* text, const char* prefix) {
  for (; *prefix; ++text, ++prefix)
    if (*text != *prefix) return false;
  return true;
}

// Reads an octal number at `*p` as scanf's "%o" does: leading white space,
// an optional sign, digits 0 to 7, wrapping in 32 bits. Leaves `*p` behind
// it; false, and nothing moved, when no digit can be read.
inline bool ScanOctal(const char** p, int* value) {
  const char* s = SkipSpace(*p);
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  if (*s < '0' || *s > '7') return false;
  unsigned v = 0;
  while (*s >= '0' && *s <= '7') v = v * 8u + static_cast<unsigned>(*s++ - '0');
  if (negative) v = 0u - v;
  *value = static_cast<int>(v);
  *p = s;
  return true;
}

#endif  // QUILLON_TEXT_H_
