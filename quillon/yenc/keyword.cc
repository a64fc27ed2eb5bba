#include "yenc/keyword.h"

#include <utility>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool ParseDecimal(std::string_view s, uint64_t* value) {
  if (s.empty()) return false;
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    auto digit = static_cast<uint64_t>(c - '0');
    if (v > (UINT64_MAX - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

bool ParseHex32(std::string_view s, uint32_t* value) {
  if (s.empty()) return false;
  uint32_t v = 0;
  for (char c : s) {
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
      digit = static_cast<uint32_t>((c | 0x20) - 'a' + 10);
    } else {
      return false;
    }
    if (v > 0x0fffffffu) return false;
    v = v << 4 | digit;
  }
  *value = v;
  return true;
}

// The fields of a keyword line after its keyword, in order. `rest` is what
// follows the keyword; the line must go on with a blank or end there.
struct Fields {
  std::string_view rest;
  unsigned seen = 0;  // bits of the known fields met, to refuse repeats
};

bool StartFields(std::string_view line, std::string_view keyword, Fields* f) {
  line = WithoutLineEnd(line);
  if (line.substr(0, keyword.size()) != keyword) return false;
  f->rest = line.substr(keyword.size());
  return f->rest.empty() || IsBlank(f->rest.front());
}

// The next "key=value"; false at the end. A field without "=" makes the
// whole line broken (*broken is set).
bool NextField(Fields* f, std::string_view* key, std::string_view* value,
               bool* broken) {
  size_t at = 0;
  while (at < f->rest.size() && IsBlank(f->rest[at])) ++at;
  f->rest.remove_prefix(at);
  if (f->rest.empty()) return false;
  size_t end = 0;
  while (end < f->rest.size() && !IsBlank(f->rest[end])) ++end;
  std::string_view token = f->rest.substr(0, end);
  size_t equals = token.find('=');
  if (equals == 0 || equals == std::string_view::npos) {
    *broken = true;
    return false;
  }
  *key = token.substr(0, equals);
  // The value runs to the next blank, except name='s, which the caller
  // takes from f->rest.
  *value = token.substr(equals + 1);
  f->rest.remove_prefix(end);
  return true;
}

// Marks field `bit` as met; false where it was met before.
bool First(Fields* f, unsigned bit) {
  if (f->seen & bit) return false;
  f->seen |= bit;
  return true;
}

bool ValidName(std::string_view name) {
  if (name.empty() || name.size() > kYencNameMax) return false;
  return name.find_first_of(std::string_view("\0\r\n", 3)) ==
         std::string_view::npos;
}

// One field of =ybegin other than name=; false when it breaks the line.
bool YbeginField(Fields* f, std::string_view key, std::string_view value,
                 Ybegin* out) {
  if (key == "part") return First(f, 1) && ParseDecimal(value, &out->part);
  if (key == "total") return First(f, 2) && ParseDecimal(value, &out->total);
  if (key == "line") return First(f, 4) && ParseDecimal(value, &out->line);
  if (key == "size") return First(f, 8) && ParseDecimal(value, &out->size);
  return true;
}

}  // namespace

bool ParseYbegin(std::string_view line, Ybegin* out) {
  Fields f;
  if (!StartFields(line, "=ybegin", &f)) return false;
  Ybegin y;
  std::string_view key, value;
  bool broken = false;
  while (NextField(&f, &key, &value, &broken)) {
    if (key == "name") {
      // The rest of the line from just after "name=".
      std::string_view name = TrimBlanks(std::string_view(
          value.data(),
          static_cast<size_t>(f.rest.data() + f.rest.size() - value.data())));
      if (!ValidName(name)) return false;
      y.name.assign(name);
      break;
    }
    if (!YbeginField(&f, key, value, &y)) return false;
  }
  if (broken || y.name.empty() || !(f.seen & 8)) return false;
  bool has_part = f.seen & 1, has_total = f.seen & 2;
  if ((has_part && y.part == 0) || (has_total && y.total == 0)) return false;
  if (has_part && has_total && y.part > y.total) return false;
  *out = std::move(y);
  return true;
}

bool SinglePartForm(const Ybegin& b) { return b.part == 1 && b.total <= 1; }

bool ParseYpart(std::string_view line, uint64_t file_size, Ypart* out) {
  Fields f;
  if (!StartFields(line, "=ypart", &f)) return false;
  Ypart y;
  std::string_view key, value;
  bool broken = false;
  while (NextField(&f, &key, &value, &broken)) {
    bool ok = true;
    if (key == "begin") ok = First(&f, 1) && ParseDecimal(value, &y.begin);
    if (key == "end") ok = First(&f, 2) && ParseDecimal(value, &y.end);
    if (!ok) return false;
  }
  if (broken || f.seen != 3) return false;
  if (y.begin == 0 || y.begin > y.end || y.end > file_size) return false;
  *out = y;
  return true;
}

bool ParseYend(std::string_view line, Yend* out) {
  Fields f;
  if (!StartFields(line, "=yend", &f)) return false;
  Yend y;
  std::string_view key, value;
  bool broken = false;
  while (NextField(&f, &key, &value, &broken)) {
    bool ok = true;
    if (key == "size") ok = First(&f, 1) && ParseDecimal(value, &y.size);
    if (key == "part") ok = First(&f, 2) && ParseDecimal(value, &y.part);
    if (key == "pcrc32") ok = First(&f, 4) && ParseHex32(value, &y.pcrc32);
    if (key == "crc32") ok = First(&f, 8) && ParseHex32(value, &y.crc32);
    if (!ok) return false;
  }
  if (broken || ((f.seen & 2) && y.part == 0)) return false;
  y.has_size = f.seen & 1;
  y.has_pcrc32 = f.seen & 4;
  y.has_crc32 = f.seen & 8;
  *out = y;
  return true;
}
