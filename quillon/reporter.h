// Every line the run prints goes through the Reporter the run owns: progress
// on standard output (silent under -quiet), failures and notes on standard
// error. Standard output is flushed before each line for standard error, so
// that a log that takes both streams (cron mails them together) reads in the
// order things happened. The run's exit status comes from `failed`.
#ifndef QUILLON_REPORTER_H_
#define QUILLON_REPORTER_H_

#include <cstdio>

struct Reporter {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  bool quiet = false;   // -quiet: no progress lines
  bool failed = false;  // a failure was reported: the run ends with status 1
};

// A progress line for standard output; nothing under -quiet.
void Progress(Reporter* reporter, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// A line for standard output that is printed whatever -quiet says.
void Print(Reporter* reporter, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// A failure for standard error, after standard output is flushed; the run
// ends with status 1.
void Fail(Reporter* reporter, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// A note for standard error, after standard output is flushed; the status
// stays as it is.
void Note(Reporter* reporter, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Flushes standard output; false when what was printed did not reach it.
bool FlushOutput(Reporter* reporter);

// The run ran out of memory: said at once, without first flushing standard
// output, which may hold what could not be finished.
void OutOfMemory(Reporter* reporter);

#endif  // QUILLON_REPORTER_H_
