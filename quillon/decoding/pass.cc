#include "decoding/pass.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "decoding/dosname.h"
#include "decoding/pass_index.h"
#include "log/log.h"
#include "message.h"

namespace {

// Removes and flags one finished article file; its segments all share it.
// `removed`, when given, holds the files removed before.
void CleanFile(const std::vector<Segment*>& segments,
               std::unordered_set<const char*>* removed) {
  for (Segment* p : segments) {
    if (p->mark != 1) continue;
    if (DEL && p->path && !(removed && removed->count(p->path))) {
      unlink(p->path);
      if (removed) removed->insert(p->path);
    }
    if (p->logentry) p->logentry->flag = 1;
  }
}

// Only the files finished since the last call can change: the others were
// removed and flagged when they were finished.
void CleanFiles(Segment* list, std::unordered_set<const char*>* removed) {
  if (!PassIndexed(list)) return;
  for (const std::vector<Segment*>* file : TakeFinishedFiles())
    CleanFile(*file, removed);
}

// The name with number `count`: NAME.1, or under -dos a numbered 8.3 name.
std::string Numbered(const std::string& name, uint64_t count,
                     size_t max_length) {
  if (DOS) return NumberedDosName(name, count);
  // Appended, not prepended to a literal: g++ 12 at -O3 warns falsely
  // (-Wrestrict) about a literal in front of a temporary string.
  std::string suffix(1, '.');
  suffix += std::to_string(count);
  size_t room = max_length - suffix.size();
  return name.substr(0, room) + suffix;
}

}  // namespace

void clean(Segment* list) { CleanFiles(list, nullptr); }

void CleanFinished(Pass* pass) { CleanFiles(pass->list, &pass->removed); }

void Processed(Pass* pass, Segment* seg) {
  MarkProcessed(seg);
  CleanFinished(pass);
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

bool StartOutputFile(Pass* pass, const NameSearch& names, OutputFile* file) {
  const char* path = CreatePath(names.first.c_str());
  if (!RefusedName(names.first.c_str()) && CreateOutputFile(file, path))
    return true;
  ErrorLine("quillon: unable to create %s\n", path);
  pass->outcome.failed = true;
  return false;
}

bool CommitOutputFile(Pass* pass, OutputFile* file, const NameSearch& names,
                      std::string* name) {
  // Enough for any directory a user keeps; beyond it the names repeat
  // under -dos.
  constexpr uint64_t kMostNames = uint64_t{1} << 24;
  std::string candidate = names.first;
  for (uint64_t count = 0; count < kMostNames;) {
    auto written = pass->written.find(candidate);
    bool other =
        written != pass->written.end() && written->second != names.owner;
    if (!other && !RefusedName(candidate.c_str())) {
      Placement placed = PlaceOutputFile(file, CreatePath(candidate.c_str()));
      if (placed == Placement::kFailed) break;
      if (placed != Placement::kTaken) {
        pass->written[candidate] = names.owner;
        *name = candidate;
        return true;
      }
    }
    do {
      candidate = Numbered(names.base, ++count, names.max_length);
    } while (candidate == names.first);
  }
  ErrorLine("quillon: unable to create %s\n", CreatePath(names.first.c_str()));
  pass->outcome.failed = true;
  return false;
}

int PlainOwner(Pass* pass) { return -++pass->plain_files; }

mode_t CreationMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

std::string FreeNumberedName(const Pass* pass, const std::string& name,
                             size_t max_length) {
  for (uint64_t count = 1;; ++count) {
    std::string candidate = Numbered(name, count, max_length);
    if (!pass->written.count(candidate)) return candidate;
  }
}
