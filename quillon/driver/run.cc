#include "driver/run.h"

#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <string>
#include <vector>

#include "catalogue/poster_pool.h"
#include "driver/encodings.h"
#include "driver/file_list.h"
#include "driver/options.h"
#include "driver/scanner.h"
#include "driver/usage.h"
#include "log/log.h"
#include "quillon.h"
#include "quillon_version.h"
#include "reporter.h"

namespace {

// What one run holds from its start to its exit status.
struct Run {
  explicit Run(Reporter* r) : reporter(r) { meminit(&pool); }
  ~Run() {
    if (lock >= 0) close(lock);
  }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  Reporter* reporter;  // every line of the run; knows whether it failed
  Options options;
  Records records;  // every segment and text of the run
  LogList log;      // with the current directory at the start (CWD)
  Segment* catalogue = nullptr;
  Encodings encodings;  // the records of the other encodings
  PosterPool pool;
  Keywords keywords;
  bool stop = false;                // -log or -unlog: nothing is decoded
  int first = 0;                    // index of the first file argument
  int lock = -1;                    // holds the log's lock once the log is used
  const char* list_name = nullptr;  // -files
  FileList list;
  // The file arguments, then the paths of -files.
  std::vector<char*> files;
};

int Status(const Run& run) { return run.reporter->failed ? 1 : 0; }

// The status of a run that ends with the pass.
int Decoded(const Run& run, [[maybe_unused]] const DecodeOutcome& outcome) {
  // The pass reports each of its failures through the run's reporter.
  assert(!outcome.failed || run.reporter->failed);
  return Status(run);
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
  // Each failure is reported, and so fails the run, where it is met.
  if (option == kLog) {
    logdir(run->log.CWD, value, &run->lock, run->reporter);
    return;
  }
  if (!LockLog(&run->lock, run->reporter) ||
      !LoadDlist(&run->log, run->reporter))
    return;
  run->log.LOGUPDATE = true;
  UpdateDlist(run->log, LogDirPath(run->log.CWD, value).c_str(), run->reporter);
}

// The option words, all checked already, take effect in command-line order.
void ReadOptions(Run* run, char** argv) {
  for (int arg = 1; arg < run->first; ++arg) {
    int option = GetOption(argv[arg]);
    char* value = TakesArgument(option) ? argv[++arg] : nullptr;
    if (option == kLog || option == kUnlog) {
      LogCommand(run, option, value);
    } else if (option != kFiles) {
      SetOption(option, value, &run->options, &run->keywords, run->reporter);
    }
  }
}

// A bad option value, or a list of -files that cannot be read, ends the run
// before anything is done.
bool ReadCommandLine(Run* run, int argc, char** argv) {
  if (!CheckOptions(argc, argv, &run->first, &run->list_name, run->reporter))
    return false;
  if (run->list_name &&
      !ReadFileList(run->list_name, &run->list, run->reporter))
    return false;
  run->files.assign(argv + run->first, argv + argc);
  run->files.insert(run->files.end(), run->list.paths.begin(),
                    run->list.paths.end());
  // The paths live on in `files` alone.
  std::vector<char*>().swap(run->list.paths);
  ReadOptions(run, argv);
  return true;
}

// The scan of news articles; falls back to plain decoding when the first
// file holds none.
int ScanRun(Run* run) {
  // Another run with the log goes first, and no article is read without it.
  const Options& options = run->options;
  Reporter* reporter = run->reporter;
  if (!LockLog(&run->lock, reporter) || !LoadDlist(&run->log, reporter))
    return Status(*run);
  Print(reporter, "\n");
  ScanState scan;
  scan.options = &options;
  scan.reporter = reporter;
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
  // The catalogue changes no more through the scan's index.
  scan.index = CatalogueIndex();
  if (result == kScanFallBack) {
    Progress(reporter, "Found ordinary uuencoded files.\n");
    return Decoded(*run, decode_p(&run->catalogue, 0, end, run->files.data(),
                                  options, &run->records, reporter, true));
  }
  Progress(reporter, "\nFound %d uuencoded file segments.\n", count);
  // Also after failures: finding nothing at all has a status of its own.
  if (count == 0) return 2;
  SortFiles(&run->catalogue, &run->encodings, reporter);
  DecodeOutcome outcome =
      decode(run->catalogue, run->encodings, options, &run->records, reporter);
  if (outcome.article_unreadable) return Decoded(*run, outcome);
  Print(reporter, "\n");
  UpdateDlist(run->log, ".:.", reporter);
  return Decoded(*run, outcome);
}

}  // namespace

int QuillonMain(int argc, char** argv) {
  Reporter reporter;  // standard output and standard error
  return RunQuillon(argc, argv, &reporter);
}

int RunQuillon(int argc, char** argv, Reporter* reporter) {
  Run run(reporter);
  // Only these two exact first words; any other "--" word stays unknown.
  if (HelpOrVersion(argc, argv, reporter)) return Status(run);
  run.log.CWD = ReadCwd();
  if (!ReadCommandLine(&run, argc, argv)) return Status(run);
  if (run.stop) return Status(run);
  const Options& options = run.options;
  Progress(reporter, "Quillon ver %s\n", QUILLON_VERSION);
  // Standard input given as the list is not data as well: an empty list is
  // a run over no file.
  if (run.files.empty() && !run.list_name)
    return Decoded(run, decode(nullptr, options, &run.records, reporter));
  if (options.PLAIN) {
    if (run.files.empty()) return Status(run);
    return Decoded(
        run, decode_p(&run.catalogue, 0, static_cast<int>(run.files.size()),
                      run.files.data(), options, &run.records, reporter));
  }
  return ScanRun(&run);
}
