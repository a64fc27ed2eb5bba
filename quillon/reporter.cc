#include "reporter.h"

#include <cstdarg>
#include <cstdio>

namespace {

// A line for standard error: standard output is flushed first, so that
// both streams taken together read in the order things happened.
void ToErr(Reporter* reporter, const char* format, va_list args) {
  std::fflush(reporter->out);
  std::vfprintf(reporter->err, format, args);
}

}  // namespace

void Progress(Reporter* reporter, const char* format, ...) {
  if (reporter->quiet) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(reporter->out, format, args);
  va_end(args);
}

void Print(Reporter* reporter, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(reporter->out, format, args);
  va_end(args);
}

void Fail(Reporter* reporter, const char* format, ...) {
  va_list args;
  va_start(args, format);
  ToErr(reporter, format, args);
  va_end(args);
  reporter->failed = true;
}

void Note(Reporter* reporter, const char* format, ...) {
  va_list args;
  va_start(args, format);
  ToErr(reporter, format, args);
  va_end(args);
}

bool FlushOutput(Reporter* reporter) {
  return std::fflush(reporter->out) == 0 && !std::ferror(reporter->out);
}

void OutOfMemory(Reporter* reporter) {
  std::fputs("quillon: out of memory\n", reporter->err);
  reporter->failed = true;
}
