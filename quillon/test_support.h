// Helpers shared by the unit tests.
#ifndef QUILLON_TEST_SUPPORT_H_
#define QUILLON_TEST_SUPPORT_H_

#include <string>

#include "log/log.h"
#include "testing.h"

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

void WriteFile(const std::string& path, const std::string& contents);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// Uuencodes `data` as a whole file: begin line, data lines, "`" and "end".
std::string Uuencode(const std::string& data, const std::string& name,
                     const std::string& mode = "644");

// Only the data lines of `data` (without begin, terminator and end lines).
std::string UuencodeLines(const std::string& data);

// The list that LoadDlist makes of a log holding `text` ("*DIR" lines, each
// followed by its "@NAME" entries), read without a word; QUILLONLOG and
// LOGFILE are as they were before.
LogList LoadLogText(const std::string& text);

#endif  // QUILLON_TEST_SUPPORT_H_
