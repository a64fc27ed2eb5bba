// The ways of computing Crc32 that need an instruction set of their own,
// each in a file compiled for it, and what they share with the plain way.
// Only plain types here: the plain code that includes this must not see
// vector types.
#ifndef QUILLON_CHECKSUM_CRC32_KERNELS_H_
#define QUILLON_CHECKSUM_CRC32_KERNELS_H_

#include <cstddef>
#include <cstdint>

#include "cpu.h"

// The register (not inverted) over `n` bytes by the tables: the plain way,
// and the tail that the vector way leaves.
uint32_t Crc32SliceBy8(uint32_t c, const unsigned char* p, size_t n);

#if QUILLON_X86
// Carry-less multiplication; needs PCLMUL and SSE4.1.
uint32_t Crc32Pclmul(uint32_t crc, const unsigned char* p, size_t n);
// The same on 256-bit registers; needs AVX2 and VPCLMULQDQ as well.
uint32_t Crc32Vpclmul(uint32_t crc, const unsigned char* p, size_t n);
#endif

#endif  // QUILLON_CHECKSUM_CRC32_KERNELS_H_
