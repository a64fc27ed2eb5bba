#include "log/log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "quillon.h"
#include "text.h"

namespace {

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

void WriteDlist(std::FILE* out, const LogList& list, const char* prefix) {
  for (const LogDir* d = list.first; d; d = d->next) {
    if (StartsWith(d->dir, prefix)) continue;
    std::fprintf(out, "*%s\n", d->dir);
    for (const LogEntry* e = d->entries; e; e = e->next)
      if (e->flag) std::fprintf(out, "@%s\n", e->name);
  }
}

// Rewrites the log (see OpenRewrite). A log that may not be rewritten is
// left exactly as it is, before anything is printed.
bool RewriteLog(const LogList& list, const char* prefix, Reporter* reporter) {
  // Else the temporary file lands in the current directory.
  if (!*list.LOGFILE) return false;
  std::string target = RewriteTarget(list.LOGFILE);
  std::string temp;
  int fd = OpenRewrite(target, &temp);
  if (fd < 0) return false;
  std::FILE* out = fdopen(fd, "w");
  if (!out) {
    close(fd);
    if (!temp.empty()) unlink(temp.c_str());
    return false;
  }
  Progress(reporter, "Updating %s\n", list.LOGFILE);
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

// The log opened for reading. Null, with `*missing` set, when there is no
// log yet; null otherwise when what is there cannot be read as a log: only
// a regular file is one (a fifo would hold the run up at the open or the
// first read).
std::FILE* OpenLog(const char* path, bool* missing) {
  *missing = false;
  int fd = open(path, O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *missing = errno == ENOENT;
    return nullptr;
  }
  struct stat st;
  std::FILE* in = nullptr;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) in = fdopen(fd, "r");
  if (!in) close(fd);
  return in;
}

// Hands each line of `in` to `take`, whole and without its newline; closes
// `in`. False on a read error.
template <typename Take>
bool EachLine(std::FILE* in, Take take) {
  char* line = nullptr;
  size_t capacity = 0;
  ssize_t n;
  while ((n = getline(&line, &capacity, in)) > 0) {
    if (line[n - 1] == '\n') line[n - 1] = '\0';
    take(line);
  }
  std::free(line);
  bool read = !std::ferror(in);
  std::fclose(in);
  return read;
}

// Whether the log has the directory line of `path`; false, with `*failed`
// set, when it cannot be read.
bool HasDirectoryLine(const char* log, const std::string& path, bool* failed) {
  bool missing;
  std::FILE* in = OpenLog(log, &missing);
  *failed = !in && !missing;
  if (!in) return false;
  bool found = false;
  *failed = !EachLine(in, [&](const char* line) {
    if (line[0] == '*' && path == line + 1) found = true;
  });
  return found && !*failed;
}

char* Keep(LogList* list, const char* text) {
  return list->texts.emplace_back(text).data();
}

// Indexes every directory's entries by name, sized once for them.
void NameEntries(LogList* list) {
  for (const LogDir& dir : list->dirs) {
    size_t count = 0;
    for (const LogEntry* e = dir.entries; e; e = e->next) ++count;
    if (count == 0) continue;
    auto& names = list->by_name[&dir];
    names.reserve(count);
    // A walk finds the newest of equal names first; it is the one kept.
    for (LogEntry* e = dir.entries; e; e = e->next) names.emplace(e->name, e);
  }
  list->named = true;
}

// The entry of `name` that a walk of `dir`'s entries finds first.
LogEntry* FindEntry(LogList* list, const LogDir* dir, std::string_view name) {
  if (!list->named) NameEntries(list);
  auto names = list->by_name.find(dir);
  if (names == list->by_name.end()) return nullptr;
  auto found = names->second.find(name);
  return found == names->second.end() ? nullptr : found->second;
}

// The first LogDir in list order whose path is a prefix of `path`.
LogDir* FindRoot(const LogList& list, std::string_view path) {
  const LogList::Place* best = nullptr;
  for (size_t length : list.lengths) {
    if (length > path.size()) break;
    auto found = list.by_path.find(path.substr(0, length));
    if (found == list.by_path.end()) continue;
    if (!best || found->second.position < best->position) best = &found->second;
  }
  return best ? best->dir : nullptr;
}

// The LogDir of exactly `path`, appended at the list's end when missing.
LogDir* getptrptr(LogList* list, const char* path) {
  auto found = list->by_path.find(path);
  if (found != list->by_path.end()) return found->second.dir;
  LogDir* dir =
      &list->dirs.emplace_back(LogDir{Keep(list, path), nullptr, nullptr});
  (list->tail ? list->tail->next : list->first) = dir;
  std::string_view text(dir->dir);
  list->by_path.emplace(text, LogList::Place{dir, list->dirs.size() - 1});
  list->lengths.insert(text.size());
  list->tail = dir;
  return dir;
}

// A new entry pushed at the head of `dir`'s entries; its flag is 1 when
// `from` is given and differs from the list's CWD.
LogEntry* addtolist(LogList* list, LogDir* dir, const char* name,
                    const char* from) {
  LogEntry* entry = &list->entries.emplace_back();
  entry->name = Keep(list, name);
  entry->flag = from && list->CWD != from ? 1 : 0;
  entry->next = dir->entries;
  dir->entries = entry;
  // The newest of equal names is the one a walk of the list finds first.
  if (list->named) list->by_name[dir][entry->name] = entry;
  return entry;
}

}  // namespace

