#include <cstring>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

#include "quillon.h"

bool DEL = false;
bool QUIET = false;
const char* DESTDIR = nullptr;
int FMODE = 0;
bool PLAIN = false;
bool DIR = false;
bool EXT = false;
const char* ERRFILE = nullptr;
bool DOS = false;
bool LOGUPDATE = false;
const char* LOGFILE = nullptr;
std::string CWD;
const char* const MARKER = "*";

namespace {

// Records and strings are never freed before exit; keeping them here keeps
// them reachable, so leak checkers see no leak.
std::deque<Segment>& Segments() {
  static std::deque<Segment> store;
  return store;
}

std::vector<std::unique_ptr<char[]>>& Strings() {
  static std::vector<std::unique_ptr<char[]>> store;
  return store;
}

std::unordered_map<const char*, uint64_t>& WideCounts() {
  static std::unordered_map<const char*, uint64_t> counts;
  return counts;
}

char* Keep(size_t size) {
  Strings().push_back(std::make_unique<char[]>(size));
  return Strings().back().get();
}

}  // namespace

Segment* NewSegment() { return &Segments().emplace_back(); }

char* NewBeginName(const char* name) {
  size_t n = std::strlen(name);
  char* block = Keep(n + 2);
  std::memcpy(block, name, n + 1);
  block[n + 1] = 0;
  return block;
}

uint64_t& WideUseCount(const char* begin) { return WideCounts()[begin]; }

char* NewString(const char* s) {
  size_t n = std::strlen(s);
  char* copy = Keep(n + 1);
  std::memcpy(copy, s, n + 1);
  return copy;
}

void ResetOptions() {
  DEL = QUIET = PLAIN = DIR = EXT = DOS = false;
  DESTDIR = ERRFILE = nullptr;
  FMODE = 0;
  LOGUPDATE = false;
  LOGFILE = nullptr;
}

void ReleaseRecords() {
  std::deque<Segment>().swap(Segments());
  std::vector<std::unique_ptr<char[]>>().swap(Strings());
  std::unordered_map<const char*, uint64_t>().swap(WideCounts());
}
