// The output of a decode pass, shared by every encoding: the files it
// writes, the names they take, and the article files that are finished.
//
// What it promises:
// - A file is written under a temporary name in the directory it is for
//   and appears under its name only when it is put in place: a failed or
//   interrupted run leaves nothing half-written under a real name. Nothing
//   that is there already is replaced, and no symbolic link is followed.
// - Names: a file takes the first name of its NameSearch that is free, or
//   that holds a regular file with the same bytes (which stays as it is).
//   A name that the run has written for another owner is passed over, so
//   two files of one run never share a name: the later one is numbered
//   (NAME.1, NAME.2 ..., or under -dos pictu01.jpg ...). Names that would
//   land outside the output directory are refused.
// - Articles: an article file is deleted (-delete) and flagged in the log
//   once every segment of it is processed, and never before.
//
// What callers must do:
// - Run the pass between BeginOutput and EndOutput over a list whose paths,
//   offsets and order do not change in between.
// - Make each file with StartOutputFile, write it by its descriptor, put it
//   in place with CommitOutputFile unless writing it failed, and end it
//   with DropOutputFile either way.
// - Report each failure they meet themselves (Fail on the reporter, which
//   ends the run with status 1) and set outcome.failed; print progress
//   through the reporter too. Nothing is written to the process's streams.
// - Mark a segment processed (MarkProcessed) only when every file it holds
//   data of has been put in place without a failure, then call
//   CleanFinished. An input whose outcome is known only at the end of the
//   pass is held (HoldFile) until then.
#ifndef QUILLON_DECODING_OUTPUT_H_
#define QUILLON_DECODING_OUTPUT_H_

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "quillon.h"
#include "reporter.h"

// How a pass went; every failure's message is printed already.
struct DecodeOutcome {
  // The pass ended at an article file that could not be opened: the run
  // ends there, with nothing more printed or cleaned.
  bool article_unreadable = false;
  bool write_error = false;  // writing an output file failed
  bool failed = false;       // some failure was reported
};

// What one pass knows about its list beyond the list itself: the segments
// of each article file, so that window ends and finished files are found
// without walking the whole list. A pass over a million articles indexes a
// million files: they are kept in flat arrays.
struct ArticleFile {
  const char* path;
  uint32_t first;        // its segments and offsets from this index on
  uint32_t count;        // how many
  uint32_t unprocessed;  // segments whose mark is 0
  uint32_t holds;        // HoldFile calls not yet released
};

struct PassIndex {
  const Segment* list = nullptr;
  // The segments of the list by article file, each file's in list order,
  // and their offsets, each file's ascending.
  std::vector<Segment*> segments;
  std::vector<int64_t> offsets;
  // Input files are told apart by their path object, not its text: the
  // files are in the order of their path objects.
  std::vector<ArticleFile> files;
  std::vector<const ArticleFile*> finished;
};

// What the passes of all encodings share during one decode pass.
// The permissions of a new file: 0666 less the umask.
mode_t CreationMode();

struct PassOutput {
  const Options* options = nullptr;
  Reporter* reporter = nullptr;  // every line the pass prints
  Records* records = nullptr;    // where plain-input segments are made
  Segment* list = nullptr;
  DecodeOutcome outcome;
  // The owner (NameSearch) each output name of the run was written for: a
  // file of another owner passes that name over.
  std::unordered_map<std::string, int> written;
  int plain_files = 0;  // files of plain input so far: their owners
  // Article files already removed: each finished file is cleaned once, but
  // removing it once is enough also where several are finished together.
  std::unordered_set<const char*> removed;
  // The index of `list` while the pass runs (BeginPassIndex), else null.
  std::unique_ptr<PassIndex> index;
  // Output files are made unnamed where the file system can; the tests
  // turn it off to take the way of the others. BeginOutput also turns it off
  // where unnamed files could not be given a name (no /proc), once a pass.
  bool unnamed_files = true;
  // Read once a pass, not once a file: reading the umask sets it.
  mode_t creation_mode = CreationMode();
};

// The ways a pass may take for the same result; the tests compare them.
struct PassWays {
  bool fast_paths = true;     // the uuencoded pass's ways for full lines
  bool unnamed_files = true;  // see PassOutput
};

// Indexes `list` for the pass (BeginPassIndex) and ends that index; the
// pass reads `options`, makes its records in `records` and prints through
// `reporter`.
void BeginOutput(PassOutput* output, Segment* list, const Options& options,
                 Records* records, Reporter* reporter,
                 const PassWays& ways = {});
void EndOutput(PassOutput* output);

// ---------------------------------------------------------------------------
// Files and their names.