bool LockLog(int* lock, Reporter* reporter) {
  if (*lock >= 0) return true;
  const char* log = std::getenv("QUILLONLOG");
  if (!log || !*log) return true;
  std::string path = std::string(log) + ".lock";
  const int flags = O_NOCTTY | O_CLOEXEC | O_NONBLOCK;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | flags, 0666);
  // A lock file made by another user may be one this user can only read;
  // the lock does not need more.
  if (fd < 0 && errno == EACCES) fd = open(path.c_str(), O_RDONLY | flags);
  bool locked = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
  if (!locked && fd >= 0 && errno == EWOULDBLOCK) {
    Note(reporter, "quillon: waiting for another run using %s\n", log);
    int taken;
    while ((taken = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    locked = taken == 0;
  }
  if (!locked) {
    if (fd >= 0) close(fd);
    Fail(reporter, "quillon: cannot lock %s\n", path.c_str());
    return false;
  }
  *lock = fd;
  return true;
}

bool LoadDlist(LogList* list, Reporter* reporter) {
  list->LOGFILE = std::getenv("QUILLONLOG");
  if (!list->LOGFILE) return true;
  bool missing;
  std::FILE* in = OpenLog(list->LOGFILE, &missing);
  if (!in && missing) return true;
  bool read = false;
  if (in) {
    Progress(reporter, "Reading %s\n", list->LOGFILE);
    LogDir* current = nullptr;
    read = EachLine(in, [&](const char* line) {
      if (line[0] == '*') {
        current = getptrptr(list, line + 1);
      } else if (line[0] == '@' && current) {
        // An entry above every directory line has no directory: dropped.
        addtolist(list, current, line + 1, current->dir);
      }
    });
  }
  if (!read) Fail(reporter, "quillon: can't open log file\n");
  return read;
}

bool logdir(const std::string& cwd, const char* dir, int* lock,
            Reporter* reporter) {
  struct stat st;
  if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) {
    Fail(reporter, "quillon: %s is not a directory\n", dir);
    return false;
  }
  const char* logfile = std::getenv("QUILLONLOG");
  if (!logfile) {
    // Said, but not a failure of the run.
    Note(reporter, "quillon: QUILLONLOG enviroment variable not set\n");
    return true;
  }
  if (!LockLog(lock, reporter)) return false;
  std::string path = LogDirPath(cwd, dir);
  bool failed;
  if (HasDirectoryLine(logfile, path, &failed)) return true;
  std::FILE* out = failed ? nullptr : std::fopen(logfile, "a");
  if (!out) {
    Fail(reporter, "quillon: can't open log file\n");
    return false;
  }
  std::fprintf(out, "*%s\n", path.c_str());
  if (std::fclose(out) != 0) {
    Fail(reporter, "quillon: can't open log file\n");
    return false;
  }
  return true;
}

int inDlist(LogList* list, const char* file, LogEntry** entry) {
  LogPlace place;
  *entry = nullptr;
  if (LookUpLogged(list, file, &place)) return 1;
  *entry = EnterLogged(list, place);
  return 0;
}

int LookUpLogged(LogList* list, const char* file, LogPlace* place) {
  place->logged = false;
  // Without a current directory a relative name has no known place.
  if (file[0] != '/' && list->CWD.empty()) return 0;
  std::string path = MakePath(list->CWD, file);
  if (!FindRoot(*list, path)) return 0;

  place->logged = true;
  size_t slash = path.rfind('/');
  place->name = path.substr(slash + 1);
  place->dir = path.substr(0, slash);
  auto dir = list->by_path.find(place->dir);
  if (dir == list->by_path.end()) return 0;
  LogEntry* e = FindEntry(list, dir->second.dir, place->name);
  if (!e) return 0;
  list->LOGUPDATE = true;
  e->flag = 1;
  return 1;
}

LogEntry* EnterLogged(LogList* list, const LogPlace& place) {
  if (!place.logged) return nullptr;
  list->LOGUPDATE = true;
  LogDir* dir = getptrptr(list, place.dir.c_str());
  return addtolist(list, dir, place.name.c_str(), nullptr);
}

bool UpdateDlist(const LogList& list, const char* prefix, Reporter* reporter) {
  if (!list.LOGFILE || !list.LOGUPDATE) return true;
  if (RewriteLog(list, prefix, reporter)) return true;
  Fail(reporter, "quillon: can't open log file\n");
  return false;
}

std::string LogDirPath(const std::string& cwd, const char* dir) {
  // Without a current directory a relative path has no known place; an
  // empty one stays the prefix of every directory.
  if (!dir[0] || (dir[0] != '/' && cwd.empty())) return dir;
  return MakePath(cwd, dir);
}

std::string MakePath(const std::string& cwd, const char* path) {
  if (path[0] == '/') return NormalisePath(path);
  std::string absolute = cwd;
  absolute += '/';
  absolute += path;
  return NormalisePath(absolute);
}

std::string NormalisePath(std::string_view path) {
  std::string out;
  out.reserve(path.size() + 1);
  while (!path.empty()) {
    size_t end = path.find('/');
    std::string_view part = path.substr(0, end);
    path.remove_prefix(end == std::string_view::npos ? path.size() : end + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      // The root's parent is the root.
      out.erase(std::min(out.size(), out.rfind('/')));
      continue;
    }
    out += '/';
    out += part;
  }
  if (out.empty()) out.push_back('/');
  return out;
}
