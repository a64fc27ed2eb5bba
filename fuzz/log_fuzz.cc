// The processed-file log: an arbitrary log file is read, looked up, written
// back, and read again, which must give the directories and flagged entries
// that were written.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "in_process.h"
#include "log/log.h"
#include "quillon.h"
#include "reporter.h"

namespace {

void Lookup(LogList* list, const std::string& file) {
  LogEntry* entry = nullptr;
  inDlist(list, file.c_str(), &entry);
}

bool StartsWith(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// A normal path is its own normal form, and an absolute one (made against
// `cwd`) has no ".", ".." or empty component left.
void CheckNormal(const std::string& cwd, const std::string& path) {
  std::string normal = NormalisePath(path);
  if (NormalisePath(normal) != normal) Fail("a normal path normalised again");
  std::string absolute = MakePath(cwd, path.c_str());
  if (absolute == "/") return;
  std::string ended = absolute + "/";
  if (absolute[0] != '/' || absolute.back() == '/' ||
      ended.find("//") != std::string::npos ||
      ended.find("/./") != std::string::npos ||
      ended.find("/../") != std::string::npos)
    Fail("an absolute path not normalised");
}

// The directories and entries that a rewrite leaving out `prefix` (if
// given) writes, or that a load gives: a load pushes each entry at the head,
// and entries of the list's CWD load unflagged.
std::string Written(const LogList& list, const char* prefix, bool loaded) {
  std::string out;
  for (const LogDir* d = list.first; d; d = d->next) {
    if (prefix && StartsWith(d->dir, prefix)) continue;
    out += std::string("*") + d->dir + "\n";
    std::string entries;
    for (const LogEntry* e = d->entries; e; e = e->next) {
      std::string line = std::string("@") + e->name + "\n";
      if (loaded && e->flag != (list.CWD != d->dir ? 1 : 0))
        Fail("entry loaded with the wrong flag");
      if (loaded) entries.insert(0, line);
      if (!loaded && e->flag) entries += line;
    }
    out += entries;
  }
  return out;
}

void RunLog(const std::string& dir, const std::string& text) {
  std::string log = dir + "/log";
  std::ofstream(log, std::ios::binary) << text;
  setenv("QUILLONLOG", log.c_str(), 1);
  Reporter reporter;  // standard output and error, as BeginInput set them

  LogList list;
  list.CWD = dir;
  if (!LoadDlist(&list, &reporter)) Fail("the log could not be read");
  Lookup(&list, "1");
  Lookup(&list, "../../x/2");
  Lookup(&list, "/3");
  // Files under the logged directories themselves, and their neighbours.
  for (LogDir* d = list.first; d; d = d->next) {
    Lookup(&list, std::string(d->dir) + "/4");
    Lookup(&list, std::string(d->dir) + "5");
    if (d->entries) Lookup(&list, std::string(d->dir) + "/" + d->entries->name);
  }
  CheckNormal(list.CWD, text);
  std::string prefix = list.first ? list.first->dir : ".:.";
  list.LOGUPDATE = true;
  bool rewritten = UpdateDlist(list, prefix.c_str(), &reporter);
  EndInput();
  if (!rewritten) Fail("the log could not be rewritten");

  LogList again;
  again.CWD = dir;
  if (!LoadDlist(&again, &reporter)) Fail("the log written could not be read");
  if (Written(again, nullptr, true) != Written(list, prefix.c_str(), false))
    Fail("the log read back differs from what was written");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  RunLog(BeginInput(), text);
  return 0;
}
