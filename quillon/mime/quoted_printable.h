// Decoding of MIME quoted-printable text, a line at a time.
#ifndef QUILLON_MIME_QUOTED_PRINTABLE_H_
#define QUILLON_MIME_QUOTED_PRINTABLE_H_

#include <cstddef>

struct QpLine {
  size_t written = 0;  // bytes decoded into the output
  bool soft = false;   // a soft line break: the next line goes on this one
};

// Decodes one line of quoted-printable text, with its line end (LF or
// CR LF) if it has one, into `out`, which has room for `n` bytes.
// Blanks (SPACE, TAB) at the line's end are dropped, as transports add them;
// then an "=" that ends the line is a soft line break and is dropped as
// well, and otherwise a line end is written as LF. "=" and two hex digits
// (either case) give their byte; any other "=" is kept as it stands, and so
// is every other byte. A line without a line end (the last one of a part)
// gets none.
QpLine DecodeQpLine(const char* line, size_t n, unsigned char* out);

#endif  // QUILLON_MIME_QUOTED_PRINTABLE_H_
