#include "checksum/md5.h"

#include <algorithm>
#include <cstring>

namespace {

// Shift amounts of each round's four steps.
constexpr unsigned kShift[4][4] = {
    {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// kSine[i] = floor(abs(sin(i + 1)) * 2^32).
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a,
    0xa8304613, 0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be,
    0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340,
    0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8,
    0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c,
    0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92,
    0xffeff47d, 0x85845dd1, 0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1,
    0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

uint32_t Rotate(uint32_t x, unsigned s) { return x << s | x >> (32 - s); }

void Transform(uint32_t state[4], const unsigned char* p) {
  uint32_t m[16];
  for (size_t i = 0; i < 16; ++i)  // little-endian words on any host
    m[i] = static_cast<uint32_t>(p[4 * i]) |
           static_cast<uint32_t>(p[4 * i + 1]) << 8 |
           static_cast<uint32_t>(p[4 * i + 2]) << 16 |
           static_cast<uint32_t>(p[4 * i + 3]) << 24;
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (unsigned i = 0; i < 64; ++i) {
    uint32_t f;
    unsigned g;
    switch (i / 16) {
      case 0:
        f = (b & c) | (~b & d);
        g = i;
        break;
      case 1:
        f = (d & b) | (~d & c);
        g = (5 * i + 1) % 16;
        break;
      case 2:
        f = b ^ c ^ d;
        g = (3 * i + 5) % 16;
        break;
      default:
        f = c ^ (b | ~d);
        g = 7 * i % 16;
        break;
    }
    uint32_t t = d;
    d = c;
    c = b;
    b += Rotate(a + f + kSine[i] + m[g], kShift[i / 16][i % 4]);
    a = t;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

void Md5Update(Md5* md5, const void* data, size_t n) {
  auto* p = static_cast<const unsigned char*>(data);
  size_t have = static_cast<size_t>(md5->length % 64);
  md5->length += n;
  if (have > 0) {
    size_t take = std::min(n, 64 - have);
    std::memcpy(md5->block + have, p, take);
    p += take;
    n -= take;
    if (have + take < 64) return;
    Transform(md5->state, md5->block);
  }
  for (; n >= 64; n -= 64, p += 64) Transform(md5->state, p);
  if (n > 0) std::memcpy(md5->block, p, n);
}

Md5Digest Md5Final(Md5* md5) {
  uint64_t bits = md5->length * 8;
  static const unsigned char kPad[64] = {0x80};
  size_t have = static_cast<size_t>(md5->length % 64);
  Md5Update(md5, kPad, have < 56 ? 56 - have : 120 - have);
  unsigned char tail[8];
  for (size_t i = 0; i < 8; ++i)
    tail[i] = static_cast<unsigned char>(bits >> (8 * i));
  Md5Update(md5, tail, 8);
  Md5Digest digest;
  for (size_t i = 0; i < 16; ++i)
    digest[i] = static_cast<unsigned char>(md5->state[i / 4] >> (8 * (i % 4)));
  return digest;
}

std::string Md5Base64(const Md5Digest& digest) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t i = 0; i < digest.size(); i += 3) {
    uint32_t v = static_cast<uint32_t>(digest[i]) << 16;
    size_t have = std::min<size_t>(3, digest.size() - i);
    if (have > 1) v |= static_cast<uint32_t>(digest[i + 1]) << 8;
    if (have > 2) v |= digest[i + 2];
    for (size_t k = 0; k < 4; ++k)
      text += k <= have ? kAlphabet[v >> (18 - 6 * k) & 63] : '=';
  }
  return text;
}
