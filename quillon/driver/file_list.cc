#include "driver/file_list.h"

#include <cstdio>
#include <cstring>

namespace {

// Cuts `list->text` into lines (LF or CR LF; the last may lack its LF) and
// points `list->paths` at the non-empty ones, in order.
void SplitFileList(FileList* list) {
  list->paths.clear();
  // The terminator of a last line without its LF.
  list->text.push_back('\n');
  // Held for the whole run: no room beyond the list.
  list->text.shrink_to_fit();
  char* p = list->text.data();
  char* end = p + list->text.size();
  while (p < end) {
    char* eol = static_cast<char*>(std::memchr(p, '\n', size_t(end - p)));
    *eol = '\0';
    if (eol > p && eol[-1] == '\r') eol[-1] = '\0';
    if (*p) list->paths.push_back(p);
    p = eol + 1;
  }
}

}  // namespace

bool ReadFileList(const char* name, FileList* list, Reporter* reporter) {
  bool is_stdin = std::strcmp(name, "-") == 0;
  std::FILE* f = is_stdin ? stdin : std::fopen(name, "rb");
  bool ok = f != nullptr;
  list->text.clear();
  if (ok) {
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
      list->text.insert(list->text.end(), buf, buf + n);
    // A directory opens, and fails at its first read.
    ok = !std::ferror(f);
    if (!is_stdin) std::fclose(f);
  }
  if (!ok) {
    Fail(reporter, "quillon: cannot access file %s\n", name);
    return false;
  }
  SplitFileList(list);
  return true;
}
