#include "log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "../quillon.h"
#include "../text.h"

namespace {

// Log nodes live until exit; the stores keep them reachable for leak
// checkers whatever list they hang in.
LogDir* NewLogDir() {
  static std::deque<LogDir> store;
  return &store.emplace_back();
}

LogEntry* NewLogEntry() {
  static std::deque<LogEntry> store;
  return &store.emplace_back();
}

// The file that a rewrite replaces: the log itself, or the file at the end
// of its chain of symbolic links, which need not exist yet, so that a link
// named by QUILLONLOG stays a link. Empty for a chain that never ends.
std::string RewriteTarget(const char* logfile) {
  std::string path = logfile;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::vector<char> link(256);
    ssize_t n;
    while ((n = readlink(path.c_str(), link.data(), link.size())) >=
           static_cast<ssize_t>(link.size()))
      link.resize(link.size() * 2);
    if (n < 0) return path;  // gone meanwhile: the open below decides
    std::string target(link.data(), static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    // A relative target is relative to the link's own directory.
    if (target[0] != '/' && slash != std::string::npos)
      target.insert(0, path, 0, slash + 1);
    path = target;
  }
  return "";
}

// Whether the log at `target` may be rewritten: it is missing, or a plain
// file that this user may write. `*old` gets the existing log's status.
bool MayRewrite(const std::string& target, struct stat* old, bool* exists) {
  *exists = false;
  if (target.empty()) return false;
  if (stat(target.c_str(), old) != 0) return errno == ENOENT;
  *exists = true;
  if (!S_ISREG(old->st_mode)) return false;
  // Opened without truncation, only to ask the system about write access.
  int fd = open(target.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// The temporary file beside the log, with the old log's mode, owner and
// group (else the mode of a new file); -1 when it cannot be made so.
int TempBeside(std::string* temp, const struct stat* old) {
  int fd = mkstemp(temp->data());
  if (fd < 0) return -1;
  mode_t mode;
  bool kept = true;
  if (old) {
    mode = old->st_mode & 07777;
    if (old->st_uid != geteuid() || old->st_gid != getegid())
      kept = fchown(fd, old->st_uid, old->st_gid) == 0;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  if (!kept || fchmod(fd, mode) != 0) {
    close(fd);
    unlink(temp->c_str());
    return -1;
  }
  return fd;
}

// Where the new log is written: a file beside it that then replaces it, so
// that a failed rewrite leaves the old log whole. An existing log of another
// owner, or one in a directory this user may not write, is written in place
// instead (`*temp` is then empty), so that it stays his.
int OpenRewrite(const std::string& target, std::string* temp) {
  struct stat old;
  bool exists = false;
  if (!MayRewrite(target, &old, &exists)) return -1;
  *temp = target + ".XXXXXX";
  int fd = TempBeside(temp, exists ? &old : nullptr);
  if (fd >= 0 || !exists) return fd;
  temp->clear();
  return open(target.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_NOFOLLOW);
}

void WriteDlist(std::FILE* out, LogDir* list, const char* prefix) {
  for (LogDir* d = list; d; d = d->next) {
    if (StartsWith(d->dir, prefix)) continue;
    std::fprintf(out, "*%s\n", d->dir);
    for (LogEntry* e = d->entries; e; e = e->next)
      if (e->flag) std::fprintf(out, "@%s\n", e->name);
  }
}

// Rewrites the log (see OpenRewrite). A log that may not be rewritten is
// left exactly as it is, before anything is printed.
bool RewriteLog(LogDir* list, const char* prefix) {
  if (!*LOGFILE) return false;  // else the temporary file lands in CWD
  std::string target = RewriteTarget(LOGFILE);
  std::string temp;
  int fd = OpenRewrite(target, &temp);
  if (fd < 0) return false;
  std::FILE* out = fdopen(fd, "w");
  if (!out) {
    close(fd);
    if (!temp.empty()) unlink(temp.c_str());
    return false;
  }
  if (!QUIET) std::printf("Updating %s\n", LOGFILE);
  WriteDlist(out, list, prefix);
  bool written = std::fflush(out) == 0 && !std::ferror(out);
  if (std::fclose(out) != 0) written = false;
  if (temp.empty()) return written;
  if (!written || std::rename(temp.c_str(), target.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  return true;
}

// The entries of one LogDir by name. Entries are only ever pushed at the
// head, so the index catches up by reading the list down to the head it saw
// last.
struct EntryIndex {
  LogEntry* seen = nullptr;
  std::unordered_map<std::string_view, LogEntry*> by_name;  // first in list
};

// The run's log list by directory path, beside the list. It follows one
// list, whose nodes are only ever appended at the tail; a list changed
// otherwise is read anew.
struct LogIndex {
  LogDir** link = nullptr;
  LogDir* first = nullptr;  // *link when last seen
  LogDir* tail = nullptr;   // last node indexed
  size_t count = 0;
  struct Place {
    LogDir* dir;
    size_t position;
  };
  std::unordered_map<std::string_view, Place> by_path;  // first in list
  std::set<size_t> lengths;  // of every directory path in the list
  std::unordered_map<const LogDir*, EntryIndex> entries;
};

LogIndex& Index() {
  static LogIndex index;
  return index;
}

void Append(LogIndex* index, LogDir* dir) {
  std::string_view path(dir->dir);
  index->by_path.try_emplace(path, LogIndex::Place{dir, index->count});
  index->lengths.insert(path.size());
  index->tail = dir;
  ++index->count;
}

// The index of the list at `link`, brought up to date.
LogIndex* Follow(LogDir** link) {
  LogIndex* index = &Index();
  if (index->link != link || index->first != *link) {
    index->link = link;
    index->first = *link;
    index->tail = nullptr;
    index->count = 0;
    index->by_path.clear();
    index->lengths.clear();
    for (LogDir* d = *link; d; d = d->next) Append(index, d);
    return index;
  }
  for (LogDir* d = index->tail ? index->tail->next : nullptr; d; d = d->next)
    Append(index, d);
  return index;
}

// The entry of `name` that a walk of `dir`'s entries finds first.
LogEntry* FindEntry(const LogDir* dir, std::string_view name) {
  EntryIndex& index = Index().entries[dir];
  if (index.seen != dir->entries) {
    std::vector<LogEntry*> added;
    LogEntry* e = dir->entries;
    for (; e && e != index.seen; e = e->next) added.push_back(e);
    if (!e && index.seen) {
      // Not the list that was indexed: read it whole.
      index.by_name.clear();
    }
    // Oldest first, so that the newest of equal names stays.
    for (auto it = added.rbegin(); it != added.rend(); ++it)
      index.by_name[(*it)->name] = *it;
    index.seen = dir->entries;
  }
  auto found = index.by_name.find(name);
  return found == index.by_name.end() ? nullptr : found->second;
}

// The first LogDir in list order whose path is a prefix of `path`.
LogDir* FindRoot(LogIndex* index, std::string_view path) {
  const LogIndex::Place* best = nullptr;
  for (size_t length : index->lengths) {
    if (length > path.size()) break;
    auto found = index->by_path.find(path.substr(0, length));
    if (found == index->by_path.end()) continue;
    if (!best || found->second.position < best->position) best = &found->second;
  }
  return best ? best->dir : nullptr;
}

}  // namespace

void LoadDlist(LogDir** list) {
  LOGFILE = std::getenv("QUILLONLOG");
  if (!LOGFILE) return;
  std::ifstream in(LOGFILE, std::ios::binary);
  if (!in) return;
  if (!QUIET) std::printf("Reading %s\n", LOGFILE);
  LogDir* current = nullptr;
  std::string line;
  // Lines are read whole, and only their newline is taken off.
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    const char* rest = line.c_str() + 1;
    if (line[0] == '*') {
      current = getptrptr(list, rest);
    } else if (line[0] == '@' && current) {
      // An entry above every directory line has no directory: dropped.
      current->entries = addtolist(current->entries, rest, current->dir);
    }
  }
}

void logdir(const char* dir) {
  LOGFILE = std::getenv("QUILLONLOG");
  if (!LOGFILE) {
    std::fprintf(stderr, "quillon: QUILLONLOG enviroment variable not set\n");
    return;
  }
  std::FILE* out = std::fopen(LOGFILE, "a");
  if (!out) {
    std::fprintf(stderr, "quillon: can't open log file\n");
    FAILED = true;
    return;
  }
  std::fprintf(out, "*%s\n", LogDirPath(dir).c_str());
  if (std::fclose(out) != 0) {
    std::fprintf(stderr, "quillon: can't open log file\n");
    FAILED = true;
  }
}

int inDlist(LogDir** list, const char* file, LogEntry** entry) {
  *entry = nullptr;
  // Without a current directory a relative name has no known place.
  if (file[0] != '/' && CWD.empty()) return 0;
  std::string path = MakePath(file);
  if (!FindRoot(Follow(list), path)) return 0;
  LOGUPDATE = true;

  size_t slash = path.rfind('/');
  std::string name = path.substr(slash + 1);
  path.erase(slash);
  LogDir* dir = getptrptr(list, path.c_str());
  if (LogEntry* e = FindEntry(dir, name)) {
    e->flag = 1;
    return 1;
  }
  dir->entries = addtolist(dir->entries, name.c_str(), nullptr);
  *entry = dir->entries;
  return 0;
}

void UpdateDlist(LogDir* list, const char* prefix) {
  if (!LOGFILE || !LOGUPDATE) return;
  if (!RewriteLog(list, prefix)) {
    std::fprintf(stderr, "quillon: can't open log file\n");
    FAILED = true;
  }
}

std::string LogDirPath(const char* dir) {
  // Without a current directory a relative path has no known place.
  if (dir[0] == '/' || !dir[0] || CWD.empty()) return dir;
  return MakePath(dir);
}

const char* MakePath(const char* path) {
  static std::string tempstr;
  if (path[0] == '/') {
    tempstr = path;
    return tempstr.c_str();
  }
  tempstr = CWD;
  while (StartsWith(path, "../")) {
    size_t slash = tempstr.rfind('/');
    tempstr.erase(slash == std::string::npos ? 0 : slash);
    path += 3;
  }
  // Run from the root, CWD already ends in the separator.
  if (tempstr.empty() || tempstr.back() != '/') tempstr += '/';
  tempstr += path;
  return tempstr.c_str();
}

LogDir* getptrptr(LogDir** link, const char* path) {
  LogIndex* index = Follow(link);
  auto found = index->by_path.find(path);
  if (found != index->by_path.end()) return found->second.dir;
  link = index->tail ? &index->tail->next : link;
  LogDir* dir = NewLogDir();
  dir->dir = NewString(path);
  dir->next = nullptr;
  dir->entries = nullptr;
  *link = dir;
  return dir;
}

LogEntry* addtolist(LogEntry* first, const char* name, const char* dir) {
  LogEntry* entry = NewLogEntry();
  entry->name = NewString(name);
  entry->flag = dir && CWD != dir ? 1 : 0;
  entry->next = first;
  return entry;
}
