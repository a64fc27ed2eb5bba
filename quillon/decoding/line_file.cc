#include "decoding/line_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "quillon.h"

// Article files past 4 GiB: every offset goes through off_t.
static_assert(sizeof(off_t) >= 8, "64-bit file offsets are required");

namespace {

// Reads of 256 KB keep system calls rare on big files, and take a whole
// article of a spool in one.
constexpr size_t kBufferSize = 256 * 1024;
// A segment further into a file (a message of an mbox or a batch) is most
// often short: its first read is smaller, lest a pass over a million
// messages copy 256 KB for each.
constexpr size_t kSegmentRead = 16 * 1024;

ssize_t ReadAt(LineFile* f, char* to, size_t n, int64_t at) {
  ssize_t got;
  do {
    got = f->positioned ? pread(f->fd, to, n, static_cast<off_t>(at))
                        : read(f->fd, to, n);
  } while (got < 0 && errno == EINTR);
  return got;
}

// Reads more input behind the unread bytes; false at the end of the input
// (or on a read error, which ends the input as it would for stdio).
bool Refill(LineFile* f) {
  // The end of input stands until a seek, as for stdio: a terminal is not
  // asked for a second end of input.
  if (f->eof) return false;
  if (f->begin == f->end) f->begin = f->end = 0;
  if (f->end == f->capacity) {
    std::memmove(f->buffer.get(), f->buffer.get() + f->begin,
                 f->end - f->begin);
    f->end -= f->begin;
    f->begin = 0;
  }
  ssize_t n = 0;
  if (!f->end_known || f->read_at < f->size)
    n = ReadAt(f, f->buffer.get() + f->end, f->capacity - f->end, f->read_at);
  if (n <= 0) {
    f->eof = true;
    return false;
  }
  f->end += static_cast<size_t>(n);
  f->read_at += n;
  return true;
}

// The next byte without taking it; -1 at the end of the input.
int Peek(LineFile* f) {
  if (f->begin == f->end && !Refill(f)) return -1;
  return static_cast<unsigned char>(f->buffer[f->begin]);
}

// fgets: at most size - 1 bytes, up to and with a newline. A line may hold
// NUL bytes, so the position counts bytes taken, not the string's length.
bool GetLine(LineFile* f, char* buf, int size) {
  size_t n = 0;
  const size_t room = static_cast<size_t>(size - 1);
  while (n < room) {
    if (f->begin == f->end && !Refill(f)) break;
    size_t avail = f->end - f->begin;
    size_t want = room - n < avail ? room - n : avail;
    const char* from = f->buffer.get() + f->begin;
    const void* nl = std::memchr(from, '\n', want);
    size_t take =
        nl ? static_cast<size_t>(static_cast<const char*>(nl) - from) + 1
           : want;
    std::memcpy(buf + n, from, take);
    n += take;
    f->begin += take;
    if (nl) break;
  }
  f->position += static_cast<int64_t>(n);
  f->length = n;
  if (n == 0) return false;
  buf[n] = '\0';
  f->line_start = buf[n - 1] == '\n';
  return true;
}

void Skip(LineFile* f) {
  ++f->begin;
  ++f->position;
}

// A wire-format line that begins with two dots is read without the first.
// The dot is dropped before the read, so the line splits where it would in
// the unstuffed text.
bool ReadWireLine(LineFile* f, char* buf, int size) {
  if (Peek(f) != '.') return GetLine(f, buf, size);
  Skip(f);
  if (Peek(f) == '.') return GetLine(f, buf, size);
  // A line with a single leading dot, such as the final ".".
  buf[0] = '.';
  buf[1] = '\0';
  f->line_start = false;
  f->length = 0;
  if (size > 2) GetLine(f, buf + 1, size - 1);
  f->length += 1;
  return true;
}

bool IsWireTail(const char* tail) {
  return std::memcmp(tail, "\r\n.\r\n", 5) == 0;
}

// Tells the format from the file's last five bytes: from the buffer when it
// holds the end of the file, else read from the file.
bool EndsInWireFormat(LineFile* f) {
  if (f->size < 5) return false;
  int64_t start = f->position - static_cast<int64_t>(f->begin);
  // Compared in 64 bits: a size of 4 GiB must not pass for 0.
  if (start <= f->size - 5 && start + static_cast<int64_t>(f->end) == f->size)
    return IsWireTail(f->buffer.get() + (f->size - 5 - start));
  char tail[5];
  return pread(f->fd, tail, 5, static_cast<off_t>(f->size - 5)) == 5 &&
         IsWireTail(tail);
}

void Reset(LineFile* f, int fd, bool owned) {
  f->fd = fd;
  f->owned = owned;
  if (f->capacity != kBufferSize) {
    f->buffer = NewPageBuffer(kBufferSize);
    f->capacity = kBufferSize;
  }
  f->begin = f->end = 0;
  f->eof = false;
  f->line_start = true;
  f->position = 0;
  f->length = 0;
  f->size = -1;
  f->wire = false;
  f->positioned = false;
  f->read_at = 0;
  f->end_known = false;
}

}  // namespace

bool OpenLineFile(LineFile* f, const char* path) {
  return OpenLineFileAt(f, path, 0);
}

