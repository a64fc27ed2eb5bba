// The Segment record, the store that owns the records of a run, and the
// option settings of a run.
#ifndef QUILLON_QUILLON_H_
#define QUILLON_QUILLON_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct LogEntry;

// Size of the line buffer: one read takes at most kLineSize - 1 characters.
constexpr int kLineSize = 120;

// The encodings a segment may carry. Each one beyond the uuencoded system
// keeps the records of its segments in a store of its own, and has a folder
// of its own; decoding/encoding.h says what such an encoding provides.
enum class Encoding : uint8_t { kUuencoded, kYenc, kMime };

// What a segment carries: uuencoded text, or a part of another encoding
// whose record is number `record` of that encoding's store.
struct SegmentEncoding {
  Encoding kind = Encoding::kUuencoded;
  uint32_t record = 0;
};

// One segment: one article, or one input file in plain mode.
// Records live as long as the run's Records; the catalogue links them by
// `next`. A run holds one per article: the fields are laid out without gaps.
struct Segment {
  int poster = 0;    // poster id from the PosterPool
  int part = -1;     // part number, -1 unknown
  int group = -1;    // -1 unassigned, 0 suppressed, n output file group
  int total = -1;    // announced number of parts, -1 unknown
  int32_t time = 0;  // posting time value, only ever compared
  uint8_t mark = 0;  // catalogue: relabel by begin name; decode: processed
  SegmentEncoding encoding;
  int64_t offset = 0;            // where the article's header block starts
  char* begin = nullptr;         // shared begin name, see NewBeginName
  const char* path = nullptr;    // the file argument itself, never copied
  char* caption = nullptr;       // upper-cased subject text
  LogEntry* logentry = nullptr;  // the article file's log entry, or null
  Segment* next = nullptr;
};

// The segments and texts of one run, owned by the run: they live as long
// as this record, and everything made from it points into it. Both are
// kept in blocks that never move and are freed only with the run: a run
// of a million articles holds a million of each, and one allocation apiece
// would cost more than many of them.
struct Records {
  Records() = default;
  Records(const Records&) = delete;
  Records& operator=(const Records&) = delete;

  std::vector<std::unique_ptr<Segment[]>> segment_blocks;
  size_t segments_left = 0;  // unused records of the last block
  std::vector<std::unique_ptr<char[]>> text_blocks;
  char* text_free = nullptr;  // the unused end of the current text block
  size_t text_left = 0;
  // The use counts of begin name blocks whose counter byte is full.
  std::unordered_map<const char*, uint64_t> wide_counts;
};

// A fresh record of the run.
Segment* NewSegment(Records* records);

// A begin name block shared by all records of that name: the text, its
// terminator and one spare byte behind it, the DOS use counter (0).
char* NewBeginName(Records* records, const char* name);

// The use count of a begin name block kept beside it once its counter byte
// is full, so that the count never wraps.
uint64_t& WideUseCount(Records* records, const char* begin);

// A copy of `s` that lives as long as the records (captions).
char* NewString(Records* records, const char* s);

// The option settings of a run, made by the option loop only and read
// through a const reference by everything else.
struct Options {
  bool DEL = false;
  bool QUIET = false;  // also set on the run's Reporter, which acts on it
  const char* DESTDIR = nullptr;  // the command-line word itself
  int FMODE = 0;
  bool PLAIN = false;
  bool DIR = false;
  bool EXT = false;
  const char* ERRFILE = nullptr;  // the command-line word itself
  bool DOS = false;
};

// Begin names of files already started are overwritten with this text.
extern const char* const MARKER;

#endif  // QUILLON_QUILLON_H_
