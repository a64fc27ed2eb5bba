// CRC-32 of zip and zlib (reflected polynomial 0xEDB88320).
#ifndef QUILLON_CHECKSUM_CRC32_H_
#define QUILLON_CHECKSUM_CRC32_H_

#include <cstddef>
#include <cstdint>
#include <vector>

// Continues `crc` (0 to start) over `n` bytes at `data`, as zlib's crc32().
uint32_t Crc32(uint32_t crc, const void* data, size_t n);

// The CRC of two pieces one after the other, from the CRC of each and the
// length of the second; no byte is read again.
uint32_t Crc32Combine(uint32_t crc1, uint32_t crc2, uint64_t len2);

// The ways of computing Crc32 this processor can run, fastest first; Crc32
// takes the first. The tests check every one of them.
using Crc32Way = uint32_t (*)(uint32_t crc, const unsigned char* data,
                              size_t n);
std::vector<Crc32Way> Crc32Ways();

#endif  // QUILLON_CHECKSUM_CRC32_H_