// An article is read whole by its first read, which alone tells its size
// (a read that does not fill the buffer has met the end of the file): no
// fstat. Only a file bigger than that read, or an empty one, is asked.
bool OpenLineFileAt(LineFile* f, const char* path, int64_t offset) {
  int fd = open(path, O_RDONLY);
  if (fd < 0) return false;
  Reset(f, fd, true);
  if (offset < 0) offset = 0;
  f->positioned = true;
  size_t want = offset > 0 ? kSegmentRead : f->capacity;
  ssize_t n = ReadAt(f, f->buffer.get(), want, offset);
  if (n < 0 && errno == EISDIR) {
    CloseLineFile(f);
    errno = EISDIR;
    return false;
  }
  if (n < 0) {
    // A pipe or a terminal: read as a stream from where it stands.
    f->positioned = false;
    return true;
  }
  f->position = offset;
  f->end = static_cast<size_t>(n);
  f->read_at = offset + n;
  if (n > 0 && static_cast<size_t>(n) < want) {
    f->size = f->read_at;
    f->end_known = true;
  } else {
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) f->size = st.st_size;
  }
  f->wire = EndsInWireFormat(f);
  return true;
}

bool ReadLineFileAt(LineFile* f, int64_t offset, int64_t until) {
  if (f->fd < 0 || !f->owned || !f->positioned) return false;
  if (offset < 0) offset = 0;
  f->eof = false;
  f->line_start = true;
  f->length = 0;
  f->position = offset;
  // The buffer holds the bytes from `start` up to read_at: those from the
  // offset on serve.
  int64_t start = f->read_at - static_cast<int64_t>(f->end);
  if (offset >= start && offset <= f->read_at) {
    f->begin = static_cast<size_t>(offset - start);
  } else {
    f->begin = f->end = 0;
    f->read_at = offset;
  }
  // The rest of the window in one read of its size: the segments of an
  // mbox come in the catalogue's order, far apart in the file, and a
  // bigger read would copy bytes that no segment reads from there.
  int64_t want =
      until < 0 ? static_cast<int64_t>(kSegmentRead) : until - f->read_at;
  if (want <= 0 || (f->end_known && f->read_at >= f->size)) return true;
  if (f->end + static_cast<size_t>(std::min<int64_t>(want, kBufferSize)) >
      f->capacity) {
    std::memmove(f->buffer.get(), f->buffer.get() + f->begin,
                 f->end - f->begin);
    f->end -= f->begin;
    f->begin = 0;
  }
  size_t room = f->capacity - f->end;
  size_t n =
      want < static_cast<int64_t>(room) ? static_cast<size_t>(want) : room;
  ssize_t got = ReadAt(f, f->buffer.get() + f->end, n, f->read_at);
  if (got > 0) {
    f->end += static_cast<size_t>(got);
    f->read_at += got;
  }
  return true;
}

void UseStdin(LineFile* f) { Reset(f, 0, false); }

void CloseLineFile(LineFile* f) {
  if (f->owned && f->fd >= 0) close(f->fd);
  f->fd = -1;
  f->owned = false;
}

bool ReadLine(LineFile* f, char* buf, int size) {
  if (size < 2) return false;
  return f->wire && f->line_start ? ReadWireLine(f, buf, size)
                                  : GetLine(f, buf, size);
}

void ReadLineRest(LineFile* f, std::string* line) {
  size_t added = 0;
  while (!f->line_start) {
    if (f->begin == f->end && !Refill(f)) break;
    const char* from = f->buffer.get() + f->begin;
    size_t avail = f->end - f->begin;
    const void* nl = std::memchr(from, '\n', avail);
    size_t take =
        nl ? static_cast<size_t>(static_cast<const char*>(nl) - from) + 1
           : avail;
    line->append(from, take);
    f->begin += take;
    added += take;
    f->line_start = nl != nullptr;
  }
  f->position += static_cast<int64_t>(added);
  f->length += added;
}

std::string_view BufferedInput(LineFile* f) {
  if (f->begin == f->end) Refill(f);
  return {f->buffer.get() + f->begin, f->end - f->begin};
}

bool ReadMore(LineFile* f) {
  if (f->eof) return false;
  if (f->begin > 0) {
    std::memmove(f->buffer.get(), f->buffer.get() + f->begin,
                 f->end - f->begin);
    f->end -= f->begin;
    f->begin = 0;
  }
  if (f->end == f->capacity) return false;
  return Refill(f);
}

void TakeInput(LineFile* f, size_t n) {
  f->begin += n;
  f->position += static_cast<int64_t>(n);
  f->line_start = true;
}

bool NextReadStartsWith(LineFile* f, std::string_view prefix) {
  while (f->end - f->begin < prefix.size() && Refill(f)) {
  }
  return f->end - f->begin >= prefix.size() &&
         std::memcmp(f->buffer.get() + f->begin, prefix.data(),
                     prefix.size()) == 0;
}

int64_t TellLine(LineFile* f) { return f->position; }

bool SeekLine(LineFile* f, int64_t offset) {
  f->line_start = true;
  f->eof = false;
  // As for stdio, a seek asks the file again: it may have grown.
  f->end_known = false;
  // The buffer holds the bytes from `start` on; position and begin advance
  // together.
  int64_t start = f->position - static_cast<int64_t>(f->begin);
  if (offset >= start && offset <= start + static_cast<int64_t>(f->end)) {
    f->begin = static_cast<size_t>(offset - start);
    f->position = offset;
    return true;
  }
  f->begin = f->end = 0;
  if (f->positioned) {
    if (offset < 0) return false;
    f->position = f->read_at = offset;
    return true;
  }
  off_t at = lseek(f->fd, static_cast<off_t>(offset), SEEK_SET);
  if (at < 0) return false;
  f->position = at;
  return true;
}

int64_t SizeOfLineFile(LineFile* f) {
  if (f->size >= 0) return f->size;
  struct stat st;
  if (fstat(f->fd, &st) != 0) return 0;
  return st.st_size;
}

bool AtEnd(LineFile* f) { return f->eof; }
