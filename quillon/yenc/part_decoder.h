// Decoding of one yEnc part, from its =ybegin line to its =yend line, into
// the part's byte range of the output file.
#ifndef QUILLON_YENC_PART_DECODER_H_
#define QUILLON_YENC_PART_DECODER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "decoding/line_file.h"
#include "reporter.h"
#include "yenc/part.h"

// Longest keyword line kept; the rest of a longer one is read and dropped,
// and the line counts as broken.
constexpr size_t kYencLineMax = 64 * 1024;

// Appends the rest of a line whose first piece ReadLine delivered (`line`
// holds that piece) up to and with its newline. False when the line is
// longer than kYencLineMax (`line` then holds its first kYencLineMax bytes).
bool ReadRestOfLine(LineFile* in, std::string* line);

enum class YencFailure {
  kNone,
  kDamaged,  // no =yend, a broken keyword line, or one that disagrees with
             // the record; also a range the record cannot hold
  kSize,     // size= or the decoded count differs from the part's range
  kCrc,      // pcrc32= differs from the CRC of the decoded bytes
  kFileCrc,  // a part of the whole file without pcrc32=: crc32= differs
  kWrite,    // pwrite failed; write_errno says why
};

// Reports a part that has no good copy as a failure: "CRC error in NAME" for
// kFileCrc, else "size error" or "CRC error in part N of NAME".
void ReportYencFailure(Reporter* reporter, YencFailure failure, int part,
                       const std::string& name);

struct YencPartResult {
  uint64_t decoded = 0;  // bytes decoded, also those not written
  uint32_t crc = 0;      // CRC-32 of all of them
  bool has_yend = false;
  bool has_size = false;
  uint64_t size = 0;
  bool has_pcrc32 = false;
  uint32_t pcrc32 = 0;
  bool has_crc32 = false;
  uint32_t crc32 = 0;
  bool good = false;
  YencFailure failure = YencFailure::kDamaged;
  int write_errno = 0;
};

// Decodes the part `record` from `in`, positioned at or before its =ybegin
// line, reading no further than byte `limit` (-1: the end of the input).
// The decoded bytes go to `fd` (none where it is -1) at record.begin - 1 on;
// nothing is ever written outside record.begin..record.end, and a record
// whose range is not within 1..size gets nothing written at all.
YencPartResult DecodeYencPart(LineFile* in, int64_t limit,
                              const YencPart& record, int fd);

// The same for a stream whose =ybegin line (`ybegin`, the whole line) was
// already read: reads =ypart for a part of several, then the data.
YencPartResult DecodeYencPartAfter(LineFile* in, int64_t limit,
                                   std::string_view ybegin,
                                   const YencPart& record, int fd);

// The same for a stream whose keyword lines were read already
// (ReadYencHeader): decodes the data lines that follow and the =yend line.
// A keyword line other than =yend that ends the data is read and, when
// `stop` is given, handed back there whole (a =ybegin line of the next
// part, for one); otherwise `stop` is left empty.
YencPartResult DecodeYencBody(LineFile* in, int64_t limit,
                              const YencPart& record, int fd,
                              std::string* stop);

#endif  // QUILLON_YENC_PART_DECODER_H_