// The names an output file may take, tried in turn when it is put in place.
struct NameSearch {
  std::string first;  // the name it gets unless something is there
  std::string base;   // the later names are numbered forms of this one
  // What it is written for: a group of the catalogue, or (negative) one
  // file of plain input; names written for another owner are passed over.
  int owner = 0;
  size_t max_length = kLineSize - 1;
};

struct OutputFile {
  int fd = -1;  // open for reading and writing while the file is written
  // The hidden name of a temporary file where the file system has no
  // unnamed ones; empty for an unnamed one and once it is put in place.
  std::string temp;
};

// The output path of `name`: DESTDIR "/" name, or the name itself.
std::string CreatePath(const Options& options, const char* name);

// Reduces `name` in place to the part after its last '/'.
char* BaseName(char* name);

// The output name of a file name that an encoding's record gives: its last
// component unless -dir, in its DOS form under -dos (never numbered).
std::string OutputName(const Options& options, const std::string& name);

// True when the output name would land outside the output directory, or
// names no file in it ("", ".", a name ending in "/"): such a name would
// only ever be taken, and its numbered forms are hidden files.
bool RefusedName(const char* name);

// Creates the temporary file of an output file whose first name is
// `names.first`; reports "unable to create" with its path when it cannot,
// or when that name is refused.
bool StartOutputFile(PassOutput* output, const NameSearch& names,
                     OutputFile* file);

// Puts the file in place under the first name of the search that is free,
// or that holds a regular file with the same bytes (which stays as it is),
// and records it as written; the file stays open. False, after "unable to
// create" with the first name's path, when no name can be given to it.
bool CommitOutputFile(PassOutput* output, OutputFile* file,
                      const NameSearch& names, std::string* name);

// Closes what is still open of the file and removes its temporary name,
// if it still has one.
void DropOutputFile(OutputFile* file);

// A new owner for a file of plain input.
int PlainOwner(PassOutput* output);

// The permissions of a file of the yEnc and MIME passes: those of -fmode,
// else 0666 less the umask.
mode_t NewFileMode(const PassOutput& output);

// The first numbered form of `name` that no file of this run has taken.
// Names longer than `max_length` are cut to fit their number.
std::string FreeNumberedName(const PassOutput* output, const std::string& name,
                             size_t max_length);

// The steps of StartOutputFile and CommitOutputFile. CreateOutputFile makes
// the temporary file of an output file that will be `path`, in the
// directory of that path, with mode 0600 until its mode is set, unnamed
// where `unnamed` and the file system can (`unnamed` only where /proc is
// there: see BeginOutput); false, with errno set and nothing left behind,
// when it cannot.
bool CreateOutputFile(OutputFile* file, const std::string& path, bool unnamed);

enum class Placement {
  kPlaced,  // the file is now at the path
  kSame,    // a regular file with the same bytes is there; it stays as it is
  kTaken,   // something else is there: another name must be tried
  kFailed,  // the path cannot be given to the file (errno says why)
};

// Gives the file the name `path` unless something is there already; the
// file stays open either way.
Placement PlaceOutputFile(OutputFile* file, const std::string& path);

// The directory an output file at `path` lies in.
std::string DirectoryOf(const std::string& path);

// ---------------------------------------------------------------------------
// Article files: the pass index (PassIndex) of PassOutput.

// Indexes `list` for the pass about to run over it; BeginOutput does it.
// Marks change through MarkProcessed only until EndPassIndex.
void BeginPassIndex(PassOutput* output, Segment* list);
void EndPassIndex(PassOutput* output);

// True while an index of `list` stands.
bool PassIndexed(const PassOutput& output, const Segment* list);

// End of the window of `seg`: the smallest offset of another segment of the
// same input file above seg's own and below `limit`, else `limit`. Needs the
// pass index of `list`.
int64_t maxseek(const PassOutput& output, Segment* list, Segment* seg,
                int64_t limit);

// Sets `seg`'s mark to 1 and counts it off its article file. Without an index
// it only sets the mark.
void MarkProcessed(PassOutput* output, Segment* seg);

// Keeps the article file of `seg` from being finished, as long as it is held
// more often than released: for input whose outcome is known only at the
// end of the pass. Without an index they do nothing.
void HoldFile(PassOutput* output, const Segment* seg);
void ReleaseFile(PassOutput* output, const Segment* seg);

// Deletes (under -delete) and flags in the log the article files finished
// since the last call.
void CleanFinished(PassOutput* output);

// Sets `seg`'s mark and cleans the article files it finished.
void Processed(PassOutput* output, Segment* seg);

#endif  // QUILLON_DECODING_OUTPUT_H_
