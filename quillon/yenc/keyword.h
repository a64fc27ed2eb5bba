// The keyword lines of a yEnc part: =ybegin, =ypart and =yend.
#ifndef QUILLON_YENC_KEYWORD_H_
#define QUILLON_YENC_KEYWORD_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "yenc/part.h"

struct Ybegin {
  uint64_t part = 0;   // 0 where none is given (a single part)
  uint64_t total = 0;  // 0 where none is given
  uint64_t line = 0;   // 0 where none is given
  uint64_t size = 0;   // of the whole file
  std::string name;
};

struct Ypart {
  uint64_t begin = 0;  // first and last byte in the file, counted from 1
  uint64_t end = 0;
};

struct Yend {
  bool has_size = false;
  uint64_t size = 0;  // of this part's bytes
  uint64_t part = 0;  // 0 where none is given
  bool has_pcrc32 = false;
  uint32_t pcrc32 = 0;
  bool has_crc32 = false;
  uint32_t crc32 = 0;
};

// Each takes one whole line, with or without its line end, and is false for
// a broken one: not that keyword, a field without "=" or given twice, a
// number that is not one or does not fit, a missing size= or name= (begin=
// and end= for =ypart), a part or total of 0, a part above the total, an
// empty name, one longer than kYencNameMax or holding NUL, CR or LF. Unknown
// fields are passed over. name= is the rest of the line, blanks inside
// kept, trailing blanks removed.
bool ParseYbegin(std::string_view line, Ybegin* out);

// part=1 with total=1 or no total=: a single part written as one of
// several. Without a =ypart line after it, it covers the whole file.
bool SinglePartForm(const Ybegin& b);

// Also broken: begin= of 0, begin= above end=, end= above `file_size`.
bool ParseYpart(std::string_view line, uint64_t file_size, Ypart* out);

// pcrc32= and crc32= are hexadecimal, in either case, leading zeros
// optional.
bool ParseYend(std::string_view line, Yend* out);

#endif  // QUILLON_YENC_KEYWORD_H_
