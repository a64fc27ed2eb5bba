#include "driver/run.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "catalogue/poster_pool.h"
#include "driver/encodings.h"
#include "driver/file_list.h"
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
  Run() { meminit(&pool); }
  ~Run() {
    if (lock >= 0) close(lock);
  }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  Options options;
  Records records;  // every segment and text of the run
  LogList log;      // with the current directory at the start (CWD)
  Segment* catalogue = nullptr;
  Encodings encodings;  // the records of the other encodings
  PosterPool pool;
  Keywords keywords;
  bool failed = false;              // a failure message was printed
  bool stop = false;                // -log or -unlog: nothing is decoded
  int first = 0;                    // index of the first file argument
  int lock = -1;                    // holds the log's lock once the log is used
  const char* list_name = nullptr;  // -files
  FileList list;
  // The file arguments, then the paths of -files.
  std::vector<char*> files;
};

int Status(const Run& run) { return run.failed ? 1 : 0; }

// The status of a run that ends with the pass.
int Decoded(Run* run, const DecodeOutcome& outcome) {
  if (outcome.failed) run->failed = true;
  return Status(*run);
}

// Reads the current directory without any length limit; empty when it
// cannot be read.
std::string ReadCwd() {
  std::vector<char> buf(256);
  while (getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) return std::string();
    buf.resize(buf.size() * 2);
  }
  return buf.data();
}

// -log and -unlog act at once, in their place among the options.
void LogCommand(Run* run, int option, const char* value) {
  run->stop = true;
  if (!value) return;
  if (option == kLog) {
    if (!logdir(run->log.CWD, value, &run->lock)) run->failed = true;
    return;
  }
  if (!LockLog(&run->lock) || !LoadDlist(&run->log, run->options)) {
    run->failed = true;
    return;
  }
  run->log.LOGUPDATE = true;
  if (!UpdateDlist(run->log, LogDirPath(run->log.CWD, value).c_str(),
                   run->options))
    run->failed = true;
}

// The option words, all checked already, take effect in command-line order.
void ReadOptions(Run* run, char** argv) {
  for (int arg = 1; arg < run->first; ++arg) {
    int option = GetOption(argv[arg]);
    char* value = TakesArgument(option) ? argv[++arg] : nullptr;
    if (option == kLog || option == kUnlog) {
      LogCommand(run, option, value);
    } else if (option != kFiles) {
      SetOption(option, value, &run->options, &run->keywords);
    }
  }
}

// A bad option value, or a list of -files that cannot be read, ends the run
// before anything is done.
bool ReadCommandLine(Run* run, int argc, char** argv) {
  if (!CheckOptions(argc, argv, &run->first, &run->list_name)) return false;
  if (run->list_name && !ReadFileList(run->list_name, &run->list)) return false;
  run->files.assign(argv + run->first, argv + argc);
  run->files.insert(run->files.end(), run->list.paths.begin(),
                    run->list.paths.end());
  ReadOptions(run, argv);
  return true;
}

// The scan of news articles; falls back to plain decoding when the first
// file holds none.
int ScanRun(Run* run) {
  // Another run with the log goes first, and no article is read without it.
  const Options& options = run->options;
  if (!LockLog(&run->lock) || !LoadDlist(&run->log, options)) return 1;
  std::printf("\n");
  ScanState scan;
  scan.options = &options;
  scan.records = &run->records;
  scan.log_list = &run->log;
  scan.catalogue = &run->catalogue;
  scan.encodings = &run->encodings;
  scan.pool = &run->pool;
  scan.keywords = run->keywords.table;
  scan.keyword_count = run->keywords.count;
  int count = 0;
  int end = static_cast<int>(run->files.size());
  ScanResult result = ScanArticles(&scan, 0, end, run->files.data(), &count);
  if (scan.failed) run->failed = true;
  if (result == kScanFallBack) {
    if (!options.QUIET) std::printf("Found ordinary uuencoded files.\n");
    return Decoded(run, decode_p(&run->catalogue, 0, end, run->files.data(),
                                 options, &run->records, true));
  }
  if (!options.QUIET)
    std::printf("\nFound %d uuencoded file segments.\n", count);
  // Also after failures: finding nothing at all has a status of its own.
  if (count == 0) return 2;
  SortFiles(&run->catalogue, &run->encodings, options);
  DecodeOutcome outcome =
      decode(run->catalogue, run->encodings, options, &run->records);
  if (outcome.article_unreadable) return Decoded(run, outcome);
  std::printf("\n");
  if (!UpdateDlist(run->log, ".:.", options)) run->failed = true;
  return Decoded(run, outcome);
}

}  // namespace

int QuillonMain(int argc, char** argv) {
  // Only these two exact first words; any other "--" word stays unknown.
  int status = 0;
  if (HelpOrVersion(argc, argv, &status)) return status;
  Run run;
  run.log.CWD = ReadCwd();
  if (!ReadCommandLine(&run, argc, argv)) return 1;
  if (run.stop) return Status(run);
  const Options& options = run.options;
  if (!options.QUIET) std::printf("Quillon ver %s\n", QUILLON_VERSION);
  // Standard input given as the list is not data as well: an empty list is
  // a run over no file.
  if (run.files.empty() && !run.list_name)
    return Decoded(&run, decode(nullptr, options, &run.records));
  if (options.PLAIN) {
    if (run.files.empty()) return Status(run);
    return Decoded(
        &run, decode_p(&run.catalogue, 0, static_cast<int>(run.files.size()),
                       run.files.data(), options, &run.records));
  }
  return ScanRun(&run);
}
