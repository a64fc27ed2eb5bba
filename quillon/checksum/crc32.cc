#include "checksum/crc32.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUILLON_PCLMUL 1
#else
#define QUILLON_PCLMUL 0
#endif

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

// The register (not inverted) over `n` bytes, eight at a time.
uint32_t SliceBy8(uint32_t c, const unsigned char* p, size_t n) {
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

uint32_t Crc32Tables(uint32_t crc, const unsigned char* p, size_t n) {
  return ~SliceBy8(~crc, p, n);
}

#if QUILLON_PCLMUL
#define QUILLON_CLMUL __attribute__((target("pclmul,sse4.1")))

// One 128-bit fold: x times the two constants in `k`, and the next data.
QUILLON_CLMUL __m128i Fold(__m128i x, __m128i k, __m128i data) {
  __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(lo, hi), data);
}

QUILLON_CLMUL __m128i Load128(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// 128 bits down to the 32-bit register: a 64-bit fold, a 32-bit fold and a
// Barrett reduction.
QUILLON_CLMUL uint32_t Reduce(__m128i x) {
  const __m128i k43 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
  const __m128i k5 = _mm_set_epi64x(0, 0x163cd6124);
  const __m128i poly = _mm_set_epi64x(0x1f7011641, 0x1db710641);
  const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
  x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(k43, x, 0x01));
  x = _mm_xor_si128(_mm_srli_si128(x, 4),
                    _mm_clmulepi64_si128(_mm_and_si128(x, low32), k5, 0x00));
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), poly, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
  return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(t, x), 1));
}

// Four lanes of 16 bytes folded 64 bytes at a time, then into one lane,
// then the rest of the whole 16-byte blocks; the tail goes to the tables.
QUILLON_CLMUL uint32_t Crc32Clmul(uint32_t crc, const unsigned char* p,
                                  size_t n) {
  if (n < 64) return Crc32Tables(crc, p, n);
  const __m128i k21 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
  const __m128i k43 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
  __m128i x0 =
      _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(~crc)));
  __m128i x1 = Load128(p + 16), x2 = Load128(p + 32), x3 = Load128(p + 48);
  for (p += 64, n -= 64; n >= 64; p += 64, n -= 64) {
    x0 = Fold(x0, k21, Load128(p));
    x1 = Fold(x1, k21, Load128(p + 16));
    x2 = Fold(x2, k21, Load128(p + 32));
    x3 = Fold(x3, k21, Load128(p + 48));
  }
  __m128i x = Fold(Fold(Fold(x0, k43, x1), k43, x2), k43, x3);
  for (; n >= 16; p += 16, n -= 16) x = Fold(x, k43, Load128(p));
  return ~SliceBy8(Reduce(x), p, n);
}
#endif

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

const Crc32Way kCrc32 = Crc32Ways().front();

}  // namespace

std::vector<Crc32Way> Crc32Ways() {
  std::vector<Crc32Way> ways;
#if QUILLON_PCLMUL
  __builtin_cpu_init();  // may run before the library's own constructor
  if (__builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1"))
    ways.push_back(Crc32Clmul);
#endif
  ways.push_back(Crc32Tables);
  return ways;
}

uint32_t Crc32(uint32_t crc, const void* data, size_t n) {
  return kCrc32(crc, static_cast<const unsigned char*>(data), n);
}

uint32_t Crc32Combine(uint32_t crc1, uint32_t crc2, uint64_t len2) {
  // x^(8 * len2): the powers x^(2^k) of the bits set in 8 * len2.
  uint32_t shift = 1u << 31;
  for (size_t k = 3; len2 != 0; ++k, len2 >>= 1)
    if (len2 & 1) shift = MultModP(kPowers[k], shift);
  return MultModP(shift, crc1) ^ crc2;
}
