// Compiled with -mavx2 -mvpclmulqdq -mpclmul: called only where the
// processor has them.
#include "checksum/crc32_kernels.h"

#if QUILLON_X86
#include <immintrin.h>

namespace {

// One fold of both 128-bit halves: x times the two constants of its half in
// `k`, and the next data.
__m256i Fold(__m256i x, __m256i k, __m256i data) {
  __m256i lo = _mm256_clmulepi64_epi128(x, k, 0x00);
  __m256i hi = _mm256_clmulepi64_epi128(x, k, 0x11);
  return _mm256_xor_si256(_mm256_xor_si256(lo, hi), data);
}

__m256i Load256(const unsigned char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// The constants that move 128 bits on by `bits`: x^(bits + 32) and
// x^(bits - 32) modulo the polynomial, reflected, as for the 128-bit way.
__m256i Across(long long plus, long long minus) {
  return _mm256_set_epi64x(minus, plus, minus, plus);
}

}  // namespace

// Four lanes of 32 bytes folded 128 bytes at a time, then into one lane and
// its two halves into one; the CRC of those 16 bytes, by the tables, is the
// register, and the tables take the tail.
uint32_t Crc32Vpclmul(uint32_t crc, const unsigned char* p, size_t n) {
  if (n < 256) return Crc32Pclmul(crc, p, n);
  const __m256i k1024 = Across(0x1e88ef372, 0x14a7fe880);
  const __m256i k256 = Across(0x0f1da05aa, 0x15a546366);
  __m256i x0 = _mm256_xor_si256(
      Load256(p),
      _mm256_setr_epi32(static_cast<int>(~crc), 0, 0, 0, 0, 0, 0, 0));
  __m256i x1 = Load256(p + 32), x2 = Load256(p + 64), x3 = Load256(p + 96);
  for (p += 128, n -= 128; n >= 128; p += 128, n -= 128) {
    x0 = Fold(x0, k1024, Load256(p));
    x1 = Fold(x1, k1024, Load256(p + 32));
    x2 = Fold(x2, k1024, Load256(p + 64));
    x3 = Fold(x3, k1024, Load256(p + 96));
  }
  __m256i x = Fold(Fold(Fold(x0, k256, x1), k256, x2), k256, x3);
  for (; n >= 32; p += 32, n -= 32) x = Fold(x, k256, Load256(p));
  const __m128i k128 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
  __m128i lo = _mm256_castsi256_si128(x);
  __m128i folded =
      _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(lo, k128, 0x00),
                                  _mm_clmulepi64_si128(lo, k128, 0x11)),
                    _mm256_extracti128_si256(x, 1));
  unsigned char rest[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), folded);
  return ~Crc32SliceBy8(Crc32SliceBy8(0, rest, sizeof rest), p, n);
}
#endif
