#include <cstring>

#include "quillon.h"

const char* const MARKER = "*";

namespace {

char* Keep(Records* records, size_t size) {
  records->strings.push_back(std::make_unique<char[]>(size));
  return records->strings.back().get();
}

}  // namespace

Segment* NewSegment(Records* records) {
  return &records->segments.emplace_back();
}

char* NewBeginName(Records* records, const char* name) {
  size_t n = std::strlen(name);
  char* block = Keep(records, n + 2);
  std::memcpy(block, name, n + 1);
  block[n + 1] = 0;
  return block;
}

uint64_t& WideUseCount(Records* records, const char* begin) {
  return records->wide_counts[begin];
}

char* NewString(Records* records, const char* s) {
  size_t n = std::strlen(s);
  char* copy = Keep(records, n + 1);
  std::memcpy(copy, s, n + 1);
  return copy;
}
