// The processed-file log named by QUILLONLOG: which article files of which
// directories earlier runs have processed.
#ifndef QUILLON_LOG_LOG_H_
#define QUILLON_LOG_LOG_H_

#include <cstddef>
#include <deque>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

#include "quillon.h"
#include "reporter.h"

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

// The run's log list: its directories from `first` on, the nodes and texts
// they are made of, and their index. Nodes are added only by the functions
// below, which keep the index true to the list; everything lives as long as
// the list.
struct LogList {
  LogList() = default;
  LogList(const LogList&) = delete;
  LogList& operator=(const LogList&) = delete;
  LogList(LogList&&) = default;
  LogList& operator=(LogList&&) = default;

  LogDir* first = nullptr;
  // The log's path from QUILLONLOG (LoadDlist), or null when none is named.
  const char* LOGFILE = nullptr;
  // The list has changed since it was read: the log is to be rewritten.
  bool LOGUPDATE = false;
  // The current directory at the run's start, which relative paths are
  // taken against; empty when it cannot be read.
  std::string CWD;

  struct Place {
    LogDir* dir;
    size_t position;  // in list order
  };
  LogDir* tail = nullptr;
  std::unordered_map<std::string_view, Place> by_path;
  std::set<size_t> lengths;  // of every directory path in the list
  // Each directory's entries by name: the first of equal names in its list.
  // Made at the first look-up, so that a run that only rewrites the log
  // (-unlog) does not pay for it; kept true to the list from then on.
  std::unordered_map<const LogDir*,
                     std::unordered_map<std::string_view, LogEntry*>>
      by_name;
  bool named = false;  // by_name is made

  std::deque<LogDir> dirs;
  std::deque<LogEntry> entries;
  std::deque<std::string> texts;  // directory paths and file names
};

// Takes the lock that one run at a time holds on the log named by
// QUILLONLOG: the file beside it with ".lock" appended, created when
// missing and left in place. Waits, saying so once, while another run holds
// it. `*lock` keeps the descriptor, whose closing (or the end of the process)
// lets the lock go; nothing is done when it is already held or no log is
// named. False when a failure was reported.
bool LockLog(int* lock, Reporter* reporter);

// Reads QUILLONLOG into list->LOGFILE and the log file into `list`; a log
// that does not exist yet is empty. False when a failure was reported: the
// log exists but cannot be read as one.
bool LoadDlist(LogList* list, Reporter* reporter);

// Appends a directory line for `dir` (see LogDirPath, against `cwd`) to the
// log, unless the log has that line already, holding the log's lock in
// `*lock` (LockLog). False when a failure was reported, `dir` not being a
// directory among them.
bool logdir(const std::string& cwd, const char* dir, int* lock,
            Reporter* reporter);

// 1 when `file` was processed by an earlier run; else 0, with `*entry` set to
// the file's new log entry when it lies under a logged directory.
int inDlist(LogList* list, const char* file, LogEntry** entry);

// inDlist in two steps, for a caller that looks at the file before it is
// entered: where the entry of a file would go.
struct LogPlace {
  bool logged = false;  // the file lies under a logged directory
  std::string dir;
  std::string name;
};

// 1 when `file` was processed by an earlier run; else 0 and its place. The
// log is changed only for a file it holds.
int LookUpLogged(LogList* list, const char* file, LogPlace* place);

// The new entry at `place`, or null for none.
LogEntry* EnterLogged(LogList* list, const LogPlace& place);

// Rewrites the log from `list`, leaving out directories beginning `prefix`.
// False when a failure was reported.
bool UpdateDlist(const LogList& list, const char* prefix, Reporter* reporter);

// The directory path that -log and -unlog take for `dir`: made absolute
// against `cwd` and normalised like the paths of file arguments, so that
// those can lie under it.
std::string LogDirPath(const std::string& cwd, const char* dir);

// The absolute path of `path` against `cwd`, normalised (NormalisePath).
std::string MakePath(const std::string& cwd, const char* path);

// The absolute path `path` (a relative one is taken from the root) without
// "." components, repeated and trailing "/", and with each ".." taking away
// the component before it ("/" at the root). Symbolic links are not looked
// at.
std::string NormalisePath(std::string_view path);

#endif  // QUILLON_LOG_LOG_H_
