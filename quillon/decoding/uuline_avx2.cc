// Compiled with -mavx2: called only where the processor has it.
#include "decoding/uuline_kernels.h"

#if QUILLON_X86
#include <immintrin.h>

namespace {

// Thirty-two characters at a time, as the 16-character way does in each
// half: six-bit values, pairs and quads merged by multiply-adds, the three
// bytes of each quad picked in order; then the two halves' twelve bytes
// moved together, the 24 bytes first.
__m256i DecodeThirtyTwo(__m256i x) {
  __m256i v = _mm256_and_si256(
      _mm256_add_epi8(_mm256_and_si256(x, _mm256_set1_epi8(63)),
                      _mm256_set1_epi8(32)),
      _mm256_set1_epi8(63));
  __m256i pairs = _mm256_maddubs_epi16(v, _mm256_set1_epi32(0x01400140));
  __m256i quads = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
  __m256i picked = _mm256_shuffle_epi8(
      quads, _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1,
                              -1, -1, 2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12,
                              -1, -1, -1, -1));
  return _mm256_permutevar8x32_epi32(picked,
                                     _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
}

__m256i Ends(__m256i x) {
  return _mm256_or_si256(_mm256_cmpeq_epi8(x, _mm256_setzero_si256()),
                         _mm256_cmpeq_epi8(x, _mm256_set1_epi8('\n')));
}

}  // namespace

// Two loads, of characters 0 to 31 and 28 to 59, so that nothing past the
// 60 characters is read; the second store, of bytes 21 on, overwrites what
// the first wrote past its 24 bytes and writes up to byte 52.
bool DecodeSixtyAvx2(const char* p, unsigned char* bytes) {
  __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 28));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(bytes), DecodeThirtyTwo(low));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(bytes + 21),
                      DecodeThirtyTwo(high));
  return _mm256_movemask_epi8(_mm256_or_si256(Ends(low), Ends(high))) == 0;
}
#endif
