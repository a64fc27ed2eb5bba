// Compiled with -msse2, which every x86-64 processor has.
#include "yenc/ydecode_kernels.h"

#if QUILLON_X86_64
#include <immintrin.h>

// Sixteen bytes with no "=", CR or LF at a time; any other block is left
// to the bytewise way.
size_t YencBlocksSse2(const unsigned char* in, size_t n, unsigned char* out,
                      size_t* w, bool) {
  size_t i = 0;
  for (; n - i >= 16; i += 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    __m128i special =
        _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('=')),
                     _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('\r')),
                                  _mm_cmpeq_epi8(x, _mm_set1_epi8('\n'))));
    if (_mm_movemask_epi8(special) != 0) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_sub_epi8(x, _mm_set1_epi8(42)));
  }
  *w = i;
  return i;
}
#endif
