// Compiled with -mpclmul -msse4.1: called only where the processor has them.
#include "checksum/crc32_kernels.h"

#if QUILLON_X86
#include <immintrin.h>

namespace {

// One 128-bit fold: x times the two constants in `k`, and the next data.
__m128i Fold(__m128i x, __m128i k, __m128i data) {
  __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(lo, hi), data);
}

__m128i Load128(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// 128 bits down to the 32-bit register: a 64-bit fold, a 32-bit fold and a
// Barrett reduction.
uint32_t Reduce(__m128i x) {
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

}  // namespace

// Four lanes of 16 bytes folded 64 bytes at a time, then into one lane,
// then the rest of the whole 16-byte blocks; the tail goes to the tables.
uint32_t Crc32Pclmul(uint32_t crc, const unsigned char* p, size_t n) {
  if (n < 64) return ~Crc32SliceBy8(~crc, p, n);
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
  return ~Crc32SliceBy8(Reduce(x), p, n);
}
#endif
