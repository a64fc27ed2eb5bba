// The Segment record and the process-wide option globals of quillon.
#ifndef QUILLON_QUILLON_H_
#define QUILLON_QUILLON_H_

#include <cstdint>
#include <string>

struct LogEntry;

// Size of the line buffer: one read takes at most kLineSize - 1 characters.
constexpr int kLineSize = 120;

// The encodings a segment may carry. Each one beyond the uuencoded system
// keeps the records of its segments in a store of its own, and has a folder
// of its own; decoding/encoding.h says what such an encoding provides.
enum class Encoding : uint8_t { kUuencoded, kYenc };

// What a segment carries: uuencoded text, or a part of another encoding
// whose record is number `record` of that encoding's store.
struct SegmentEncoding {
  Encoding kind = Encoding::kUuencoded;
  uint32_t record = 0;
};

// One segment: one article, or one input file in plain mode.
// Records live until the process ends; the catalogue links them by `next`.
struct Segment {
  int poster = 0;         // poster id from the PosterPool
  int part = -1;          // part number, -1 unknown
  int mark = 0;           // catalogue: relabel by begin name; decode: processed
  int group = -1;         // -1 unassigned, 0 suppressed, n output file group
  int total = -1;         // announced number of parts, -1 unknown
  int32_t time = 0;       // posting time value, only ever compared
  int64_t offset = 0;     // where the article's header block starts
  char* begin = nullptr;  // shared begin name, see NewBeginName
  const char* path = nullptr;    // the file argument itself, never copied
  char* caption = nullptr;       // upper-cased subject text
  LogEntry* logentry = nullptr;  // the article file's log entry, or null
  SegmentEncoding encoding;
  Segment* next = nullptr;
};

// A fresh record, owned by a process-wide store until exit.
Segment* NewSegment();

// A begin name block shared by all records of that name: the text, its
// terminator and one spare byte behind it, the DOS use counter (0).
char* NewBeginName(const char* name);

// The use count of a begin name block kept beside it once its counter byte
// is full, so that the count never wraps.
uint64_t& WideUseCount(const char* begin);

// A heap copy of `s` that lives until exit (captions).
char* NewString(const char* s);

// Option settings, written by the option loop only.
extern bool DEL;
extern bool QUIET;
extern const char* DESTDIR;  // the command-line word itself
extern int FMODE;
extern bool PLAIN;
extern bool DIR;
extern bool EXT;
extern const char* ERRFILE;  // the command-line word itself
extern bool DOS;

// The processed-file log's state.
extern bool LOGUPDATE;
extern const char* LOGFILE;

// The current directory at start; empty when it cannot be read.
extern std::string CWD;

// Begin names of files already started are overwritten with this text.
extern const char* const MARKER;

#endif  // QUILLON_QUILLON_H_
