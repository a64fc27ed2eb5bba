#include "decoding/uuline.h"

#include <cstring>
#include <string_view>

#include "decoding/uuline_kernels.h"
#include "quillon.h"
#include "text.h"

namespace {

// The 6-bit value of a uuencoded character: blank and back-quote are 0.
unsigned Value(char c) { return (static_cast<unsigned char>(c) - 32u) & 63u; }

// Copies the word at `p` into `word` (at most kLineSize - 1 characters) and
// returns where the word ends; false when no word is left.
bool ScanWord(const char** p, char* word) {
  const char* s = SkipSpace(*p);
  if (*s == '\0') return false;
  int n = 0;
  while (*s != '\0' && !IsSpace(*s)) {
    if (n < kLineSize - 1) word[n++] = *s;
    ++s;
  }
  word[n] = '\0';
  *p = s;
  return true;
}

// Matches the literal "begin" as a formatted scan does: 0 on a mismatch,
// -1 when the text ends first, 1 on a match.
int ScanBegin(const char** p) {
  const char* s = *p;
  for (const char* lit = "begin"; *lit; ++lit, ++s) {
    if (*s == '\0') return -1;
    if (*s != *lit) return 0;
  }
  *p = s;
  return 1;
}

// The scan "begin %o %s": number of fields converted, -1 when the text
// ends before the first.
int ScanModeAndName(const char* text, int* mode, char* name) {
  int begin = ScanBegin(&text);
  if (begin <= 0) return begin;
  if (*SkipSpace(text) == '\0') return -1;
  if (!ScanOctal(&text, mode)) return 0;
  return ScanWord(&text, name) ? 2 : 1;
}

// The scan "begin %s".
int ScanName(const char* text, char* name) {
  int begin = ScanBegin(&text);
  if (begin <= 0) return begin;
  return ScanWord(&text, name) ? 1 : -1;
}

}  // namespace

int uuline(const char* line) {
  if (line[0] != 'M') return 0;
  size_t n = std::strlen(line);
  return n == 62 || n == 63 ? 1 : 0;
}

namespace {

bool Ends(char c) { return c == '\0' || c == '\n'; }

// A NUL or a newline among the characters ends the line's text early.
bool DecodeSixtyPlain(const char* p, unsigned char* bytes) {
  bool ends = false;
  for (int i = 0; i < 45; i += 3, p += 4) {
    ends = ends || Ends(p[0]) || Ends(p[1]) || Ends(p[2]) || Ends(p[3]);
    unsigned a = Value(p[0]), b = Value(p[1]), c = Value(p[2]), d = Value(p[3]);
    bytes[i] = static_cast<unsigned char>((a << 2 | b >> 4) & 255u);
    bytes[i + 1] = static_cast<unsigned char>((b << 4 | c >> 2) & 255u);
    bytes[i + 2] = static_cast<unsigned char>((c << 6 | d) & 255u);
  }
  return !ends;
}

// The fastest way, chosen at the first full line.
bool DecodeSixtyFastest(const char* chars, unsigned char* bytes) {
  static const DecodeSixty fastest = DecodeSixtyWays().front();
  return fastest(chars, bytes);
}

}  // namespace

std::vector<DecodeSixty> DecodeSixtyWays() {
  std::vector<DecodeSixty> ways;
#if QUILLON_X86
  if (ProcessorFeatures().avx2) ways.push_back(DecodeSixtyAvx2);
  if (ProcessorFeatures().ssse3) ways.push_back(DecodeSixtySsse3);
#endif
  ways.push_back(DecodeSixtyPlain);
  return ways;
}

size_t DecodeFullLineAt(std::string_view text, unsigned char* bytes) {
  if (text.size() < 62 || text[0] != 'M') return 0;
  size_t length;
  if (text[61] == '\n') {
    length = 62;
  } else if (text.size() >= 63 && text[62] == '\n' && !Ends(text[61])) {
    length = 63;
  } else {
    return 0;
  }
  return DecodeSixtyFastest(text.data() + 1, bytes) ? length : 0;
}

bool DeclineFull(const char* line, size_t length, std::FILE* out) {
  if ((length != 62 && length != 63) || line[0] != 'M' || line[61] == '\0')
    return false;
  unsigned char bytes[64];
  if (!DecodeSixtyFastest(line + 1, bytes)) return false;
  fwrite_unlocked(bytes, 1, 45, out);
  return true;
}

void decline(const char* line, std::FILE* out) {
  // A full line, known to hold its 60 data characters, goes the fast way.
  // strnlen first: it stops at the terminator of a shorter line, while
  // memchr would read on past it.
  size_t length = strnlen(line, 63);
  if (length >= 62 && !std::memchr(line, '\n', 61) &&
      DeclineFull(line, 62, out))
    return;
  // Characters at or after the newline count as blanks stripped in transit,
  // so nothing behind the line is ever read. A line of nothing but its end
  // (LF or CR LF) is a zero-length line whose blank was stripped: the CR is
  // no length character.
  size_t end = std::strcspn(line, "\n");
  if (end == 1 && line[0] == '\r' && line[1] == '\n') return;
  auto at = [&](size_t i) { return i < end ? Value(line[i]) : 0u; };
  int n = end > 0 ? static_cast<int>(Value(line[0])) : 0;
  // At most 63 bytes from one line; written in one call.
  unsigned char bytes[64];
  size_t count = 0;
  for (size_t i = 1; n > 0; i += 4, n -= 3) {
    unsigned a = at(i), b = at(i + 1), c = at(i + 2), d = at(i + 3);
    bytes[count++] = static_cast<unsigned char>((a << 2 | b >> 4) & 255u);
    if (n > 1)
      bytes[count++] = static_cast<unsigned char>((b << 4 | c >> 2) & 255u);
    if (n > 2) bytes[count++] = static_cast<unsigned char>((c << 6 | d) & 255u);
  }
  if (count) std::fwrite(bytes, 1, count, out);
}

int bline(const char* line) {
  const char* p = SkipSpace(line);
  return p[0] == 'b' && StartsWith(p, "begin ") ? 1 : 0;
}

int ReadBline(const char* line, int* mode, char* name) {
  const char* text = SkipSpace(line);
  if (ScanModeAndName(text, mode, name) == 2) return 2;
  *mode = 0644;
  return ScanName(text, name);
}

int wc(const char* line) {
  std::string_view text(line, strnlen(line, kLineSize - 1));
  int words = 0;
  bool in_word = false;
  for (char c : text) {
    bool delimiter = c == ' ' || c == '\n';
    if (!delimiter && !in_word) ++words;
    in_word = !delimiter;
  }
  return words;
}

void CompleteBeginLine(char* line, LineFile* in) {
  if (wc(line) > 2) return;
  size_t n = std::strlen(line);
  if (n == 0 || n >= static_cast<size_t>(kLineSize)) return;
  line[n - 1] = ' ';
  // At the end of input the line simply stays, ending in a blank.
  ReadLine(in, line + n, kLineSize - static_cast<int>(n));
}
