// The file arguments of -files: paths read from a file or standard input,
// one a line, for lists longer than a command line can hold.
#ifndef QUILLON_DRIVER_FILE_LIST_H_
#define QUILLON_DRIVER_FILE_LIST_H_

#include <vector>

#include "reporter.h"

struct FileList {
  // The list's bytes with every line end made a terminator. Never resized
  // once `paths` point into it: segments keep a path's pointer as its
  // identity for the whole run.
  std::vector<char> text;
  std::vector<char*> paths;
};

// Reads the list named `name` ("-": standard input) and splits it. False
// after "quillon: cannot access file" for a list that cannot be read.
bool ReadFileList(const char* name, FileList* list, Reporter* reporter);

#endif  // QUILLON_DRIVER_FILE_LIST_H_
