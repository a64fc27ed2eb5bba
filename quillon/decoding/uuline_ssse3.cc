// Compiled with -mssse3: called only where the processor has it.
#include "decoding/uuline_kernels.h"

#if QUILLON_X86
#include <immintrin.h>

namespace {

// Sixteen characters at a time: six-bit values, then pairs and quads merged
// by multiply-adds, then the three bytes of each quad picked in order.
__m128i DecodeSixteen(__m128i x) {
  __m128i v = _mm_and_si128(
      _mm_add_epi8(_mm_and_si128(x, _mm_set1_epi8(63)), _mm_set1_epi8(32)),
      _mm_set1_epi8(63));
  __m128i pairs = _mm_maddubs_epi16(v, _mm_set1_epi32(0x01400140));
  __m128i quads = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
  return _mm_shuffle_epi8(quads, _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14,
                                               13, 12, -1, -1, -1, -1));
}

}  // namespace

// The last load starts at character 44, so that nothing past the 60
// characters is read; the stores write up to byte 49.
bool DecodeSixtySsse3(const char* p, unsigned char* bytes) {
  const int starts[4] = {0, 16, 32, 44};
  __m128i ends = _mm_setzero_si128();
  for (int start : starts) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + start));
    ends = _mm_or_si128(ends, _mm_cmpeq_epi8(x, _mm_setzero_si128()));
    ends = _mm_or_si128(ends, _mm_cmpeq_epi8(x, _mm_set1_epi8('\n')));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + start / 4 * 3),
                     DecodeSixteen(x));
  }
  return _mm_movemask_epi8(ends) == 0;
}
#endif
