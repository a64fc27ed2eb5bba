// The vector kernels of uuencoded lines, each in a file compiled for its
// instruction set. Only plain types here: the plain code that includes this
// must not see vector types.
#ifndef QUILLON_DECODING_UULINE_KERNELS_H_
#define QUILLON_DECODING_UULINE_KERNELS_H_

#include "cpu.h"

#if QUILLON_X86
// DecodeSixty with SSSE3, and with AVX2.
bool DecodeSixtySsse3(const char* chars, unsigned char* bytes);
bool DecodeSixtyAvx2(const char* chars, unsigned char* bytes);
#endif

#endif  // QUILLON_DECODING_UULINE_KERNELS_H_
