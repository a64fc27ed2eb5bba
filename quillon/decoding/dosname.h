// MS-DOS style output names under -dos.
#ifndef QUILLON_DECODING_DOSNAME_H_
#define QUILLON_DECODING_DOSNAME_H_

#include <cstdint>
#include <string>

#include "quillon.h"

// Shortens `name` in place to its DOS form and zeroes the use counter byte
// behind its terminator. Does nothing for null.
void dosname(char* name);

// Converts `name` (a kLineSize buffer) with dosname and numbers it when a
// begin string of the list with the same text has been used before.
void checkname(Segment* list, char* name);

// Indexes the begin strings of `list` by their text for checkname. Built
// once the pass has converted every begin string; from then on a begin text
// may only be overwritten with MARKER until EndNameIndex. Only under DOS.
void BeginNameIndex(Segment* list);
void EndNameIndex();

// `name` (a DOS name) with `count` put behind its base, always an 8.3 name:
// the base keeps at most six characters, fewer when the count needs more
// than two digits (pictu100.jpg), and the extension at most three.
std::string NumberedDosName(const std::string& name, uint64_t count);

#endif  // QUILLON_DECODING_DOSNAME_H_
