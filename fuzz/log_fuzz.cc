// The processed-file log: an arbitrary log file is read, looked up, and
// written back. Each input runs in a child, since the log's stores only grow
// and LOGFILE is process-wide.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fork_run.h"
#include "log/log.h"
#include "quillon.h"

namespace {

void Lookup(LogDir** list, const std::string& file) {
  LogEntry* entry = nullptr;
  inDlist(list, file.c_str(), &entry);
}

void RunLog(const std::string& dir, const std::string& text) {
  std::string log = dir + "/log";
  std::ofstream(log, std::ios::binary) << text;
  setenv("QUILLONLOG", log.c_str(), 1);
  ResetOptions();
  CWD = dir;

  LogDir* list = nullptr;
  LoadDlist(&list);
  Lookup(&list, "1");
  Lookup(&list, "../../x/2");
  Lookup(&list, "/3");
  // Files under the logged directories themselves, and their neighbours.
  for (LogDir* d = list; d; d = d->next) {
    Lookup(&list, std::string(d->dir) + "/4");
    Lookup(&list, std::string(d->dir) + "5");
    if (d->entries) Lookup(&list, std::string(d->dir) + "/" + d->entries->name);
  }
  MakePath(text.c_str());
  UpdateDlist(list, list ? list->dir : ".:.");

  // What was written back must read again.
  LogDir* again = nullptr;
  LoadDlist(&again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  RunInChild([&](const std::string& dir) { RunLog(dir, text); });
  return 0;
}
