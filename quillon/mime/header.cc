#include "mime/header.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <numeric>

#include "text.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Lower(char c) { return IsUpper(c) ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// --- The header block -------------------------------------------------

// A field name: printable ASCII, no blank (the colon is not in it).
bool IsFieldName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name)
    if (c <= ' ' || c > '~') return false;
  return true;
}

// Drops the last field: a line of it did not fit.
void DropLastField(MimeHeader* h) {
  h->size -= h->fields.back().raw.size();
  h->fields.pop_back();
  h->folding = false;
  h->dropped = true;
}

// Takes the complete line in h->line; true where it is the empty line.
bool TakeLine(MimeHeader* h) {
  std::string_view line = h->line;
  std::string_view content = line;
  if (!content.empty() && content.back() == '\n') content.remove_suffix(1);
  if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
  if (content.empty()) return true;
  bool fits = h->size + line.size() <= kMimeHeaderMax;
  if (IsBlank(content.front())) {
    if (h->folding) {
      if (fits) {
        MimeField& f = h->fields.back();
        f.raw.append(line);
        f.value.append(content);
        h->size += line.size();
      } else {
        DropLastField(h);
      }
    }
  } else {
    size_t colon = content.find(':');
    std::string_view name = content.substr(0, colon);
    while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);
    h->folding = false;
    if (colon != content.npos && IsFieldName(name)) {
      if (fits) {
        std::string_view value = content.substr(colon + 1);
        while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
        h->fields.push_back(
            {std::string(name), std::string(value), std::string(line)});
        h->size += line.size();
        h->folding = true;
      } else {
        h->dropped = true;
      }
    }
  }
  h->line.clear();
  return false;
}

void Finish(MimeHeader* h) {
  h->ended = true;
  h->skipping = false;
  h->folding = false;
  std::string().swap(h->line);
}

// --- Structured values ------------------------------------------------

// A character of a token (RFC 2045): printable ASCII but the specials.
bool IsTokenChar(char c) {
  return c > ' ' && c <= '~' &&
         std::string_view("()<>@,;:\\\"/[]?=").find(c) ==
             std::string_view::npos;
}

// Skips blanks and comments (nested, with quoted pairs; an unterminated
// one runs to the end).
size_t SkipCfws(std::string_view s, size_t at) {
  while (at < s.size()) {
    if (IsSpace(s[at])) {
      ++at;
    } else if (s[at] == '(') {
      size_t depth = 0;
      for (; at < s.size(); ++at) {
        if (s[at] == '\\') {
          ++at;
        } else if (s[at] == '(') {
          ++depth;
        } else if (s[at] == ')' && --depth == 0) {
          ++at;
          break;
        }
      }
      at = std::min(at, s.size());
    } else {
      break;
    }
  }
  return at;
}

size_t SkipToken(std::string_view s, size_t at) {
  while (at < s.size() && IsTokenChar(s[at])) ++at;
  return at;
}

// Whether a parameter ("name=") begins at `at`.
bool AssignmentAt(std::string_view s, size_t at) {
  size_t end = SkipToken(s, at);
  if (end == at) return false;
  while (end < s.size() && IsBlank(s[end])) ++end;
  return end < s.size() && s[end] == '=';
}

// A quoted string whose opening quote is at `*at`; leaves `*at` behind the
// closing one.
std::string QuotedString(std::string_view s, size_t* at) {
  std::string out;
  size_t i = *at + 1;
  for (; i < s.size() && s[i] != '"'; ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) ++i;
    out.push_back(s[i]);
  }
  *at = std::min(i + 1, s.size());
  return out;
}

// An unquoted value at `*at`: up to ";" or the next parameter, trimmed,
// less a trailing comment after a token.
std::string_view UnquotedValue(std::string_view s, size_t* at) {
  size_t start = *at, i = start;
  while (i < s.size() && s[i] != ';') {
    if (IsSpace(s[i])) {
      size_t next = i;
      while (next < s.size() && IsSpace(s[next])) ++next;
      if (AssignmentAt(s, next)) break;
      i = next;
    } else {
      ++i;
    }
  }
  *at = i;
  std::string_view value = Trim(s.substr(start, i - start));
  size_t token = SkipToken(value, 0);
  if (token > 0 && SkipCfws(value, token) == value.size())
    value = value.substr(0, token);
  return value;
}

// A parameter as written, before RFC 2231 sections are joined.
struct RawParameter {
  std::string name;  // lower case, without the section and marks
  int section = -1;  // -1: not a section
  bool extended = false;
  std::string value;
};

