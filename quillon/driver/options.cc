#include "options.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

#include "../catalogue/caption.h"
#include "../catalogue/grouping.h"
#include "../catalogue/poster_pool.h"
#include "../decoding/decode.h"
#include "../log/log.h"
#include "../quillon.h"
#include "../text.h"
#include "quillon_version.h"
#include "scanner.h"
#include "usage.h"

namespace {

const char* const kOptions[] = {
    "-delete", "-quiet", "-extended", "-dest",  "-mode",  "-plain",
    "-dir",    "-keywords", "-errors", "-log", "-unlog", "-dos",
};

enum Option {
  kDelete = 1, kQuiet, kExtended, kDest, kMode, kPlain,
  kDir, kKeywords, kErrors, kLog, kUnlog, kDos,
};

bool TakesArgument(int option) {
  return option == kDest || option == kMode || option == kKeywords ||
         option == kErrors || option == kLog || option == kUnlog;
}

// Reads CWD without any length limit; empty when it cannot be read.
void ReadCwd() {
  std::vector<char> buf(256);
  while (getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) {
      CWD.clear();
      return;
    }
    buf.resize(buf.size() * 2);
  }
  CWD = buf.data();
}

// State that lives for the whole run; kept here so that it stays reachable.
LogDir* g_log_list = nullptr;
Segment* g_catalogue = nullptr;
PosterPool g_pool;
char* g_keywords[kMaxKeywords];
int g_keyword_count = 0;

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

int QuillonMain(int argc, char** argv) {
  // Only these two exact first words; any other "--" word stays unknown.
  int status = 0;
  if (HelpOrVersion(argc, argv, &status)) return status;
  g_log_list = nullptr;
  ReadCwd();
  g_catalogue = nullptr;
  meminit(&g_pool, 256);
  bool stop = false;
  g_keyword_count = 0;
  int arg = 1;

  while (arg < argc && argv[arg][0] == '-') {
    int option = GetOption(argv[arg]);
    if (option == 0) {
      std::fprintf(stderr,
                   "quillon: ambiguous or unknown command line option "
                   "\"%s\"\n",
                   argv[arg]);
      return 1;
    }
    if (TakesArgument(option)) {
      ++arg;
      if (option == kLog || option == kUnlog) stop = true;
      if (arg < argc) {
        char* value = argv[arg];
        switch (option) {
          case kDest: DESTDIR = value; break;
          case kMode: {
            const char* mode = value;
            ScanOctal(&mode, &FMODE);
            break;
          }
          case kKeywords:
            KeySplit(g_keywords, value, &g_keyword_count);
            break;
          case kErrors: ERRFILE = value; break;
          case kLog: logdir(value); break;
          case kUnlog:
            LoadDlist(&g_log_list);
            LOGUPDATE = true;
            UpdateDlist(g_log_list, LogDirPath(value).c_str());
            break;
        }
      }
    } else {
      switch (option) {
        case kDelete: DEL = true; break;
        case kQuiet: QUIET = true; break;
        case kExtended: EXT = true; break;
        case kPlain: PLAIN = true; break;
        case kDir: DIR = true; break;
        case kDos: DOS = true; break;
      }
    }
    ++arg;
  }

  const int first = arg;
  if (stop) return FAILED ? 1 : 0;
  if (!QUIET) std::printf("Quillon ver %s\n", QUILLON_VERSION);
  if (arg == argc) {
    decode(nullptr);
    return FAILED ? 1 : 0;
  }
  if (PLAIN) {
    decode_p(&g_catalogue, first, argc, argv);
    return FAILED ? 1 : 0;
  }

  LoadDlist(&g_log_list);
  std::printf("\n");
  ScanState scan;
  scan.log_list = &g_log_list;
  scan.catalogue = &g_catalogue;
  scan.pool = &g_pool;
  scan.keywords = g_keywords;
  scan.keyword_count = g_keyword_count;
  int count = 0;
  if (ScanArticles(&scan, first, argc, argv, &count) == kScanFallBack) {
    if (!QUIET) std::printf("Found ordinary uuencoded files.\n");
    decode_p(&g_catalogue, first, argc, argv);
    return FAILED ? 1 : 0;
  }
  if (!QUIET) std::printf("\nFound %d uuencoded file segments.\n", count);
  // Also after failures: finding nothing at all has a status of its own.
  if (count == 0) return 2;
  SortFiles(&g_catalogue);
  decode(g_catalogue);
  std::printf("\n");
  UpdateDlist(g_log_list, ".:.");
  return FAILED ? 1 : 0;
}
