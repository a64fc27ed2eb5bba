#include "line_file.h"

#include <sys/types.h>

#include <cstring>

// Article files past 4 GiB: every offset goes through off_t.
static_assert(sizeof(off_t) >= 8, "64-bit file offsets are required");

namespace {

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
bool ReadWireLine(LineFile* f, char* buf, int size) {
  int c = std::getc(f->fp);
  if (c == EOF) return false;
  if (c != '.') {
    std::ungetc(c, f->fp);
    return std::fgets(buf, size, f->fp) != nullptr;
  }
  int next = std::getc(f->fp);
  if (next == '.') {
    std::ungetc(next, f->fp);
    return std::fgets(buf, size, f->fp) != nullptr;
  }
  // A line with a single leading dot, such as the final ".".
  buf[0] = '.';
  buf[1] = 0;
  if (next == EOF) return true;
  std::ungetc(next, f->fp);
  if (size > 2) std::fgets(buf + 1, size - 1, f->fp);
  return true;
}

}  // namespace

bool OpenLineFile(LineFile* f, const char* path) {
  f->fp = std::fopen(path, "r");
  f->owned = f->fp != nullptr;
  f->line_start = true;
  f->wire = f->fp && EndsInWireFormat(f->fp);
  return f->fp != nullptr;
}

void UseStdin(LineFile* f) {
  f->fp = stdin;
  f->owned = false;
  f->wire = false;
  f->line_start = true;
}

void CloseLineFile(LineFile* f) {
  if (f->owned && f->fp) std::fclose(f->fp);
  f->fp = nullptr;
  f->owned = false;
}

bool ReadLine(LineFile* f, char* buf, int size) {
  if (size < 2) return false;
  bool read = f->wire && f->line_start ? ReadWireLine(f, buf, size)
                                       : std::fgets(buf, size, f->fp) != nullptr;
  if (read) {
    size_t len = std::strlen(buf);
    f->line_start = len > 0 && buf[len - 1] == '\n';
  }
  return read;
}

int64_t TellLine(LineFile* f) { return ftello(f->fp); }

bool SeekLine(LineFile* f, int64_t offset) {
  f->line_start = true;
  return fseeko(f->fp, static_cast<off_t>(offset), SEEK_SET) == 0;
}

int64_t SizeOfLineFile(LineFile* f) {
  if (fseeko(f->fp, 0, SEEK_END) != 0) return 0;
  return ftello(f->fp);
}

bool AtEnd(LineFile* f) { return std::feof(f->fp) != 0; }
