#include "driver/options.h"

#include <sys/stat.h>

#include <cstring>
#include <iterator>

#include "quillon.h"
#include "reporter.h"

namespace {

const char* const kOptions[] = {
    "-delete",   "-quiet",  "-extended", "-dest",  "-mode", "-plain", "-dir",
    "-keywords", "-errors", "-log",      "-unlog", "-dos",  "-files",
};

// Follows every complaint about the command line.
void TryHelp(Reporter* reporter) { Fail(reporter, "Try 'quillon --help'.\n"); }

bool IsDirectory(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

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
         option == kErrors || option == kLog || option == kUnlog ||
         option == kFiles;
}

bool ParseMode(const char* text, int* mode) {
  size_t n = std::strlen(text);
  if (n < 1 || n > 4 || std::strspn(text, "01234567") != n) return false;
  int value = 0;
  for (const char* p = text; *p; ++p) value = value * 8 + (*p - '0');
  *mode = value;
  return true;
}

bool CheckOptions(int argc, char** argv, int* first, const char** list,
                  Reporter* reporter) {
  *list = nullptr;
  int arg = 1;
  for (; arg < argc && argv[arg][0] == '-'; ++arg) {
    const char* word = argv[arg];
    int option = GetOption(word);
    if (option == 0) {
      Fail(reporter,
           "quillon: ambiguous or unknown command line option \"%s\"\n", word);
      TryHelp(reporter);
      return false;
    }
    if (!TakesArgument(option)) continue;
    // The value is the next word, whatever it looks like.
    if (++arg == argc) {
      Fail(reporter, "quillon: option \"%s\" needs a value\n", word);
      TryHelp(reporter);
      return false;
    }
    const char* value = argv[arg];
    int mode = 0;
    if (option == kMode && !ParseMode(value, &mode)) {
      Fail(reporter, "quillon: bad mode \"%s\"\n", value);
      TryHelp(reporter);
      return false;
    }
    // Found now, not once every article has been read and every file
    // failed to be created.
    if (option == kDest && !IsDirectory(value)) {
      Fail(reporter, "quillon: %s is not a directory\n", value);
      TryHelp(reporter);
      return false;
    }
    if (option == kFiles) {
      if (*list) {
        Fail(reporter, "quillon: option \"%s\" can be given only once\n", word);
        TryHelp(reporter);
        return false;
      }
      *list = value;
    }
  }
  *first = arg;
  return true;
}

void SetOption(int option, char* value, Options* options, Keywords* keywords,
               Reporter* reporter) {
  if (TakesArgument(option) && !value) return;
  switch (option) {
    case kDelete:
      options->DEL = true;
      break;
    case kQuiet:
      options->QUIET = true;
      reporter->quiet = true;
      break;
    case kExtended:
      options->EXT = true;
      break;
    case kDest:
      options->DESTDIR = value;
      break;
    case kMode:
      ParseMode(value, &options->FMODE);
      break;
    case kPlain:
      options->PLAIN = true;
      break;
    case kDir:
      options->DIR = true;
      break;
    case kKeywords:
      KeySplit(keywords->table, value, &keywords->count, reporter);
      break;
    case kErrors:
      options->ERRFILE = value;
      break;
    case kDos:
      options->DOS = true;
      break;
  }
}
