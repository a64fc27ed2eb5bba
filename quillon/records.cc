#include <algorithm>
#include <cstring>

#include "quillon.h"

const char* const MARKER = "*";

namespace {

// Blocks grow to so many records, and hold so many text bytes. A text
// longer than a quarter block gets a block of its own, so that little of a
// block is ever left unused.
constexpr size_t kFirstSegments = 16;
constexpr size_t kMostSegments = 4096;
constexpr size_t kTextBlock = 64 * 1024;

char* Keep(Records* records, size_t size) {
  if (size > kTextBlock / 4) {
    // The current block stays the one the next texts go to.
    records->text_blocks.push_back(
        std::make_unique_for_overwrite<char[]>(size));
    return records->text_blocks.back().get();
  }
  if (records->text_left < size) {
    records->text_blocks.push_back(
        std::make_unique_for_overwrite<char[]>(kTextBlock));
    records->text_free = records->text_blocks.back().get();
    records->text_left = kTextBlock;
  }
  char* text = records->text_free;
  records->text_free += size;
  records->text_left -= size;
  return text;
}

// The number of records of block `n`: a run of a few files makes a few.
size_t SegmentBlockSize(size_t n) {
  return n >= 8 ? kMostSegments : std::min(kMostSegments, kFirstSegments << n);
}

}  // namespace

Segment* NewSegment(Records* records) {
  if (records->segments_left == 0) {
    size_t size = SegmentBlockSize(records->segment_blocks.size());
    records->segment_blocks.push_back(std::make_unique<Segment[]>(size));
    records->segments_left = size;
  }
  size_t size = SegmentBlockSize(records->segment_blocks.size() - 1);
  Segment* block = records->segment_blocks.back().get();
  return &block[size - records->segments_left--];
}

char* NewBeginName(Records* records, const char* name) {
  size_t n = std::strlen(name);
  // Room for MARKER, which overwrites the name once its file is started,
  // and the counter byte behind it.
  size_t room = std::max(n, std::strlen(MARKER)) + 2;
  char* block = Keep(records, room);
  std::memset(block, 0, room);
  std::memcpy(block, name, n + 1);
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
