#include "decoding/pass.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string_view>

#include "decoding/dosname.h"
#include "decoding/pass_index.h"
#include "log/log.h"

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

bool LeavesOutputDir(const char* name) {
  std::string_view rest(name);
  if (!rest.empty() && rest[0] == '/') return true;
  while (true) {
    size_t slash = rest.find('/');
    if (rest.substr(0, slash) == "..") return true;
    if (slash == std::string_view::npos) return false;
    rest.remove_prefix(slash + 1);
  }
}

// The check and the open are one step, so no link can be slipped in
// between.
int CreateOutputFd(const char* path) {
  return open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0666);
}

std::string ClashFreeName(const Pass* pass, const std::string& name, int group,
                          bool taken, size_t max_length) {
  auto written = pass->written.find(name);
  bool clash =
      taken || (written != pass->written.end() && written->second != group);
  if (!clash) return name;
  for (uint64_t count = 1;; ++count) {
    std::string candidate = Numbered(name, count, max_length);
    if (!pass->written.count(candidate)) return candidate;
  }
}
