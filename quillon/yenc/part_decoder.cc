#include "yenc/part_decoder.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "checksum/crc32.h"
#include "decoding/page_buffer.h"
#include "yenc/keyword.h"
#include "yenc/ydecode.h"

namespace {

// Decoded bytes are written in pieces of this size, whatever the part's.
constexpr size_t kPiece = 256 * 1024;

bool Before(LineFile* in, int64_t limit) {
  return limit < 0 || TellLine(in) < limit;
}

bool StartsWith(std::string_view line, std::string_view word) {
  return line.substr(0, word.size()) == word;
}

// The next whole line; false at the end of the input or the window. An
// overlong line is read but comes back cut and flagged.
bool ReadWholeLine(LineFile* in, int64_t limit, std::string* line, bool* fits) {
  if (!Before(in, limit)) return false;
  char buf[120];
  if (!ReadLine(in, buf, sizeof buf)) return false;
  line->assign(buf, in->length);
  *fits = ReadRestOfLine(in, line);
  return true;
}

// A range the output can take: within 1..size and within off_t.
bool Placeable(const YencPart& record) {
  // An empty file has the one range 1..0.
  if (record.size == 0) return record.begin == 1 && record.end == 0;
  auto most = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  return record.begin >= 1 && record.begin <= record.end &&
         record.end <= record.size && record.end <= most;
}

struct Sink {
  int fd = -1;
  uint64_t begin = 0;  // 0: nothing may be written
  uint64_t length = 0;
  uint64_t decoded = 0;
  uint32_t crc = 0;
  int error = 0;
};

// Writes what of `n` bytes still falls within the range.
void Emit(Sink* s, const unsigned char* p, size_t n) {
  s->crc = Crc32(s->crc, p, n);
  uint64_t done = std::min(s->decoded, s->length);
  auto take = static_cast<size_t>(std::min<uint64_t>(n, s->length - done));
  s->decoded += n;
  if (s->fd < 0 || s->begin == 0 || s->error != 0) return;
  uint64_t at = s->begin - 1 + done;
  while (take > 0) {
    ssize_t w = pwrite(s->fd, p, take, static_cast<off_t>(at));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      s->error = w < 0 ? errno : EIO;
      return;
    }
    p += w;
    at += static_cast<uint64_t>(w);
    take -= static_cast<size_t>(w);
  }
}

// Decodes the data lines up to a keyword line; true when one was met, with
// its "=" taken and the rest of it next in the input.
bool DecodeData(LineFile* in, int64_t limit, Sink* sink) {
  YencState state;
  PageBuffer buffer = NewPageBuffer(kPiece);
  auto* out = reinterpret_cast<unsigned char*>(buffer.get());
  for (;;) {
    std::string_view text = BufferedInput(in);
    if (limit >= 0) {
      int64_t left = limit - TellLine(in);
      if (left <= 0) return false;
      if (text.size() > static_cast<uint64_t>(left))
        text = text.substr(0, static_cast<size_t>(left));
    }
    if (text.empty()) return false;
    size_t n = std::min(text.size(), kPiece);
    YencDecoded d = DecodeYenc(&state, text.data(), n, out, in->wire);
    Emit(sink, out, d.written);
    TakeInput(in, d.consumed);
    if (d.keyword) return true;
  }
}

void Judge(const Yend& y, const YencPart& record, const Sink& sink,
           YencPartResult* r) {
  r->decoded = sink.decoded;
  r->crc = sink.crc;
  r->has_size = y.has_size;
  r->size = y.size;
  r->has_pcrc32 = y.has_pcrc32;
  r->pcrc32 = y.pcrc32;
  r->has_crc32 = y.has_crc32;
  r->crc32 = y.crc32;
  r->write_errno = sink.error;
  if (!r->has_yend || (y.part != 0 && y.part != uint64_t(record.part)))
    r->failure = YencFailure::kDamaged;
  else if (sink.error != 0)
    r->failure = YencFailure::kWrite;
  else if (sink.begin == 0)
    r->failure = YencFailure::kDamaged;
  else if ((y.has_size && y.size != sink.decoded) ||
           sink.decoded != sink.length)
    r->failure = YencFailure::kSize;
  else if (y.has_pcrc32 && y.pcrc32 != sink.crc)
    r->failure = YencFailure::kCrc;
  else if (!y.has_pcrc32 && y.has_crc32 && y.crc32 != sink.crc &&
           record.begin == 1 && record.end == record.size)
    r->failure = YencFailure::kFileCrc;  // so a good copy can take its place
  else
    r->failure = YencFailure::kNone;
  r->good = r->failure == YencFailure::kNone;
}

