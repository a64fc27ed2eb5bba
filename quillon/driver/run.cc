#include "driver/run.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "catalogue/grouping.h"
#include "catalogue/poster_pool.h"
#include "decoding/decode.h"
#include "driver/options.h"
#include "driver/scanner.h"
#include "driver/usage.h"
#include "log/log.h"
#include "message.h"
#include "quillon.h"
#include "quillon_version.h"

namespace {

// What one run holds from its start to its exit status.
struct Run {
  Run() { meminit(&pool, 256); }
  ~Run() { std::free(pool.buf); }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  LogList log;
  Segment* catalogue = nullptr;
  std::vector<Segment*> yenc;  // yEnc segments in reading order
  PosterPool pool;
  Keywords keywords;
  bool failed = false;  // a failure message was printed
  bool stop = false;    // -log or -unlog: nothing is decoded
  int first = 0;        // index of the first file argument
};

int Status(const Run& run) { return run.failed ? 1 : 0; }

// The status of a run that ends with the pass.
int Decoded(Run* run, const DecodeOutcome& outcome) {
  if (outcome.failed) run->failed = true;
  return Status(*run);
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

// -log and -unlog act at once, in their place among the options.
void LogCommand(Run* run, int option, const char* value) {
  run->stop = true;
  if (!value) return;
  if (option == kLog) {
    if (!logdir(value)) run->failed = true;
    return;
  }
  LoadDlist(&run->log);
  LOGUPDATE = true;
  if (!UpdateDlist(run->log, LogDirPath(value).c_str())) run->failed = true;
}

// The option words up to the first other word; false after an unknown or
// ambiguous one, which ends the run.
bool ReadOptions(Run* run, int argc, char** argv) {
  int arg = 1;
  while (arg < argc && argv[arg][0] == '-') {
    int option = GetOption(argv[arg]);
    if (option == 0) {
      ErrorLine(
          "quillon: ambiguous or unknown command line option "
          "\"%s\"\n",
          argv[arg]);
      return false;
    }
    // An option that takes an argument takes the next word whatever it is.
    // As the last word it has none, and the index still moves on: it ends
    // past argc, so the run is neither one on standard input (no file
    // argument at all) nor one with files, and scans nothing.
    char* value = nullptr;
    if (TakesArgument(option) && ++arg < argc) value = argv[arg];
    if (option == kLog || option == kUnlog) {
      LogCommand(run, option, value);
    } else {
      SetOption(option, value, &run->keywords);
    }
    ++arg;
  }
  run->first = arg;
  return true;
}

// The scan of news articles; falls back to plain decoding when the first
// file holds none.
int ScanRun(Run* run, int argc, char** argv) {
  LoadDlist(&run->log);
  std::printf("\n");
  ScanState scan;
  scan.log_list = &run->log;
  scan.catalogue = &run->catalogue;
  scan.yenc = &run->yenc;
  scan.pool = &run->pool;
  scan.keywords = run->keywords.table;
  scan.keyword_count = run->keywords.count;
  int count = 0;
  ScanResult result = ScanArticles(&scan, run->first, argc, argv, &count);
  if (scan.failed) run->failed = true;
  if (result == kScanFallBack) {
    if (!QUIET) std::printf("Found ordinary uuencoded files.\n");
    return Decoded(run,
                   decode_p(&run->catalogue, run->first, argc, argv, true));
  }
  if (!QUIET) std::printf("\nFound %d uuencoded file segments.\n", count);
  // Also after failures: finding nothing at all has a status of its own.
  if (count == 0) return 2;
  std::vector<YencPosting> postings;
  SortFiles(&run->catalogue, run->yenc, &postings);
  DecodeOutcome outcome = decode(run->catalogue, postings);
  if (outcome.article_unreadable) return Decoded(run, outcome);
  std::printf("\n");
  if (!UpdateDlist(run->log, ".:.")) run->failed = true;
  return Decoded(run, outcome);
}

}  // namespace

int QuillonMain(int argc, char** argv) {
  // Only these two exact first words; any other "--" word stays unknown.
  int status = 0;
  if (HelpOrVersion(argc, argv, &status)) return status;
  ReadCwd();
  Run run;
  if (!ReadOptions(&run, argc, argv)) return 1;
  if (run.stop) return Status(run);
  if (!QUIET) std::printf("Quillon ver %s\n", QUILLON_VERSION);
  if (run.first == argc) return Decoded(&run, decode(nullptr));
  if (PLAIN)
    return Decoded(&run, decode_p(&run.catalogue, run.first, argc, argv));
  return ScanRun(&run, argc, argv);
}
