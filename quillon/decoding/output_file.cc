#include "decoding/output_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "testing.h"

namespace {

bool g_unnamed = true;

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

bool CreateOutputFile(OutputFile* file, const std::string& path) {
  *file = OutputFile();
  std::string dir = DirectoryOf(path);
  // An unnamed file gets its name by descriptor, which before Linux 6.10
  // only root may do, or through /proc; without /proc a hidden name is the
  // way that always works.
  static const bool linkable = access("/proc/self/fd", X_OK) == 0;
  if (g_unnamed && linkable) {
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

void UseUnnamedTemporaryFiles(bool on) { g_unnamed = on; }