// The section number of "name*12" or "name*12*": decimal, at most INT_MAX.
bool SectionNumber(std::string_view digits, int* number) {
  if (digits.empty()) return false;
  int64_t v = 0;
  for (char c : digits) {
    if (!IsDigit(c)) return false;
    v = v * 10 + (c - '0');
    if (v > INT_MAX) return false;
  }
  *number = static_cast<int>(v);
  return true;
}

RawParameter MakeRaw(std::string_view attribute, std::string value) {
  RawParameter p;
  p.value = std::move(value);
  std::string name = LowerCase(attribute);
  size_t star = name.find('*');
  if (star != name.npos && star > 0) {
    std::string_view marks = std::string_view(name).substr(star + 1);
    int number = 0;
    if (marks.empty()) {
      p.extended = true;
    } else {
      bool extended = marks.back() == '*';
      if (extended) marks.remove_suffix(1);
      if (SectionNumber(marks, &number)) {
        p.section = number;
        p.extended = extended;
      } else {
        star = name.npos;  // a name with stars of its own
      }
    }
  } else {
    star = name.npos;
  }
  p.name = name.substr(0, star);
  return p;
}

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  c = Lower(c);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// "%XX" undone; a "%" without two hex digits stays.
std::string PercentDecoded(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    int high, low;
    if (s[i] == '%' && i + 2 < s.size() && (high = HexValue(s[i + 1])) >= 0 &&
        (low = HexValue(s[i + 2])) >= 0) {
      out.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// The text after "charset'language'", where both quotes are there.
std::string_view WithoutCharset(std::string_view s) {
  size_t first = s.find('\'');
  if (first == s.npos) return s;
  size_t second = s.find('\'', first + 1);
  return second == s.npos ? s : s.substr(second + 1);
}

// Joins the forms of each name: of the RFC 2231 ones "name*" first, else
// the sections in number order (the first of each number, gaps skipped;
// the charset of section 0 when it is extended), else the first plain one.
// Names keep the order in which they first appear.
std::vector<MimeParameter> JoinParameters(std::vector<RawParameter> raw) {
  auto rank = [](const RawParameter& p) {
    return p.section >= 0 ? 1 : p.extended ? 0 : 2;
  };
  std::vector<size_t> order(raw.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const RawParameter &x = raw[a], &y = raw[b];
    if (x.name != y.name) return x.name < y.name;
    if (rank(x) != rank(y)) return rank(x) < rank(y);
    return x.section < y.section;
  });
  std::vector<std::pair<size_t, MimeParameter>> joined;  // first position
  for (size_t g = 0; g < order.size();) {
    size_t end = g, first = order[g];
    while (end < order.size() && raw[order[end]].name == raw[order[g]].name)
      first = std::min(first, order[end++]);
    const RawParameter& head = raw[order[g]];
    MimeParameter p;
    p.name = head.name;
    p.extended = head.extended || head.section >= 0;
    if (rank(head) == 0) {
      p.value = PercentDecoded(WithoutCharset(head.value));
    } else if (rank(head) == 1) {
      int last = -1;
      for (size_t i = g; i < end && rank(raw[order[i]]) == 1; ++i) {
        const RawParameter& s = raw[order[i]];
        if (s.section == last) continue;  // a duplicate section
        last = s.section;
        if (!s.extended) {
          p.value += s.value;
        } else if (s.section == 0) {
          p.value += PercentDecoded(WithoutCharset(s.value));
        } else {
          p.value += PercentDecoded(s.value);
        }
      }
    } else {
      p.value = head.value;
    }
    joined.emplace_back(first, std::move(p));
    g = end;
  }
  std::sort(joined.begin(), joined.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<MimeParameter> out;
  out.reserve(joined.size());
  for (auto& j : joined) out.push_back(std::move(j.second));
  return out;
}

// The parameters from `at` on.
std::vector<MimeParameter> ParseParameters(std::string_view s, size_t at) {
  std::vector<RawParameter> raw;
  while (at < s.size()) {
    at = SkipCfws(s, at);
    if (at == s.size()) break;
    if (s[at] == ';') {
      ++at;
      continue;
    }
    size_t end = SkipToken(s, at);
    if (end == at) {  // a stray special
      ++at;
      continue;
    }
    std::string_view attribute = s.substr(at, end - at);
    at = SkipCfws(s, end);
    if (at == s.size() || s[at] != '=') continue;  // a word without a value
    at = SkipCfws(s, at + 1);
    std::string value;
    if (at < s.size() && s[at] == '"')
      value = QuotedString(s, &at);
    else
      value = std::string(UnquotedValue(s, &at));
    raw.push_back(MakeRaw(attribute, std::move(value)));
  }
  return JoinParameters(std::move(raw));
}

MimeContent ParseContent(std::string_view s, bool with_subtype) {
  MimeContent c;
  size_t at = SkipCfws(s, 0);
  size_t end = SkipToken(s, at);
  c.type = LowerCase(s.substr(at, end - at));
  at = end;
  if (with_subtype) {
    size_t slash = SkipCfws(s, at);
    if (slash < s.size() && s[slash] == '/') {
      at = SkipCfws(s, slash + 1);
      end = SkipToken(s, at);
      c.subtype = LowerCase(s.substr(at, end - at));
      at = end;
    }
  }
  c.parameters = ParseParameters(s, at);
  return c;
}

// --- Encoded words ----------------------------------------------------

int Base64Value(char c) {
  if (IsUpper(c)) return c - 'A';
  if (IsLower(c)) return c - 'a' + 26;
  if (IsDigit(c)) return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Base64 text of an encoded word: padding optional, nothing after it, no
// partial byte beyond what 2 or 3 characters of a quantum give.
bool DecodeB(std::string_view text, std::string* out) {
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  if (text.size() % 4 == 1) return false;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    int v = Base64Value(c);
    if (v < 0) return false;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out->push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return true;
}

// Q text: "_" a space, "=XX" a byte; a "=" without two hex digits stays.
void DecodeQ(std::string_view text, std::string* out) {
  for (size_t i = 0; i < text.size(); ++i) {
    int high, low;
    if (text[i] == '_') {
      out->push_back(' ');
    } else if (text[i] == '=' && i + 2 < text.size() &&
               (high = HexValue(text[i + 1])) >= 0 &&
               (low = HexValue(text[i + 2])) >= 0) {
      out->push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else {
      out->push_back(text[i]);
    }
  }
}

// The encoded word at the start of `s` ("=?" there): its length, and its
// bytes added to `out`; 0 where none decodes there.
size_t DecodeWord(std::string_view s, std::string* out) {
  size_t charset_end = 2;
  while (charset_end < s.size() && s[charset_end] != '?' &&
         !IsSpace(s[charset_end]))
    ++charset_end;
  if (charset_end == 2 || charset_end + 2 >= s.size() ||
      s[charset_end] != '?' || s[charset_end + 2] != '?')
    return 0;
  char kind = Lower(s[charset_end + 1]);
  size_t text = charset_end + 3, end = text;
  while (end < s.size() && s[end] != '?' && !IsSpace(s[end])) ++end;
  if (end + 1 >= s.size() || s[end] != '?' || s[end + 1] != '=') return 0;
  std::string_view encoded = s.substr(text, end - text);
  size_t before = out->size();
  if (kind == 'q') {
    DecodeQ(encoded, out);
  } else if (kind != 'b' || !DecodeB(encoded, out)) {
    out->resize(before);
    return 0;
  }
  return end + 2;
}

// An unsigned decimal from 1 to INT_MAX; -1 otherwise.
int PositiveNumber(const std::string* text) {
  int n = 0;
  if (text == nullptr || !SectionNumber(*text, &n) || n < 1) return -1;
  return n;
}

}  // namespace

size_t AddHeaderText(MimeHeader* h, std::string_view text) {
  if (h->ended) return 0;
  size_t taken = 0;
  while (taken < text.size()) {
    std::string_view rest = text.substr(taken);
    size_t lf = rest.find('\n');
    std::string_view piece =
        rest.substr(0, lf == rest.npos ? rest.size() : lf + 1);
    taken += piece.size();
    if (!h->skipping && h->line.size() + piece.size() > kMimeHeaderMax) {
      // A line longer than any header may be: dropped, and with it the
      // field it continues.
      char first = h->line.empty() ? piece.front() : h->line.front();
      if (IsBlank(first) && h->folding) DropLastField(h);
      h->folding = false;
      h->dropped = true;
      h->skipping = true;
      h->line.clear();
    }
    if (!h->skipping) h->line.append(piece);
    if (lf == rest.npos) break;
    if (h->skipping) {
      h->skipping = false;
    } else if (TakeLine(h)) {
      Finish(h);
      break;
    }
  }
  return taken;
}

void EndHeader(MimeHeader* h) {
  if (h->ended) return;
  if (!h->skipping && !h->line.empty()) TakeLine(h);
  Finish(h);
}

const MimeField* FindMimeField(const MimeHeader& h, std::string_view name) {
  for (const MimeField& f : h.fields)
    if (SameName(f.name, name)) return &f;
  return nullptr;
}

std::string_view MimeFieldValue(const MimeHeader& h, std::string_view name) {
  const MimeField* f = FindMimeField(h, name);
  return f ? Trim(f->value) : std::string_view();
}

MimeContent ParseContentType(std::string_view value) {
  return ParseContent(value, true);
}

MimeContent ParseContentDisposition(std::string_view value) {
  return ParseContent(value, false);
}

const std::string* FindMimeParameter(const MimeContent& c,
                                     std::string_view name) {
  for (const MimeParameter& p : c.parameters)
    if (p.name == name) return &p.value;
  return nullptr;
}

std::string DecodeEncodedWords(std::string_view s) {
  std::string out;
  bool after_word = false;
  size_t word_end = 0;  // in `out`, behind the last encoded word
  for (size_t i = 0; i < s.size();) {
    if (s[i] == '=' && i + 1 < s.size() && s[i + 1] == '?') {
      std::string decoded;
      size_t length = DecodeWord(s.substr(i), &decoded);
      if (length > 0) {
        if (after_word) out.resize(word_end);  // blanks between two words
        out += decoded;
        word_end = out.size();
        after_word = true;
        i += length;
        continue;
      }
    }
    if (!IsSpace(s[i])) after_word = false;
    out.push_back(s[i++]);
  }
  return out;
}

std::string MimeFileName(const MimeContent& disposition,
                         const MimeContent& type) {
  for (const auto& [content, name] :
       {std::pair{&disposition, "filename"}, std::pair{&type, "name"}}) {
    for (const MimeParameter& p : content->parameters) {
      if (p.name != name || p.value.empty()) continue;
      return p.extended ? p.value : DecodeEncodedWords(p.value);
    }
  }
  return std::string();
}

MimeTransferEncoding ParseTransferEncoding(std::string_view value) {
  MimeTransferEncoding t;
  t.text = std::string(Trim(value));
  size_t at = SkipCfws(value, 0);
  std::string token;
  if (at < value.size() && value[at] == '"') {
    token = LowerCase(Trim(QuotedString(value, &at)));
  } else {
    token = LowerCase(value.substr(at, SkipToken(value, at) - at));
  }
  static constexpr struct {
    const char* name;
    MimeEncoding encoding;
  } kNames[] = {
      {"7bit", MimeEncoding::kSevenBit},
      {"8bit", MimeEncoding::kEightBit},
      {"binary", MimeEncoding::kBinary},
      {"base64", MimeEncoding::kBase64},
      {"quoted-printable", MimeEncoding::kQuotedPrintable},
      {"x-uuencode", MimeEncoding::kUuencode},
      {"uuencode", MimeEncoding::kUuencode},
      {"x-uue", MimeEncoding::kUuencode},
      {"uue", MimeEncoding::kUuencode},
  };
  if (token.empty() && at == value.size()) return t;  // empty: 7bit
  t.encoding = MimeEncoding::kUnknown;
  for (const auto& n : kNames)
    if (token == n.name) t.encoding = n.encoding;
  return t;
}

bool IsMimeArticle(const MimeHeader& h) {
  if (const MimeField* f = FindMimeField(h, "Content-Type")) {
    MimeContent type = ParseContentType(f->value);
    if (type.type == "multipart") {
      const std::string* boundary = FindMimeParameter(type, "boundary");
      if (boundary && !boundary->empty()) return true;
    }
    if (type.type == "message" &&
        (type.subtype == "partial" || type.subtype == "rfc822"))
      return true;
  }
  MimeEncoding e =
      ParseTransferEncoding(MimeFieldValue(h, "Content-Transfer-Encoding"))
          .encoding;
  return e == MimeEncoding::kBase64 || e == MimeEncoding::kQuotedPrintable;
}

bool ParseMimePartial(const MimeContent& type, MimePartial* partial) {
  if (type.type != "message" || type.subtype != "partial") return false;
  const std::string* id = FindMimeParameter(type, "id");
  int number = PositiveNumber(FindMimeParameter(type, "number"));
  if (id == nullptr || id->empty() || number < 1) return false;
  partial->id = *id;
  partial->number = number;
  partial->total = PositiveNumber(FindMimeParameter(type, "total"));
  return true;
}
