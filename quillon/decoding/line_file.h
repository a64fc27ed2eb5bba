// Line input as the decoder reads it: fgets into a 120-character buffer, so
// longer lines arrive in pieces of at most 119 characters.
#ifndef QUILLON_DECODING_LINE_FILE_H_
#define QUILLON_DECODING_LINE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "decoding/page_buffer.h"

// Reads go through a buffer of its own, so that a line costs neither a system
// call nor a character-by-character loop.
struct LineFile {
  int fd = -1;
  bool owned = false;  // opened by name (closed by CloseLineFile)
  // Not cleared when allocated: a pass opens one per segment.
  PageBuffer buffer;
  size_t capacity = 0;
  size_t begin = 0;  // next unread byte of the buffer
  size_t end = 0;    // end of the bytes read into the buffer
  bool eof = false;  // a read has met the end of the file
  // News servers store articles in wire format: a file that ends with
  // CR LF "." CR LF has a dot put in front of every line that begins with a
  // dot. Such a file's lines are read without that extra dot.
  bool wire = false;
  bool line_start = true;  // the next read starts a new line
  // Byte position of the next read, counted as the reads go.
  int64_t position = 0;
  // Characters the last read put into the buffer, NULs included.
  size_t length = 0;
  // Size of a regular file when it was opened; -1 for other input.
  int64_t size = -1;
  // Read with pread at `read_at` (a file that can seek), else with read.
  bool positioned = false;
  int64_t read_at = 0;
  // A read met the end of the file at `size`: reads at or past it are
  // known to give nothing, without asking the system.
  bool end_known = false;
};

// Opens `path` for reading, in wire format when its content ends with
// CR LF "." CR LF. False when it cannot be opened, and for a directory
// (errno is then EISDIR): no file argument is read as one.
bool OpenLineFile(LineFile* f, const char* path);

// The same, positioned at `offset` (a segment of the file) as a seek there
// would: the first read is made there. Input that cannot seek is read from
// where it stands.
bool OpenLineFileAt(LineFile* f, const char* path, int64_t offset);

// Reads the file open in `f` again from `offset`, as OpenLineFileAt would,
// with the size and format found when it was opened, for a window that
// ends at `until` (-1: unknown): the bytes of the buffer that the window
// holds serve, and one read of the rest of it (as much as the buffer
// takes) is made at once. Reads past the window go on as for any read.
// False when `f` is no file opened by name that can seek.
bool ReadLineFileAt(LineFile* f, int64_t offset, int64_t until);

// Reads standard input; it is never closed.
void UseStdin(LineFile* f);

void CloseLineFile(LineFile* f);

// Reads at most size - 1 characters into buf, stopping after a newline, and
// terminates them. False at the end of input (buf then holds nothing new).
// Positions stay raw byte positions of the file, also in wire format.
bool ReadLine(LineFile* f, char* buf, int size);

// Appends the rest of the line whose first piece the last ReadLine gave,
// up to and with its newline (or to the end of the input), to `line`: for
// lines that are taken whole whatever their length. Nothing when that read
// ended its line.
void ReadLineRest(LineFile* f, std::string* line);

// The unread bytes of the buffer, reading more when none are left; empty at
// the end of the input. For a caller that takes lines straight from the
// buffer, without a copy: it may take only whole lines that need nothing
// done, that is lines that end in a newline and, in wire format, do not
// begin with a dot; a caller that counts on ReadLine's splitting of long
// lines takes only those within its size - 1 characters.
std::string_view BufferedInput(LineFile* f);

// Reads more input behind the unread bytes of the buffer (moved to its
// start first): false when the buffer is full or the input has ended. For a
// caller that must see a whole block, such as a header, before it takes any.
bool ReadMore(LineFile* f);

// Takes `n` bytes, whole lines as above, from the buffer.
void TakeInput(LineFile* f, size_t n);

// Whether the next read begins with `prefix`, compared with the bytes as
// they stand (in wire format a dot-stuffed line begins with two dots, the
// final line is "." CR LF); nothing is taken.
bool NextReadStartsWith(LineFile* f, std::string_view prefix);

// Byte position of the next read, and seeking to one.
int64_t TellLine(LineFile* f);
bool SeekLine(LineFile* f, int64_t offset);

// Size of the file in bytes, as it was when opened.
int64_t SizeOfLineFile(LineFile* f);

// True once a read has met the end of the file.
bool AtEnd(LineFile* f);

#endif  // QUILLON_DECODING_LINE_FILE_H_
