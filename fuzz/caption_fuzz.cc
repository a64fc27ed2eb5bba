// Caption analysis on arbitrary text: part numbers, file names, dates,
// posters and keyword scores of subject and header lines.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/caption.h"
#include "reporter.h"

namespace {

// An exact-size NUL-terminated copy, so that any read past the text hits a
// redzone.
std::vector<char> Text(const uint8_t* data, size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  return text;
}

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

// The keyword notes of KeySplit go nowhere: printed for every input they
// slow the run and fill gigabytes of log.
Reporter g_reporter;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::FILE* null = std::fopen("/dev/null", "w");
  if (!null) std::abort();
  g_reporter.out = null;
  g_reporter.err = null;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int part = 0, total = 0;
  std::vector<char> raw = Text(data, size);
  GetNum(raw.data(), &part, &total);
  std::vector<char> upper = Text(data, size);
  upcase(upper.data());
  GetNum(upper.data(), &part, &total);

  std::string name;
  std::vector<char> subject = Text(data, size);
  upcase(subject.data());
  GetFileName(subject.data(), &name);
  Check(name.size() <= size && name.find('\0') == std::string::npos);

  std::vector<char> date = Text(data, size);
  GetTime(date.data());

  std::vector<char> from = Text(data, size);
  const char* poster = userid(from.data());
  Check(std::strcmp(poster, "NONE!") == 0 ||
        (poster >= from.data() && poster < from.data() + from.size()));

  // First line: the -keywords text; the rest: the subject it scores.
  std::vector<char> keys = Text(data, size);
  char* rest = std::strchr(keys.data(), '\n');
  if (rest) *rest++ = '\0';
  char* table[kMaxKeywords];
  int count = 0;
  KeySplit(table, keys.data(), &count, &g_reporter);
  Check(count >= 0 && count <= kMaxKeywords);
  int score = keycheck(rest ? rest : "", table, count);
  Check(score >= -count && score <= count);

  std::vector<char> words = Text(data, size);
  FormatStr(words.data());
  return 0;
}
