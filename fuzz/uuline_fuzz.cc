// The line primitives as the decoder uses them: the input is read in lines
// of one buffer, and every line is tested, decoded and, when it begins a
// file, completed and read as a begin line.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "decoding/line_file.h"
#include "decoding/uuline.h"
#include "quillon.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// One input file per process, rewritten for every input, so that the real
// file reader (with its wire-format test) serves the lines.
const std::string& InputPath() {
  static const std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp && *tmp ? tmp : "/tmp") + "/quillon-uuline-XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0) std::abort();
    close(fd);
    return pattern;
  }();
  return path;
}

void RemoveInput() { unlink(InputPath().c_str()); }

// The decode pass's fast ways for full lines must write what decline writes.
void CheckFullLine(const char* line, size_t length) {
  char* fast = nullptr;
  char* slow = nullptr;
  size_t fast_size = 0, slow_size = 0;
  std::FILE* a = open_memstream(&fast, &fast_size);
  std::FILE* b = open_memstream(&slow, &slow_size);
  if (!a || !b) std::abort();
  bool taken = DeclineFull(line, length, a);
  decline(line, b);
  std::fclose(a);
  std::fclose(b);
  if (taken) {
    Check(uuline(line) == 1);
    Check(fast_size == slow_size && std::memcmp(fast, slow, fast_size) == 0);
  }
  // A line taken straight from the input buffer: the same, where it ends
  // in a newline.
  unsigned char bytes[64];
  size_t at = DecodeFullLineAt({line, length}, bytes);
  bool ended = length > 0 && line[length - 1] == '\n';
  Check(at == (taken && ended ? length : 0));
  if (at) Check(std::memcmp(bytes, fast, 45) == 0);
  std::free(fast);
  std::free(slow);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InputPath();
  std::atexit(RemoveInput);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  std::FILE* f = std::fopen(InputPath().c_str(), "wb");
  if (!f) std::abort();
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);

  LineFile in;
  if (!OpenLineFile(&in, InputPath().c_str())) std::abort();
  char line[kLineSize];
  while (ReadLine(&in, line, kLineSize)) {
    Check(std::strlen(line) < kLineSize);
    // Once on an exact-size copy, where a read past the terminator shows.
    std::string copy(line);
    char* exact = copy.data();
    uuline(exact);
    decline(exact, sink);
    CheckFullLine(line, in.length);
    wc(exact);
    char word[kLineSize];
    int word_mode = 0;
    if (ReadBline(exact, &word_mode, word) > 0)
      Check(std::strlen(word) < kLineSize);
    if (!bline(line)) continue;
    CompleteBeginLine(line, &in);
    Check(std::strlen(line) < kLineSize);
    char name[kLineSize];
    int mode = 0;
    if (ReadBline(line, &mode, name) > 0) Check(std::strlen(name) < kLineSize);
  }
  CloseLineFile(&in);
  return 0;
}
