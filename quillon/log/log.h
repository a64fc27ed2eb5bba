// The processed-file log named by QUILLONLOG: which article files of which
// directories earlier runs have processed.
#ifndef QUILLON_LOG_LOG_H_
#define QUILLON_LOG_LOG_H_

#include <string>

struct LogEntry {
  char* name;  // file name: the last component of its absolute path
  int flag;    // 1: written back at the rewrite; 0: dropped
  LogEntry* next;
};

struct LogDir {
  char* dir;  // directory path
  LogDir* next;
  LogEntry* entries;
};

// Reads QUILLONLOG into LOGFILE and the log file into `*list`.
void LoadDlist(LogDir** list);

// Appends a directory line for `dir` to the log.
void logdir(const char* dir);

// 1 when `file` was processed by an earlier run; else 0, with `*entry` set to
// the file's new log entry when it lies under a logged directory.
int inDlist(LogDir** list, const char* file, LogEntry** entry);

// Rewrites the log from `list`, leaving out directories beginning `prefix`.
void UpdateDlist(LogDir* list, const char* prefix);

// The directory path that -log and -unlog take for `dir`: made absolute
// like the paths of file arguments, so that those can lie under it.
std::string LogDirPath(const char* dir);

// The absolute path of `path` against CWD; valid until the next call.
const char* MakePath(const char* path);

// The LogDir of exactly `path`, appended at the list's end when missing.
LogDir* getptrptr(LogDir** link, const char* path);

// A new entry in front of `first`; its flag is 1 when `dir` is given and
// differs from CWD.
LogEntry* addtolist(LogEntry* first, const char* name, const char* dir);

#endif  // QUILLON_LOG_LOG_H_
