// The plain list algorithms that the indexed ones must match exactly. Built
// into the tests only: they walk whole lists and are quadratic on purpose.
#ifndef QUILLON_REFERENCE_REFERENCE_H_
#define QUILLON_REFERENCE_REFERENCE_H_

#include <cstdint>
#include <string>

#include "log/log.h"
#include "quillon.h"
#include "reporter.h"

void RefAddtoFlist(Segment** head, Segment* seg);
// The poster names back to back, each with its NUL, walked from the start.
struct RefPosterPool {
  std::string buf;
  int nitems = 0;
};
int RefGetId(RefPosterPool* pool, const char* s);
void RefSortFiles(Segment** head, Reporter* reporter);
// Each poster run swept with neighbour exchanges until a sweep changes
// nothing: what Reorder must reproduce.
void RefExchangeSort(Segment** head);
char* RefSharedBeginName(Records* records, Segment* catalogue,
                         const char* name);

int64_t Refmaxseek(Segment* list, Segment* seg, int64_t limit);
// clean without the pass's memory of removed files: unlinks every time.
void Refclean(Segment* list, const Options& options);
void Refcheckname(Records* records, Segment* list, char* name);

// The log on a plain list of its own nodes.
LogDir* Refgetptrptr(LogDir** link, const char* path);
LogEntry* Refaddtolist(LogEntry* first, const char* name, const char* dir,
                       const std::string& cwd);
// Sets *logupdate where the log list changes.
int RefinDlist(LogDir** list, const char* file, LogEntry** entry,
               const std::string& cwd, bool* logupdate);

#endif  // QUILLON_REFERENCE_REFERENCE_H_
