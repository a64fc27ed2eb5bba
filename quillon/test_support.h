// Helpers shared by the unit tests.
#ifndef QUILLON_TEST_SUPPORT_H_
#define QUILLON_TEST_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "decoding/output.h"
#include "log/log.h"
#include "quillon.h"
#include "reporter.h"

// A fresh empty directory under the system's temporary directory, removed
// with everything in it when the object goes.
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Path(const std::string& name) const { return path + "/" + name; }
  std::string path;
};

// A reporter whose two streams are buffers in memory, for the tests to read
// what a run printed. Out() and Err() return what was printed since their
// last call.
struct TestReporter {
  explicit TestReporter(bool quiet = false);
  ~TestReporter();
  TestReporter(const TestReporter&) = delete;
  TestReporter& operator=(const TestReporter&) = delete;
  std::string Out();
  std::string Err();

  Reporter reporter;
  Reporter* get() { return &reporter; }

  struct Buffer {
    char* text = nullptr;
    size_t size = 0;
    size_t taken = 0;
  };
  Buffer out, err;
};

// Where the unit tests make their records: kept as long as the tests run.
Records* TestRecords();

void WriteFile(const std::string& path, const std::string& contents);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// Uuencodes `data` as a whole file: begin line, data lines, "`" and "end".
std::string Uuencode(const std::string& data, const std::string& name,
                     const std::string& mode = "644");

// Only the data lines of `data` (without begin, terminator and end lines).
std::string UuencodeLines(const std::string& data);

// The list that LoadDlist makes of a log holding `text` ("*DIR" lines, each
// followed by its "@NAME" entries), read without a word; QUILLONLOG is as it
// was before, and the list names no log file. `cwd` is the current
// directory of the run that loads it.
LogList LoadLogText(const std::string& text, const std::string& cwd = "");
// Deletes (under -delete) and flags in the log every input file all of whose
// segments are processed (MarkProcessed), within the pass index that
// `output` holds of `list`.
void clean(PassOutput* output, Segment* list);

// Hooks into the product, defined beside what they reach.

// The use counter of a begin string, its raise by one, and `name` numbered
// with a count, as checkname does them.
uint64_t DosUseCount(Records* records, char* begin);
void RaiseDosUseCount(Records* records, char* begin);
void NumberDosName(char* name, uint64_t count);

#endif  // QUILLON_TEST_SUPPORT_H_
