#include "line_file.h"

#include <sys/types.h>

#include <cstring>

// Article files past 4 GiB: every offset goes through off_t.
static_assert(sizeof(off_t) >= 8, "64-bit file offsets are required");

namespace {

// fgets, counting the bytes taken: a line may hold NUL bytes, so its length
// does not tell how much was read.
bool GetLine(std::FILE* fp, char* buf, int size, int64_t* taken) {
  int n = 0;
  while (n < size - 1) {
    int c = getc_unlocked(fp);
    if (c == EOF) break;
    buf[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  *taken += n;
  if (n == 0) return false;
  buf[n] = '\0';
  return true;
}

bool EndsInWireFormat(std::FILE* fp) {
  char tail[5];
  bool wire = fseeko(fp, -5, SEEK_END) == 0 &&
              std::fread(tail, 1, 5, fp) == 5 &&
              std::memcmp(tail, "\r\n.\r\n", 5) == 0;
  fseeko(fp, 0, SEEK_SET);
  return wire;
}

// A wire-format line that begins with two dots is read without the first.
// The dot is dropped before the read, so the line splits where it would in
// the unstuffed text.
bool ReadWireLine(LineFile* f, char* buf, int size, int64_t* taken) {
  int c = std::getc(f->fp);
  if (c == EOF) return false;
  if (c != '.') {
    std::ungetc(c, f->fp);
    return GetLine(f->fp, buf, size, taken);
  }
  ++*taken;
  int next = std::getc(f->fp);
  if (next == '.') {
    std::ungetc(next, f->fp);
    return GetLine(f->fp, buf, size, taken);
  }
  // A line with a single leading dot, such as the final ".".
  buf[0] = '.';
  buf[1] = 0;
  if (next == EOF) return true;
  std::ungetc(next, f->fp);
  if (size > 2) GetLine(f->fp, buf + 1, size - 1, taken);
  return true;
}

}  // namespace

bool OpenLineFile(LineFile* f, const char* path) {
  f->fp = std::fopen(path, "r");
  f->owned = f->fp != nullptr;
  f->line_start = true;
  f->wire = f->fp && EndsInWireFormat(f->fp);
  f->position = 0;
  return f->fp != nullptr;
}

void UseStdin(LineFile* f) {
  f->fp = stdin;
  f->owned = false;
  f->wire = false;
  f->line_start = true;
  f->position = -1;
}

void CloseLineFile(LineFile* f) {
  if (f->owned && f->fp) std::fclose(f->fp);
  f->fp = nullptr;
  f->owned = false;
}

bool ReadLine(LineFile* f, char* buf, int size) {
  if (size < 2) return false;
  int64_t taken = 0;
  bool read = f->wire && f->line_start
                  ? ReadWireLine(f, buf, size, &taken)
                  : GetLine(f->fp, buf, size, &taken);
  if (f->position >= 0) f->position += taken;
  if (read) {
    size_t len = std::strlen(buf);
    f->line_start = len > 0 && buf[len - 1] == '\n';
  }
  return read;
}

int64_t TellLine(LineFile* f) {
  return f->position >= 0 ? f->position : ftello(f->fp);
}

bool SeekLine(LineFile* f, int64_t offset) {
  f->line_start = true;
  bool done = fseeko(f->fp, static_cast<off_t>(offset), SEEK_SET) == 0;
  f->position = ftello(f->fp);
  return done;
}

int64_t SizeOfLineFile(LineFile* f) {
  if (fseeko(f->fp, 0, SEEK_END) != 0) {
    f->position = -1;
    return 0;
  }
  f->position = ftello(f->fp);
  return f->position;
}

bool AtEnd(LineFile* f) { return std::feof(f->fp) != 0; }
