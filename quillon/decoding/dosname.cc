#include "decoding/dosname.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// Widths of the start of the base name, its last two characters, and the
// extension with its dot.
constexpr int kFieldWidth[3] = {6, 2, 4};

// The use counter is the byte behind a begin string's terminator. It counts
// 0 .. 254 there; from 255 on the byte stays 255 and the count goes on
// beside the block, so a count never wraps and never repeats a number.
constexpr unsigned char kWide = 255;

unsigned char* CounterByte(char* s) {
  return reinterpret_cast<unsigned char*>(s + std::strlen(s) + 1);
}

uint64_t UseCount(Records* records, char* s) {
  unsigned char b = *CounterByte(s);
  return b == kWide ? WideUseCount(records, s) : b;
}

void RaiseUseCount(Records* records, char* s) {
  unsigned char* b = CounterByte(s);
  if (*b < kWide - 1) {
    ++*b;
  } else if (*b == kWide - 1) {
    *b = kWide;
    WideUseCount(records, s) = kWide;
  } else if (WideUseCount(records, s) < UINT64_MAX) {
    ++WideUseCount(records, s);
  }
}

// `name` with `count` put behind the first six characters of its base.
void Number(char* name, uint64_t count) {
  std::string base(name);
  std::string ext;
  if (size_t dot = base.find('.'); dot != std::string::npos) {
    ext = base.substr(dot + 1);
    base.resize(dot);
  }
  if (base.size() > 6) base.resize(6);
  // A DOS name holds at most 12 characters, so this always fits.
  std::snprintf(name, kLineSize, "%s%02" PRIu64 ".%s", base.c_str(), count,
                ext.c_str());
}

bool Started(const char* begin) { return std::strcmp(begin, MARKER) == 0; }

void DropString(NameIndex* index, const char* begin) {
  auto it = index->holders.find(begin);
  if (it == index->holders.end()) return;
  std::set<size_t>& live = index->by_text[*it->second.text];
  for (size_t pos : it->second.positions) live.erase(pos);
  index->holders.erase(it);
}

// The walk of checkname over the list, visiting only the segments whose
// begin text equals the name as it stands at each step.
void IndexedCheckname(NameIndex* index, char* name) {
  size_t from = 0;
  for (;;) {
    auto bucket = index->by_text.find(name);
    if (bucket == index->by_text.end()) return;
    auto next = bucket->second.lower_bound(from);
    if (next == bucket->second.end()) return;
    size_t pos = *next;
    char* begin = index->at[pos]->begin;
    if (Started(begin)) {
      DropString(index, begin);
      continue;
    }
    if (uint64_t count = UseCount(index->records, begin)) Number(name, count);
    RaiseUseCount(index->records, begin);
    from = pos + 1;
  }
}

}  // namespace

std::string NumberedDosName(const std::string& name, uint64_t count) {
  std::string base = name, ext;
  if (size_t dot = base.find('.'); dot != std::string::npos) {
    ext = base.substr(dot + 1, 3);
    base.resize(dot);
  }
  char digits[24];
  std::snprintf(digits, sizeof digits, "%02" PRIu64, count);
  size_t width = std::strlen(digits);
  size_t keep = width >= 8 ? 0 : std::min<size_t>(6, 8 - width);
  if (base.size() > keep) base.resize(keep);
  return base + std::string(digits).substr(0, 8) + "." + ext;
}

// For the tests (test_support.h).
uint64_t DosUseCount(Records* records, char* begin) {
  return UseCount(records, begin);
}
void RaiseDosUseCount(Records* records, char* begin) {
  RaiseUseCount(records, begin);
}
void NumberDosName(char* name, uint64_t count) { Number(name, count); }

void BeginNameIndex(NameIndex* index, Records* records, Segment* list) {
  *index = NameIndex();
  if (!list) return;
  index->records = records;
  index->list = list;
  for (Segment* s = list; s; s = s->next) {
    size_t pos = index->at.size();
    index->at.push_back(s);
    if (!s->begin || Started(s->begin)) continue;
    auto bucket = index->by_text.try_emplace(s->begin).first;
    bucket->second.insert(bucket->second.end(), pos);
    auto& holders = index->holders[s->begin];
    holders.text = &bucket->first;
    holders.positions.push_back(pos);
  }
}

void EndNameIndex(NameIndex* index) { *index = NameIndex(); }

void dosname(char* name) {
  if (!name) return;
  size_t len = std::strlen(name);
  int field = 0;
  int seen = 0;
  size_t out = 0;
  for (size_t i = 0; i < len; ++i) {
    char ch = name[i];
    bool dot_ahead = field == 0 && i + 2 < len && name[i + 2] == '.';
    if (field <= 1 && (dot_ahead || ch == '.')) {
      ++field;
      seen = 0;
    }
    if (seen < kFieldWidth[field]) name[out++] = ch;
    ++seen;
  }
  name[out] = '\0';
  name[out + 1] = '\0';
}

void checkname(NameIndex* index, Segment* list, char* name) {
  dosname(name);
  if (list && index->list == list) IndexedCheckname(index, name);
}
