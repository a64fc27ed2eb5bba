// Compiled with -mssse3: called only where the processor has it.
#include "yenc/ydecode_kernels.h"

#if QUILLON_X86_64
#include <immintrin.h>

namespace {

// The kept bytes of eight-byte halves moved together by one shuffle; each
// half is stored whole, the next store starting after its kept bytes.
size_t Compact16(__m128i bytes, uint32_t keep, unsigned char* out) {
  unsigned m0 = keep & 255u, m1 = keep >> 8 & 255u;
  __m128i order = _mm_set_epi64x(
      static_cast<long long>(kYencCompaction.shuffle[m1] + kEights),
      static_cast<long long>(kYencCompaction.shuffle[m0]));
  __m128i s = _mm_shuffle_epi8(bytes, order);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), s);
  size_t c0 = kYencCompaction.count[m0];
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + c0), _mm_srli_si128(s, 8));
  return c0 + kYencCompaction.count[m1];
}

}  // namespace

size_t YencBlocksSsse3(const unsigned char* in, size_t n, unsigned char* out,
                       size_t* w, bool unstuff) {
  size_t i = 0, o = 0;
  while (n - i >= 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    __m128i eqv = _mm_cmpeq_epi8(x, _mm_set1_epi8('='));
    auto eq = static_cast<uint32_t>(_mm_movemask_epi8(eqv));
    auto cr = static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_set1_epi8('\r'))));
    auto lf = static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_set1_epi8('\n'))));
    __m128i bytes = _mm_sub_epi8(x, _mm_set1_epi8(42));
    if ((eq | cr | lf) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), bytes);
      i += 16;
      o += 16;
      continue;
    }
    uint32_t y = 0, dot = 0;
    if (lf << 1 & eq)
      y = static_cast<uint32_t>(
          _mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_set1_epi8('y'))));
    if (unstuff && lf)
      dot = static_cast<uint32_t>(
          _mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_set1_epi8('.'))));
    unsigned len = VectorLength(eq, cr, lf, y, dot, 16);
    if (len == 0) break;
    __m128i escaped = _mm_and_si128(_mm_slli_si128(eqv, 1), _mm_set1_epi8(64));
    o += Compact16(_mm_sub_epi8(bytes, escaped), ~(eq | cr | lf) & LowBits(len),
                   out + o);
    i += len;
  }
  *w = o;
  return i;
}
#endif
