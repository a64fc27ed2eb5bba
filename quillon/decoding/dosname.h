// MS-DOS style output names under -dos.
#ifndef QUILLON_DECODING_DOSNAME_H_
#define QUILLON_DECODING_DOSNAME_H_

#include "../quillon.h"

// Shortens `name` in place to its DOS form and zeroes the use counter byte
// behind its terminator. Does nothing for null.
void dosname(char* name);

// Converts `name` (a kLineSize buffer) with dosname and numbers it when a
// begin string of the list with the same text has been used before.
void checkname(Segment* list, char* name);

#endif  // QUILLON_DECODING_DOSNAME_H_
