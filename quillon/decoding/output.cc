#include "decoding/output.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "decoding/dosname.h"
#include "log/log.h"

namespace {

// A hidden name that the run takes for itself: created exclusively, so a
// file that happens to have such a name is never touched.
constexpr char kTempPattern[] = "/.quillon-XXXXXX";

bool CreateNamed(OutputFile* file, const std::string& dir) {
  std::vector<char> name(dir.begin(), dir.end());
  name.insert(name.end(), kTempPattern, kTempPattern + sizeof kTempPattern);
  int fd = mkostemp(name.data(), O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  file->fd = fd;
  file->temp = name.data();
  return true;
}

// The file systems without unnamed files answer one of these.
bool NoUnnamedFiles(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL ||
         error == ENOENT;
}

// Links the file in at `path`; fails with EEXIST when something is there.
bool Link(OutputFile* file, const std::string& path) {
  if (!file->temp.empty()) {
    if (link(file->temp.c_str(), path.c_str()) == 0) {
      unlink(file->temp.c_str());
      file->temp.clear();
      return true;
    }
    // A file system without hard links may still rename without replacing.
    if (errno != EPERM && errno != EOPNOTSUPP) return false;
    if (renameat2(AT_FDCWD, file->temp.c_str(), AT_FDCWD, path.c_str(),
                  RENAME_NOREPLACE) != 0)
      return false;
    file->temp.clear();
    return true;
  }
  if (linkat(file->fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0)
    return true;
  if (errno == EEXIST) return false;
  // Without the right to link by descriptor, through its /proc entry.
  std::string proc = "/proc/self/fd/" + std::to_string(file->fd);
  return linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, path.c_str(),
                AT_SYMLINK_FOLLOW) == 0;
}

bool ReadAll(int fd, off_t at, char* buf, size_t n) {
  while (n > 0) {
    ssize_t got = pread(fd, buf, n, at);
    if (got <= 0) return false;
    buf += got;
    n -= static_cast<size_t>(got);
    at += got;
  }
  return true;
}

// Whether a regular file (not a link) at `path` holds exactly the bytes of
// `fd`: sizes first, then the bytes.
bool SameBytes(int fd, const std::string& path) {
  struct stat mine;
  if (fstat(fd, &mine) != 0) return false;
  // Non-blocking: a fifo slipped in at the name must not stop the run.
  int other =
      open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (other < 0) return false;
  struct stat theirs;
  bool same = fstat(other, &theirs) == 0 && S_ISREG(theirs.st_mode) &&
              theirs.st_size == mine.st_size;
  constexpr size_t kChunk = 64 * 1024;
  std::vector<char> a(same ? kChunk : 0), b(same ? kChunk : 0);
  for (off_t at = 0; same && at < mine.st_size;) {
    size_t n = static_cast<size_t>(
        std::min<off_t>(static_cast<off_t>(kChunk), mine.st_size - at));
    same = ReadAll(fd, at, a.data(), n) && ReadAll(other, at, b.data(), n) &&
           std::memcmp(a.data(), b.data(), n) == 0;
    at += static_cast<off_t>(n);
  }
  close(other);
  return same;
}

}  // namespace

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool CreateOutputFile(OutputFile* file, const std::string& path, bool unnamed) {
  *file = OutputFile();
  std::string dir = DirectoryOf(path);
  if (unnamed) {
    file->fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (file->fd >= 0) return true;
    if (!NoUnnamedFiles(errno)) return false;
  }
  return CreateNamed(file, dir);
}

Placement PlaceOutputFile(OutputFile* file, const std::string& path) {
  // A name that is freed between the try and the look is tried again.
  for (int tries = 0; tries < 3; ++tries) {
    if (Link(file, path)) return Placement::kPlaced;
    if (errno != EEXIST) return Placement::kFailed;
    struct stat there;
    if (lstat(path.c_str(), &there) != 0) {
      if (errno == ENOENT) continue;
      return Placement::kTaken;
    }
    if (!S_ISREG(there.st_mode)) return Placement::kTaken;
    return SameBytes(file->fd, path) ? Placement::kSame : Placement::kTaken;
  }
  return Placement::kTaken;
}

void DropOutputFile(OutputFile* file) {
  if (file->fd >= 0) close(file->fd);
  if (!file->temp.empty()) unlink(file->temp.c_str());
  *file = OutputFile();
}

std::string CreatePath(const Options& options, const char* name) {
  std::string path;
  if (options.DESTDIR) {
    path = options.DESTDIR;
    path += '/';
  }
  path += name;
  return path;
}

char* BaseName(char* name) {
  if (char* slash = std::strrchr(name, '/')) {
    std::memmove(name, slash + 1, std::strlen(slash + 1) + 1);
  }
  return name;
}

std::string OutputName(const Options& options, const std::string& name) {
  // dosname writes a counter byte behind the terminator.
  std::vector<char> buf(name.size() + 2, '\0');
  std::copy(name.begin(), name.end(), buf.begin());
  if (!options.DIR) BaseName(buf.data());
  if (options.DOS) dosname(buf.data());
  return buf.data();
}

bool RefusedName(const char* name) {
  std::string_view rest(name);
  if (!rest.empty() && rest[0] == '/') return true;
  while (true) {
    size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    if (part == "..") return true;
    if (slash == std::string_view::npos) return part.empty() || part == ".";
    rest.remove_prefix(slash + 1);
  }
}

namespace {

// The name with number `count`: NAME.1, or under -dos a numbered 8.3 name.
std::string Numbered(bool dos, const std::string& name, uint64_t count,
                     size_t max_length) {
  if (dos) return NumberedDosName(name, count);
  // Appended, not prepended to a literal: g++ 12 at -O3 warns falsely
  // (-Wrestrict) about a literal in front of a temporary string.
  std::string suffix(1, '.');
  suffix += std::to_string(count);
  size_t room = max_length - suffix.size();
  return name.substr(0, room) + suffix;
}

}  // namespace

bool StartOutputFile(PassOutput* output, const NameSearch& names,
                     OutputFile* file) {
  std::string path = CreatePath(*output->options, names.first.c_str());
  if (!RefusedName(names.first.c_str()) &&
      CreateOutputFile(file, path, output->unnamed_files))
    return true;
  Fail(output->reporter, "quillon: unable to create %s\n", path.c_str());
  output->outcome.failed = true;
  return false;
}

bool CommitOutputFile(PassOutput* output, OutputFile* file,
                      const NameSearch& names, std::string* name) {
  // Enough for any directory a user keeps; beyond it the names repeat
  // under -dos.
  constexpr uint64_t kMostNames = uint64_t{1} << 24;
  std::string candidate = names.first;
  for (uint64_t count = 0; count < kMostNames;) {
    auto written = output->written.find(candidate);
    bool other =
        written != output->written.end() && written->second != names.owner;
    if (!other && !RefusedName(candidate.c_str())) {
      Placement placed = PlaceOutputFile(
          file, CreatePath(*output->options, candidate.c_str()));
      if (placed == Placement::kFailed) break;
      if (placed != Placement::kTaken) {
        output->written[candidate] = names.owner;
        *name = candidate;
        return true;
      }
    }
    do {
      candidate =
          Numbered(output->options->DOS, names.base, ++count, names.max_length);
    } while (candidate == names.first);
  }
  Fail(output->reporter, "quillon: unable to create %s\n",
       CreatePath(*output->options, names.first.c_str()).c_str());
  output->outcome.failed = true;
  return false;
}

int PlainOwner(PassOutput* output) { return -++output->plain_files; }

mode_t CreationMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

mode_t NewFileMode(const PassOutput& output) {
  int fmode = output.options->FMODE;
  return fmode ? static_cast<mode_t>(fmode) : output.creation_mode;
}

std::string FreeNumberedName(const PassOutput* output, const std::string& name,
                             size_t max_length) {
  for (uint64_t count = 1;; ++count) {
    std::string candidate =
        Numbered(output->options->DOS, name, count, max_length);
    if (!output->written.count(candidate)) return candidate;
  }
}

namespace {

// The file of `path` in `index` (a PassIndex, const or not), or null.
template <typename Index>
auto* FindArticleFile(Index& index, const char* path) {
  auto it = std::lower_bound(index.files.begin(), index.files.end(), path,
                             [](const ArticleFile& f, const char* p) {
                               return std::less<const char*>()(f.path, p);
                             });
  return it != index.files.end() && it->path == path ? &*it : nullptr;
}

}  // namespace

void BeginPassIndex(PassOutput* output, Segment* list) {
  auto index = std::make_unique<PassIndex>();
  index->list = list;
  size_t n = 0;
  for (Segment* s = list; s; s = s->next) ++n;
  std::vector<Segment*>& segments = index->segments;
  segments.reserve(n);
  for (Segment* s = list; s; s = s->next) segments.push_back(s);
  std::stable_sort(segments.begin(), segments.end(),
                   [](const Segment* a, const Segment* b) {
                     return std::less<const char*>()(a->path, b->path);
                   });
  index->offsets.reserve(n);
  for (const Segment* s : segments) index->offsets.push_back(s->offset);
  size_t files = 0;
  for (size_t i = 0; i < n; ++i)
    if (i == 0 || segments[i]->path != segments[i - 1]->path) ++files;
  index->files.reserve(files);
  for (size_t first = 0; first < n;) {
    size_t end = first;
    uint32_t unprocessed = 0;
    for (; end < n && segments[end]->path == segments[first]->path; ++end)
      if (segments[end]->mark == 0) ++unprocessed;
    index->files.push_back({segments[first]->path, static_cast<uint32_t>(first),
                            static_cast<uint32_t>(end - first), unprocessed,
                            0});
    std::sort(index->offsets.begin() + static_cast<ptrdiff_t>(first),
              index->offsets.begin() + static_cast<ptrdiff_t>(end));
    first = end;
  }
  // A file that is finished already is cleaned at the first call, in the
  // order the files first appear in the list.
  for (Segment* s = list; s; s = s->next) {
    const ArticleFile* f = FindArticleFile(*index, s->path);
    if (f->unprocessed == 0 && segments[f->first] == s)
      index->finished.push_back(f);
  }
  output->index = std::move(index);
}

void EndPassIndex(PassOutput* output) { output->index.reset(); }

bool PassIndexed(const PassOutput& output, const Segment* list) {
  return output.index && output.index->list == list && list;
}

int64_t maxseek(const PassOutput& output, Segment* list, Segment* seg,
                int64_t limit) {
  if (!PassIndexed(output, list)) return limit;  // no pass, no other segment
  const ArticleFile* f = FindArticleFile(*output.index, seg->path);
  if (!f) return limit;
  // The first offset above seg's own; another segment at the same offset
  // never ends the window.
  auto first = output.index->offsets.begin() + f->first;
  auto end = first + f->count;
  auto next = std::upper_bound(first, end, seg->offset);
  if (next != end && *next < limit) return *next;
  return limit;
}

void MarkProcessed(PassOutput* output, Segment* seg) {
  bool was_open = seg->mark == 0;
  seg->mark = 1;
  if (!output->index || !was_open) return;
  ArticleFile* f = FindArticleFile(*output->index, seg->path);
  if (!f) return;
  if (--f->unprocessed == 0 && f->holds == 0)
    output->index->finished.push_back(f);
}

void HoldFile(PassOutput* output, const Segment* seg) {
  if (!output->index) return;
  ArticleFile* f = FindArticleFile(*output->index, seg->path);
  if (f) ++f->holds;
}

void ReleaseFile(PassOutput* output, const Segment* seg) {
  if (!output->index) return;
  ArticleFile* f = FindArticleFile(*output->index, seg->path);
  if (!f || f->holds == 0) return;
  if (--f->holds == 0 && f->unprocessed == 0)
    output->index->finished.push_back(f);
}

namespace {

// Removes and flags one finished article file; its segments all share it.
void CleanFile(bool del, Segment* const* segments, size_t count,
               std::unordered_set<const char*>* removed) {
  for (Segment* p : std::span(segments, count)) {
    if (p->mark != 1) continue;
    if (del && p->path && !removed->count(p->path)) {
      unlink(p->path);
      removed->insert(p->path);
    }
    if (p->logentry) p->logentry->flag = 1;
  }
}

}  // namespace

// Only the files finished since the last call can change: the others were
// removed and flagged when they were finished.
void CleanFinished(PassOutput* output) {
  if (!PassIndexed(*output, output->list)) return;
  for (const ArticleFile* f : output->index->finished)
    CleanFile(output->options->DEL, output->index->segments.data() + f->first,
              f->count, &output->removed);
  output->index->finished.clear();
}

void Processed(PassOutput* output, Segment* seg) {
  MarkProcessed(output, seg);
  CleanFinished(output);
}

void BeginOutput(PassOutput* output, Segment* list, const Options& options,
                 Records* records, Reporter* reporter, const PassWays& ways) {
  output->options = &options;
  output->records = records;
  output->reporter = reporter;
  // An unnamed file gets its name by descriptor, which before Linux 6.10
  // only root may do, or through /proc; without /proc a hidden name is the
  // way that always works.
  output->unnamed_files =
      ways.unnamed_files && access("/proc/self/fd", X_OK) == 0;
  output->list = list;
  BeginPassIndex(output, list);
}

void EndOutput(PassOutput* output) { EndPassIndex(output); }
