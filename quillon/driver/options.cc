#include "driver/options.h"

#include <cstring>
#include <iterator>

#include "quillon.h"
#include "text.h"

namespace {

const char* const kOptions[] = {
    "-delete", "-quiet",    "-extended", "-dest", "-mode",  "-plain",
    "-dir",    "-keywords", "-errors",   "-log",  "-unlog", "-dos",
};

}  // namespace

int GetOption(const char* word) {
  size_t n = std::strlen(word);
  int found = 0;
  for (int i = 0; i < static_cast<int>(std::size(kOptions)); ++i) {
    if (std::strncmp(kOptions[i], word, n) == 0 &&
        std::strlen(kOptions[i]) >= n) {
      if (found) return 0;
      found = i + 1;
    }
  }
  return found;
}

bool TakesArgument(int option) {
  return option == kDest || option == kMode || option == kKeywords ||
         option == kErrors || option == kLog || option == kUnlog;
}

void SetOption(int option, char* value, Keywords* keywords) {
  if (TakesArgument(option) && !value) return;
  switch (option) {
    case kDelete:
      DEL = true;
      break;
    case kQuiet:
      QUIET = true;
      break;
    case kExtended:
      EXT = true;
      break;
    case kDest:
      DESTDIR = value;
      break;
    case kMode: {
      const char* mode = value;
      ScanOctal(&mode, &FMODE);
      break;
    }
    case kPlain:
      PLAIN = true;
      break;
    case kDir:
      DIR = true;
      break;
    case kKeywords:
      KeySplit(keywords->table, value, &keywords->count);
      break;
    case kErrors:
      ERRFILE = value;
      break;
    case kDos:
      DOS = true;
      break;
  }
}
