// An output file is written under a temporary name in the directory it is
// for, and only put in place under its name once it is closed: a failed or
// interrupted run leaves nothing half-written under a real name, and a file
// that is there already is never replaced.
#ifndef QUILLON_DECODING_OUTPUT_FILE_H_
#define QUILLON_DECODING_OUTPUT_FILE_H_

#include <cstddef>
#include <string>

#include "quillon.h"

// The names an output file may take, tried in turn when it is closed.
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

// Creates the temporary file of an output file that will be `path`, in the
// directory of that path, with mode 0600 until its mode is set. False,
// with errno set and nothing left behind, when it cannot be created.
bool CreateOutputFile(OutputFile* file, const std::string& path);

enum class Placement {
  kPlaced,  // the file is now at the path
  kSame,    // a regular file with the same bytes is there; it stays as it is
  kTaken,   // something else is there: another name must be tried
  kFailed,  // the path cannot be given to the file (errno says why)
};

// Gives the file the name `path` unless something is there already; the
// file stays open either way. Never follows or replaces a symbolic link.
Placement PlaceOutputFile(OutputFile* file, const std::string& path);

// Closes what is still open of the file and removes its temporary name,
// if it still has one.
void DropOutputFile(OutputFile* file);

// The directory an output file at `path` lies in.
std::string DirectoryOf(const std::string& path);

#endif  // QUILLON_DECODING_OUTPUT_FILE_H_