// From the first data line to =yend. `stop`, when given, receives the
// keyword line that ended the data where it is not =yend (and not overlong).
YencPartResult DecodeBody(LineFile* in, int64_t limit, const YencPart& record,
                          bool placed, int fd, std::string* stop = nullptr) {
  Sink sink;
  sink.fd = fd;
  if (placed && Placeable(record)) {
    sink.begin = record.begin;
    sink.length = record.end - record.begin + 1;
  }
  YencPartResult r;
  Yend y;
  if (DecodeData(in, limit, &sink)) {
    std::string line = "=";
    char buf[120];
    if (ReadLine(in, buf, sizeof buf)) {
      line.append(buf, in->length);
      bool fits = ReadRestOfLine(in, &line);
      r.has_yend = fits && StartsWith(line, "=yend") && ParseYend(line, &y);
      if (stop && fits && !StartsWith(line, "=yend")) *stop = line;
    }
  }
  Judge(y, record, sink, &r);
  return r;
}

// Whether the =ybegin line (and =ypart, read here for a part of several)
// say what the record says. A single part, also one written as part=1 of 1
// without a =ypart line, covers the file.
bool Agrees(LineFile* in, int64_t limit, std::string_view ybegin,
            const YencPart& record) {
  Ybegin b;
  if (!ParseYbegin(ybegin, &b) || b.name != record.name ||
      b.size != record.size ||
      (b.part == 0 ? 1 : b.part) != uint64_t(record.part))
    return false;
  bool whole =
      b.part == 0 || (SinglePartForm(b) &&
                      !(Before(in, limit) && NextReadStartsWith(in, "=ypart")));
  if (whole) return record.begin == 1 && record.end == record.size;
  std::string line;
  bool fits = false;
  Ypart p;
  return ReadWholeLine(in, limit, &line, &fits) && fits &&
         StartsWith(line, "=ypart ") && ParseYpart(line, b.size, &p) &&
         p.begin == record.begin && p.end == record.end;
}

}  // namespace

void ReportYencFailure(Reporter* reporter, YencFailure failure, int part,
                       const std::string& name) {
  if (failure == YencFailure::kFileCrc) {
    Fail(reporter, "quillon: CRC error in %s\n", name.c_str());
    return;
  }
  const char* what = failure == YencFailure::kSize ? "size" : "CRC";
  Fail(reporter, "quillon: %s error in part %d of %s\n", what, part,
       name.c_str());
}

bool ReadRestOfLine(LineFile* in, std::string* line) {
  bool fits = line->size() <= kYencLineMax;
  if (!fits) line->resize(kYencLineMax);
  bool ended = !line->empty() && line->back() == '\n';
  char buf[120];
  while (!ended && ReadLine(in, buf, sizeof buf)) {
    size_t n = in->length;
    ended = n > 0 && buf[n - 1] == '\n';
    size_t room = kYencLineMax - line->size();
    if (n > room) fits = false;
    line->append(buf, std::min(n, room));
  }
  return fits;
}

YencPartResult DecodeYencPartAfter(LineFile* in, int64_t limit,
                                   std::string_view ybegin,
                                   const YencPart& record, int fd) {
  bool placed = Agrees(in, limit, ybegin, record);
  YencPartResult r = DecodeBody(in, limit, record, placed, fd);
  return r;
}

YencPartResult DecodeYencBody(LineFile* in, int64_t limit,
                              const YencPart& record, int fd,
                              std::string* stop) {
  if (stop) stop->clear();
  return DecodeBody(in, limit, record, true, fd, stop);
}

YencPartResult DecodeYencPart(LineFile* in, int64_t limit,
                              const YencPart& record, int fd) {
  std::string line;
  bool fits = false;
  while (ReadWholeLine(in, limit, &line, &fits)) {
    if (StartsWith(line, "=ybegin "))
      return DecodeYencPartAfter(in, limit, fits ? line : "", record, fd);
  }
  return YencPartResult{};
}
