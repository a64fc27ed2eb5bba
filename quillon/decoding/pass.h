// The state of one decode pass, shared by the files that make up the pass:
// the uuencoded line loop and the yEnc decoding.
#ifndef QUILLON_DECODING_PASS_H_
#define QUILLON_DECODING_PASS_H_

#include <sys/types.h>

#include <cstdio>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "decoding/decode.h"
#include "decoding/line_file.h"
#include "decoding/output_file.h"
#include "quillon.h"
#include "yenc/grouping.h"
#include "yenc/stream.h"

// Bytes of full lines decoded before they are handed to the output file
// together.
constexpr size_t kRunBytes = 45 * 1024;

// Size of the output file's stdio buffer.
constexpr size_t kOutBuffer = 256 * 1024;

// A finished segment whose lines are in the open output file.
struct Waiting {
  Segment* seg;
  bool data;  // decoded data lines of it went into the file
};

// The two lines handled before the current one, for the end line: slots of
// the pass's line ring, or null while absent.
struct History {
  char* older = nullptr;
  char* newer = nullptr;
};

// State of one pass; the output file lives across segments.
struct Pass {
  Segment* list = nullptr;
  std::FILE* out = nullptr;  // the open output file, or null
  OutputFile out_file;       // its temporary file
  NameSearch out_names;      // the names it may take
  // Its stdio buffer: large writes, as decoded files run to many megabytes.
  // (Given no buffer of its own, stdio would take the block size, 4 KB.)
  // Made with the first output file and never cleared: stdio fills it.
  std::unique_ptr<char[]> out_buffer;
  // The path of its first name, for messages about it until it has a name.
  std::string out_path;
  // Decoded bytes of a run of full lines; the room behind kRunBytes takes
  // what decoding a line writes past its 45 bytes.
  std::vector<unsigned char> run_bytes =
      std::vector<unsigned char>(kRunBytes + 64);
  // A write into the open file failed: nothing more goes into it, and no
  // segment whose data it holds counts as processed.
  bool out_failed = false;
  // The current segment has handed lines to the open file (its data, or
  // lines in the history that the end line may still write).
  bool fed = false;
  // Decoded data lines of the current segment went into the open file.
  bool data = false;
  // Finished segments whose lines are in the open file: they count as
  // processed only once it is closed complete and without error (those
  // without data lines in it also when it is closed short).
  std::vector<Waiting> waiting;
  std::FILE* err = nullptr;  // the -errors stream, or null
  // Set when an output file could not be created; stands until a begin line
  // opens a new file.
  bool create_failed = false;
  // The current segment held data of a file that could not be created or
  // was closed short, so it must not count as processed.
  bool lost = false;
  char name[kLineSize];
  int mode = 0644;
  // The groups that started each begin string (it reads MARKER from then
  // on), and the owner (NameSearch) each output name of the run was written
  // for: a file of another owner passes that name over.
  std::unordered_map<const char*, std::unordered_set<int>> started;
  std::unordered_map<std::string, int> written;
  int plain_files = 0;  // files of plain input so far: their owners
  // The current line and the history share a ring of three buffers, so that
  // remembering a line copies nothing.
  char slots[3][kLineSize];
  char* line = slots[0];
  History history;
  // Article files already removed: each finished file is cleaned once, but
  // removing it once is enough also where several are finished together.
  std::unordered_set<const char*> removed;
  // The complete yEnc postings by group, and the groups already written.
  std::unordered_map<int, const YencPosting*> yenc_postings;
  std::unordered_set<int> yenc_done;
  bool pass_over_directories = false;  // see decode_p
  DecodeOutcome outcome;
  // yEnc parts in plain files and on standard input: their output files,
  // judged at the end of the pass, and what the line loop tells about the
  // current piece and window.
  YencStream yenc;
};

// Deletes (under -delete) and flags in the log the article files finished
// since the last call.
void CleanFinished(Pass* pass);

// Sets `seg`'s mark and cleans the article files it finished.
void Processed(Pass* pass, Segment* seg);

// True when the output name would land outside the output directory, or
// names no file in it ("", ".", a name ending in "/"): such a name would
// only ever be taken, and its numbered forms are hidden files.
bool RefusedName(const char* name);

// Creates the temporary file of an output file whose first name is
// `names.first`; reports "unable to create" with its path when it cannot,
// or when that name is refused (RefusedName).
bool StartOutputFile(Pass* pass, const NameSearch& names, OutputFile* file);

// Puts the file in place under the first name of the search that is free,
// or that holds a regular file with the same bytes (which stays as it is),
// and records it as written; the file stays open. False, after "unable to
// create" with the first name's path, when no name can be given to it.
bool CommitOutputFile(Pass* pass, OutputFile* file, const NameSearch& names,
                      std::string* name);

// A new owner for a file of plain input.
int PlainOwner(Pass* pass);

// The permissions of a new file: 0666 less the umask.
mode_t CreationMode();

// The first numbered form of `name` that no file of this run has taken.
// Names longer than `max_length` are cut to fit their number.
std::string FreeNumberedName(const Pass* pass, const std::string& name,
                             size_t max_length);

#endif  // QUILLON_DECODING_PASS_H_
