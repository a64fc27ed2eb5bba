// MD5 (RFC 1321), for the Content-MD5 check of MIME parts.
#ifndef QUILLON_CHECKSUM_MD5_H_
#define QUILLON_CHECKSUM_MD5_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using Md5Digest = std::array<unsigned char, 16>;

// A digest under way: start from the defaults, feed pieces of any size with
// Md5Update, end with Md5Final.
struct Md5 {
  uint32_t state[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
  uint64_t length = 0;        // bytes fed so far
  unsigned char block[64]{};  // the block being filled, length % 64 bytes
};

void Md5Update(Md5* md5, const void* data, size_t n);

// The digest of everything fed; `md5` is spent afterwards.
Md5Digest Md5Final(Md5* md5);

// The digest as a Content-MD5 field holds it: base64 of the 16 bytes.
std::string Md5Base64(const Md5Digest& digest);

#endif  // QUILLON_CHECKSUM_MD5_H_
