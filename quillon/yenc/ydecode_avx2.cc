// Compiled with -mavx2 -mpopcnt: called only where the processor has them.
#include "yenc/ydecode_kernels.h"

#if QUILLON_X86_64
#include <immintrin.h>

namespace {

size_t Compact32(__m256i bytes, uint32_t keep, unsigned char* out) {
  unsigned m0 = keep & 255u, m1 = keep >> 8 & 255u, m2 = keep >> 16 & 255u,
           m3 = keep >> 24;
  __m256i order = _mm256_set_epi64x(
      static_cast<long long>(kYencCompaction.shuffle[m3] + kEights),
      static_cast<long long>(kYencCompaction.shuffle[m2]),
      static_cast<long long>(kYencCompaction.shuffle[m1] + kEights),
      static_cast<long long>(kYencCompaction.shuffle[m0]));
  __m256i s = _mm256_shuffle_epi8(bytes, order);
  __m128i lo = _mm256_castsi256_si128(s), hi = _mm256_extracti128_si256(s, 1);
  size_t at = 0;
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), lo);
  at += static_cast<size_t>(_mm_popcnt_u32(m0));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + at), _mm_srli_si128(lo, 8));
  at += static_cast<size_t>(_mm_popcnt_u32(m1));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + at), hi);
  at += static_cast<size_t>(_mm_popcnt_u32(m2));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + at), _mm_srli_si128(hi, 8));
  return at + static_cast<size_t>(_mm_popcnt_u32(m3));
}

uint32_t Mask32(__m256i x, char c) {
  return static_cast<uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(x, _mm256_set1_epi8(c))));
}

}  // namespace

size_t YencBlocksAvx2(const unsigned char* in, size_t n, unsigned char* out,
                      size_t* w, bool unstuff) {
  size_t i = 0, o = 0;
  while (n - i >= 32) {
    __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    __m256i eqv = _mm256_cmpeq_epi8(x, _mm256_set1_epi8('='));
    auto eq = static_cast<uint32_t>(_mm256_movemask_epi8(eqv));
    uint32_t cr = Mask32(x, '\r'), lf = Mask32(x, '\n');
    __m256i bytes = _mm256_sub_epi8(x, _mm256_set1_epi8(42));
    unsigned len = 32;
    if (((eq | lf) >> 31) | (lf << 1 & (eq | cr)) | (eq & eq << 1) |
        (eq << 1 & (cr | lf)) | (unstuff && lf)) {
      uint32_t y = lf << 1 & eq ? Mask32(x, 'y') : 0;
      uint32_t dot = unstuff && lf ? Mask32(x, '.') : 0;
      len = VectorLength(eq, cr, lf, y, dot, 32);
      if (len == 0) break;
    }
    // The "=" mask moved up one byte, across the two lanes.
    __m256i after =
        _mm256_alignr_epi8(eqv, _mm256_permute2x128_si256(eqv, eqv, 0x08), 15);
    __m256i escaped = _mm256_and_si256(after, _mm256_set1_epi8(64));
    o += Compact32(_mm256_sub_epi8(bytes, escaped),
                   ~(eq | cr | lf) & LowBits(len), out + o);
    i += len;
  }
  *w = o;
  return i;
}
#endif
