#include "reporter.h"

#include <cstdarg>
#include <cstdio>

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
  std::fflush(reporter->out);
  va_list args;
  va_start(args, format);
  std::vfprintf(reporter->err, format, args);
  va_end(args);
  reporter->failed = true;
}

void Note(Reporter* reporter, const char* format, ...) {
  std::fflush(reporter->out);
  va_list args;
  va_start(args, format);
  std::vfprintf(reporter->err, format, args);
  va_end(args);
}

bool FlushOutput(Reporter* reporter) {
  return std::fflush(reporter->out) == 0 && !std::ferror(reporter->out);
}

void OutOfMemory(Reporter* reporter) {
  std::fputs("quillon: out of memory\n", reporter->err);
  reporter->failed = true;
}
