#include "line_file.h"

bool OpenLineFile(LineFile* f, const char* path) {
  f->fp = std::fopen(path, "r");
  f->owned = f->fp != nullptr;
  return f->fp != nullptr;
}

void UseStdin(LineFile* f) {
  f->fp = stdin;
  f->owned = false;
}

void CloseLineFile(LineFile* f) {
  if (f->owned && f->fp) std::fclose(f->fp);
  f->fp = nullptr;
  f->owned = false;
}

bool ReadLine(LineFile* f, char* buf, int size) {
  if (size < 2) return false;
  return std::fgets(buf, size, f->fp) != nullptr;
}

int64_t TellLine(LineFile* f) { return ftello(f->fp); }

bool SeekLine(LineFile* f, int64_t offset) {
  return fseeko(f->fp, static_cast<off_t>(offset), SEEK_SET) == 0;
}

int64_t SizeOfLineFile(LineFile* f) {
  if (fseeko(f->fp, 0, SEEK_END) != 0) return 0;
  return ftello(f->fp);
}

bool AtEnd(LineFile* f) { return std::feof(f->fp) != 0; }
