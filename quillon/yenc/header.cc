#include "yenc/header.h"

#include <climits>
#include <cstdint>
#include <string>

#include "yenc/keyword.h"
#include "yenc/part_decoder.h"

namespace {

constexpr std::string_view kYpart = "=ypart";

bool IsYpartLine(std::string_view line) {
  return line.substr(0, kYpart.size()) == kYpart;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsAlnum(char c) {
  return IsDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

size_t SkipBlanks(std::string_view s, size_t at) {
  while (at < s.size() && IsBlank(s[at])) ++at;
  return at;
}

size_t SkipDigits(std::string_view s, size_t at) {
  while (at < s.size() && IsDigit(s[at])) ++at;
  return at;
}

// The value of a run of digits; -1 where an int cannot hold it.
int Value(std::string_view digits) {
  int64_t v = 0;
  for (char c : digits) {
    v = v * 10 + (c - '0');
    if (v > INT_MAX) return -1;
  }
  return static_cast<int>(v);
}

// The length of the "/" or "of" at `at`, 0 where there is none.
size_t Separator(std::string_view s, size_t at) {
  if (at < s.size() && s[at] == '/') return 1;
  if (at + 1 < s.size() && (s[at] | 0x20) == 'o' && (s[at + 1] | 0x20) == 'f')
    return 2;
  return 0;
}

std::string_view Trim(std::string_view s) {
  const std::string_view blanks = " \t\r\n";
  size_t first = s.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

}  // namespace

bool YencPartFromLines(std::string_view ybegin, std::string_view ypart,
                       int subject_total, YencPart* record) {
  Ybegin b;
  if (!ParseYbegin(ybegin, &b) || b.part > INT_MAX || b.total > INT_MAX)
    return false;
  record->name = b.name;
  record->size = b.size;
  record->part = b.part == 0 ? 1 : static_cast<int>(b.part);
  record->total = b.total != 0        ? static_cast<int>(b.total)
                  : subject_total > 0 ? subject_total
                                      : -1;
  record->begin = record->end = 0;
  Ypart p;
  if (b.part == 0 || (SinglePartForm(b) && !IsYpartLine(ypart))) {
    record->begin = 1;
    record->end = b.size;
  } else if (ypart.substr(0, 7) == "=ypart " && ParseYpart(ypart, b.size, &p)) {
    record->begin = p.begin;
    record->end = p.end;
  }
  return true;
}

bool ReadYencHeader(LineFile* in, std::string_view first, int subject_total,
                    YencPart* record) {
  std::string ybegin(first);
  if (!ReadRestOfLine(in, &ybegin)) return false;
  Ybegin b;
  if (!ParseYbegin(ybegin, &b)) return false;
  std::string ypart;
  char buf[120];
  bool has_ypart =
      b.part != 0 && (!SinglePartForm(b) || NextReadStartsWith(in, kYpart));
  if (has_ypart && ReadLine(in, buf, sizeof buf)) {
    ypart.assign(buf, in->length);
    if (!ReadRestOfLine(in, &ypart)) ypart.clear();
  }
  return YencPartFromLines(ybegin, ypart, subject_total, record);
}

int YencSubjectTotal(std::string_view subject) {
  int last = -1, last_in_parentheses = -1;
  bool in_parentheses = false;
  size_t at = 0;
  while (at < subject.size()) {
    // A counter begins with a number that stands as a word of its own.
    if (!IsDigit(subject[at]) || (at > 0 && IsAlnum(subject[at - 1]))) {
      ++at;
      continue;
    }
    size_t start = at;
    at = SkipDigits(subject, at);
    size_t sep = SkipBlanks(subject, at);
    size_t length = Separator(subject, sep);
    if (length == 0) continue;
    size_t m = SkipBlanks(subject, sep + length);
    size_t end = SkipDigits(subject, m);
    if (end == m || (end < subject.size() && IsAlnum(subject[end]))) continue;
    int total = Value(subject.substr(m, end - m));
    last = total;
    size_t before = start;
    while (before > 0 && IsBlank(subject[before - 1])) --before;
    size_t after = SkipBlanks(subject, end);
    if (before > 0 && subject[before - 1] == '(' && after < subject.size() &&
        subject[after] == ')') {
      last_in_parentheses = total;
      in_parentheses = true;
    }
    at = end;
  }
  return in_parentheses ? last_in_parentheses : last;
}

std::string YencPosterAddress(std::string_view from) {
  std::string_view key = from;
  size_t open = from.find('<');
  size_t close =
      open == std::string_view::npos ? open : from.find('>', open + 1);
  size_t at = from.find('@');
  if (close != std::string_view::npos) {
    key = from.substr(open + 1, close - open - 1);
  } else if (at != std::string_view::npos) {
    const std::string_view stops = " \t()<>,\"\r\n";
    size_t first = from.find_last_of(stops, at);
    first = first == std::string_view::npos ? 0 : first + 1;
    size_t last = from.find_first_of(stops, at);
    if (last == std::string_view::npos) last = from.size();
    key = from.substr(first, last - first);
  }
  std::string out(Trim(key));
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}
