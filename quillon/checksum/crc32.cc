#include "checksum/crc32.h"

#include <array>

#include "checksum/crc32_kernels.h"

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;

// kTables[k][b]: the CRC register after byte b followed by k zero bytes.
using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables t{};
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t c = b;
    for (int i = 0; i < 8; ++i) c = c & 1 ? (c >> 1) ^ kPolynomial : c >> 1;
    t[0][b] = c;
  }
  for (size_t k = 1; k < 8; ++k)
    for (size_t b = 0; b < 256; ++b)
      t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 255u];
  return t;
}

constexpr Tables kTables = MakeTables();

uint32_t Load32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint32_t Crc32Tables(uint32_t crc, const unsigned char* p, size_t n) {
  return ~Crc32SliceBy8(~crc, p, n);
}

// Multiplication of two polynomials modulo the CRC polynomial, bit 31
// standing for x^0 as in the register.
constexpr uint32_t MultModP(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (uint32_t m = 1u << 31; m != 0; m >>= 1) {
    if (a & m) product ^= b;
    b = b & 1 ? (b >> 1) ^ kPolynomial : b >> 1;
  }
  return product;
}

// kPowers[k] = x^(2^k) modulo the polynomial, for every k a 64-bit byte
// count in bits can reach.
using Powers = std::array<uint32_t, 67>;

constexpr Powers MakePowers() {
  Powers t{};
  t[0] = 1u << 30;  // x^1
  for (size_t k = 1; k < t.size(); ++k) t[k] = MultModP(t[k - 1], t[k - 1]);
  return t;
}

constexpr Powers kPowers = MakePowers();

}  // namespace

// Eight bytes at a time.
uint32_t Crc32SliceBy8(uint32_t c, const unsigned char* p, size_t n) {
  for (; n >= 8; n -= 8, p += 8) {
    uint32_t a = c ^ Load32(p), b = Load32(p + 4);
    c = kTables[7][a & 255u] ^ kTables[6][a >> 8 & 255u] ^
        kTables[5][a >> 16 & 255u] ^ kTables[4][a >> 24] ^
        kTables[3][b & 255u] ^ kTables[2][b >> 8 & 255u] ^
        kTables[1][b >> 16 & 255u] ^ kTables[0][b >> 24];
  }
  for (; n > 0; --n) c = (c >> 8) ^ kTables[0][(c ^ *p++) & 255u];
  return c;
}

std::vector<Crc32Way> Crc32Ways() {
  std::vector<Crc32Way> ways;
#if QUILLON_X86
  const CpuFeatures& cpu = ProcessorFeatures();
  if (cpu.pclmul && cpu.sse41 && cpu.avx2 && cpu.vpclmulqdq)
    ways.push_back(Crc32Vpclmul);
  if (cpu.pclmul && cpu.sse41) ways.push_back(Crc32Pclmul);
#endif
  ways.push_back(Crc32Tables);
  return ways;
}

uint32_t Crc32(uint32_t crc, const void* data, size_t n) {
  static const Crc32Way fastest = Crc32Ways().front();
  return fastest(crc, static_cast<const unsigned char*>(data), n);
}

uint32_t Crc32Combine(uint32_t crc1, uint32_t crc2, uint64_t len2) {
  // x^(8 * len2): the powers x^(2^k) of the bits set in 8 * len2.
  uint32_t shift = 1u << 31;
  for (size_t k = 3; len2 != 0; ++k, len2 >>= 1)
    if (len2 & 1) shift = MultModP(kPowers[k], shift);
  return MultModP(shift, crc1) ^ crc2;
}
