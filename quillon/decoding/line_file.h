// Line input as the decoder reads it: fgets into a 120-character buffer, so
// longer lines arrive in pieces of at most 119 characters.
#ifndef QUILLON_DECODING_LINE_FILE_H_
#define QUILLON_DECODING_LINE_FILE_H_

#include <cstdint>
#include <cstdio>

struct LineFile {
  std::FILE* fp = nullptr;
  bool owned = false;  // opened by name (closed by CloseLineFile)
};

// Opens `path` for reading. False when it cannot be opened.
bool OpenLineFile(LineFile* f, const char* path);

// Reads standard input; it is never closed.
void UseStdin(LineFile* f);

void CloseLineFile(LineFile* f);

// Reads at most size - 1 characters into buf, stopping after a newline, and
// terminates them. False at the end of input (buf then holds nothing new).
bool ReadLine(LineFile* f, char* buf, int size);

// Byte position of the next read, and seeking to one.
int64_t TellLine(LineFile* f);
bool SeekLine(LineFile* f, int64_t offset);

// Size of the file in bytes (the read position is left at its end).
int64_t SizeOfLineFile(LineFile* f);

// True once a read has met the end of the file.
bool AtEnd(LineFile* f);

#endif  // QUILLON_DECODING_LINE_FILE_H_
