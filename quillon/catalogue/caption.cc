#include "catalogue/caption.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "text.h"

namespace {

char Upper(char c) { return IsLower(c) ? static_cast<char>(c - 'a' + 'A') : c; }

// The value of the digit run at `s`, modulo 2^32: a run of any length must
// give a defined int.
int32_t DigitValue(const char* s) {
  uint32_t value = 0;
  for (; IsDigit(*s); ++s)
    value = value * 10u + static_cast<uint32_t>(*s - '0');
  return static_cast<int32_t>(value);
}

// One strtok step over `*cursor`, without strtok's process-wide position:
// skips delimiters, ends the token with a terminator when one follows, and
// leaves `*cursor` behind it. Null when only delimiters are left.
char* NextToken(char** cursor, const char* delims) {
  char* s = *cursor + std::strspn(*cursor, delims);
  if (*s == '\0') {
    *cursor = s;
    return nullptr;
  }
  char* end = s + std::strcspn(s, delims);
  if (*end != '\0') *end++ = '\0';
  *cursor = end;
  return s;
}

}  // namespace

void GetNum(char* text, int* part, int* total) {
  enum { kNone, kInside, kStanding } state = kNone;
  size_t start = 0;
  size_t end = 0;
  bool part_mark = false;
  size_t i = 0;
  for (; text[i] != '\0'; ++i) {
    char c = text[i];
    if (IsDigit(c) && state != kInside) {
      start = i;
      state = kInside;
    }
    if (!IsDigit(c) && state == kInside) {
      state = kStanding;
      end = i;
    }
    if ((c == '/' || (c == 'O' && text[i + 1] == 'F')) && state == kStanding)
      break;
    if (StartsWith(text + i, "PART")) part_mark = true;
    if (!IsDigit(c) && c != ' ' && state == kStanding) state = kNone;
  }

  if (text[i] == '\0') {
    // No "/" or "OF" behind a number: only a PART word gives a part.
    *part = part_mark ? DigitValue(text + start) : -1;
    *total = -1;
    return;
  }

  text[end] = '\0';
  *part = DigitValue(text + start);
  char* s = text + end + 1;
  while (*s != '\0' && !IsDigit(*s)) ++s;
  if (*s == '\0') {
    *total = -1;
    return;
  }
  *total = DigitValue(s);
  while (IsDigit(*s)) ++s;
  *s = '\0';
}

void GetFileName(const char* text, std::string* out) {
  const char* word = nullptr;
  const char* chosen = nullptr;
  for (const char* p = text; *p != '\0' && chosen == nullptr; ++p) {
    if (*p == ' ' || *p == '(') {
      word = nullptr;
      continue;
    }
    if (word == nullptr) word = p;
    if (*p == '.' && (p == text || p[-1] != '.') && p[1] != '.') chosen = word;
  }

  out->clear();
  if (chosen == nullptr) return;
  // The first token from the chosen word on, cut at " ,()\n".
  const char* token = chosen + std::strspn(chosen, " ,()\n");
  out->assign(token, std::strcspn(token, " ,()\n"));
}

char* FormatStr(char* text) {
  for (char* p = text; *p != '\0'; ++p)
    *p = (IsAlnum(*p) || *p == '+' || *p == '-') ? Upper(*p) : ' ';
  return text;
}

char* upcase(char* text) {
  for (char* p = text; *p != '\0'; ++p) *p = Upper(*p);
  return text;
}

void KeySplit(char** table, char* text, int* count, Reporter* reporter) {
  char* cursor = text;
  while (char* word = NextToken(&cursor, " ")) {
    FormatStr(word);
    if (*count >= kMaxKeywords) {
      Note(reporter, "quillon: too many keywords, ignoring \"%s\"\n", word);
      continue;
    }
    table[(*count)++] = word;
  }
}

int keycheck(const char* text, char* const* table, int count) {
  if (count == 0) return 0;
  std::string copy = text;
  FormatStr(copy.data());

  int score = 0;
  for (int i = 0; i < count; ++i) {
    const char* keyword = table[i];
    // An empty entry has no sign to skip; it matches like a bare sign.
    const char* wanted = keyword[0] != '\0' ? keyword + 1 : keyword;
    if (std::strstr(copy.c_str(), wanted) == nullptr) continue;
    score += keyword[0] == '-' ? -1 : 1;
  }
  return score;
}

namespace {

// Hand-made stand-ins for the sscanf directives of the Date: formats. Each
// advances `*s` and answers whether the field converted.

constexpr int kWordField = 12;

// "%11s", except that a longer word fails instead of spilling into the next
// field.
bool ScanWord(const char** s, char* field) {
  const char* p = *s;
  while (IsSpace(*p)) ++p;
  size_t n = 0;
  while (p[n] != '\0' && !IsSpace(p[n])) ++n;
  if (n == 0 || n > kWordField - 1) return false;
  std::memcpy(field, p, n);
  field[n] = '\0';
  *s = p + n;
  return true;
}

// "%ld" in wrapping 32-bit arithmetic.
bool ScanLong(const char** s, uint32_t* value) {
  const char* p = *s;
  while (IsSpace(*p)) ++p;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (!IsDigit(*p)) return false;
  uint32_t v = 0;
  for (; IsDigit(*p); ++p) v = v * 10u + static_cast<uint32_t>(*p - '0');
  *value = negative ? 0u - v : v;
  *s = p;
  return true;
}

bool ScanChar(const char** s, char c) {
  if (**s != c) return false;
  ++*s;
  return true;
}

struct DateFields {
  char month[kWordField];
  uint32_t day, year, hour, minute, second;
};

bool ScanClock(const char** s, DateFields* d) {
  return ScanLong(s, &d->hour) && ScanChar(s, ':') && ScanLong(s, &d->minute) &&
         ScanChar(s, ':') && ScanLong(s, &d->second);
}

// "%s %ld %s %ld %ld:%ld:%ld"
bool ScanWithWeekday(const char* s, DateFields* d) {
  char weekday[kWordField];
  return ScanWord(&s, weekday) && ScanLong(&s, &d->day) &&
         ScanWord(&s, d->month) && ScanLong(&s, &d->year) && ScanClock(&s, d);
}

// "%ld %s %ld %ld:%ld:%ld"
bool ScanWithoutWeekday(const char* s, DateFields* d) {
  return ScanLong(&s, &d->day) && ScanWord(&s, d->month) &&
         ScanLong(&s, &d->year) && ScanClock(&s, d);
}

}  // namespace

int32_t GetTime(const char* text) {
  static const char kMonths[] =
      "aJanbFebcMardApreMayfJungJulhAugiSepjOctkNovlDec";
  DateFields d;
  if (!ScanWithWeekday(text, &d) && !ScanWithoutWeekday(text, &d)) return 0;

  const char* found = std::strstr(kMonths, d.month);
  if (found == nullptr || found == kMonths) return 0;
  // The character before the match is the month's index letter; a word that
  // matches inside an abbreviation takes whatever character precedes it.
  uint32_t month = static_cast<uint32_t>(found[-1] - 'a');

  uint32_t year = d.year;
  if (static_cast<int32_t>(year) <= 99) year += 1900u;
  uint32_t t = (year - 1994u) * 32140800u + month * 2678400u + d.day * 86400u +
               d.hour * 3600u + d.minute * 60u + d.second;
  return static_cast<int32_t>(t);
}

const char* userid(char* text) {
  char* cursor = text;
  while (char* token = NextToken(&cursor, "() <>,\n")) {
    if (char* at = std::strchr(token, '@')) {
      *at = '\0';
      return token;
    }
  }
  return "NONE!";
}
