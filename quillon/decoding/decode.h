// The decode pass of uuencoded text: a begin line starts an output file,
// data lines are decoded into it and its end line closes it; one file stays
// open across the segments of one group. The pass also copies the text of
// every segment that no file took, whatever it carries, into the -errors
// file. The pass over all encodings (driver/encodings.h) runs it.
#ifndef QUILLON_DECODING_DECODE_H_
#define QUILLON_DECODING_DECODE_H_

#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "decoding/dosname.h"
#include "decoding/line_file.h"
#include "decoding/output.h"
#include "quillon.h"
#include "reporter.h"

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

// State of the uuencoded pass; the output file lives across segments.
struct UuPass {
  PassOutput* output = nullptr;
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
  // on), by string: one node a file of the run.
  std::set<std::pair<const char*, int>> started;
  // The current line and the history share a ring of three buffers, so that
  // remembering a line copies nothing.
  char slots[3][kLineSize];
  char* line = slots[0];
  bool line_start = true;  // `line` begins a line of the input
  History history;
  // A directory among plain files is passed over without a word (a scan
  // that turned into plain decoding: the user asked for a scan over a glob).
  bool pass_over_directories = false;
  // Off, every line goes the general way of HandleUuLine (the tests
  // compare the two).
  bool fast_paths = true;
  NameIndex names;  // the begin strings of the list, under -dos
  // The article file read last stays open, with what its buffer holds: the
  // next segment of the same file (the messages of an mbox) is read from
  // there, without opening the file again. Not once the pass has removed an
  // article file (it may be this one under another name), nor under -errors
  // (its file may be this one, and grow): then every segment opens its file
  // by name, as a segment of another file does.
  LineFile in;
  const char* in_path = nullptr;  // its path, shared by its segments
  size_t in_removed = 0;  // the output's count of removed files at its opening
};

// Starts the pass over output->list: under -dos the begin names take their
// DOS forms, and the -errors file (the options' ERRFILE) is opened.
void BeginUuPass(UuPass* pass, PassOutput* output, bool pass_over_directories);

// The file still open is a short file, or is dropped when the pass was cut
// short by an unreadable article; the -errors file is closed.
void EndUuPass(UuPass* pass);

// Decodes one segment of the catalogue: a uuencoded one, or one that no file
// took (group -1) or that is suppressed (group 0), whatever it carries.
void DecodeUuSegment(UuPass* pass, Segment* seg);

// The open output file is a short file: another encoding's file comes.
void EndUuFile(UuPass* pass);

// Plain files and standard input are read line by line by the pass over all
// encodings, which hands the lines that begin another encoding's part to
// that encoding. Plain files are segments of a list of their own.

// The segments of the plain files argv[first] .. argv[end - 1], in order,
// made in `records`; the list is stored in `*head`.
void MakePlainList(Records* records, Segment** head, int first, int end,
                   char** argv);
bool IsPlainSegment(const Segment* seg);

// The article file of `seg` at its window: pass->in. Null when there is
// nothing to read: a suppressed segment (processed here), or a file that
// cannot be opened (reported; an article ends the pass).
LineFile* OpenUuSegment(UuPass* pass, Segment* seg, int64_t* limit);

// Reads the next line that needs a look into pass->line: full data lines
// of the open file are decoded on the way. False at the end of the window
// (limit < 0: no window) or of the input. `seg` is null on standard input.
bool NextUuLine(UuPass* pass, Segment* seg, LineFile* in, int64_t limit);

// Takes the line in pass->line; false when the rest of the segment is left
// unread.
bool HandleUuLine(UuPass* pass, Segment* seg, LineFile* in);

// Settles `seg` once its window is read: processed, waiting for the open
// file, or kept where its data could not be written.
void EndUuSegment(UuPass* pass, Segment* seg);

// Opens `path` for appending; null for null, or after "%s: cannot open" on
// `reporter`.
std::FILE* GetFilePtr(const char* path, Reporter* reporter);

#endif  // QUILLON_DECODING_DECODE_H_
