// The vector kernels of base64 decoding, each in a file compiled for its
// instruction set. Only plain types here: the plain code that includes this
// must not see vector types.
#ifndef QUILLON_MIME_BASE64_KERNELS_H_
#define QUILLON_MIME_BASE64_KERNELS_H_

#include <cstddef>

#include "cpu.h"

#if QUILLON_X86
// Each decodes blocks of 16 (32) characters of the alphabet at a time,
// the characters before a line end in a block of their own as far as they
// make whole quanta, and steps over CR and LF; it stops where the plain way
// must go on (any other byte, or a quantum cut by one) or fewer than a
// block is left. Returns the bytes taken and sets *w to the bytes written;
// `out` has room for `n` bytes, of which the vector stores may overwrite
// more than they count. Entered only between quanta, before any "=".
size_t Base64BlocksSsse3(const unsigned char* in, size_t n, unsigned char* out,
                         size_t* w);
size_t Base64BlocksAvx2(const unsigned char* in, size_t n, unsigned char* out,
                        size_t* w);
#endif

#endif  // QUILLON_MIME_BASE64_KERNELS_H_
