// Compiled with -mavx2: called only where the processor has it.
#include "mime/base64_kernels.h"

#if QUILLON_X86
#include <immintrin.h>

#include <cstdint>

namespace {

// As the SSSE3 kernel's, in each 16-byte lane.
uint32_t Translate(__m256i x, __m256i* values) {
  const __m256i refused_by_low = _mm256_broadcastsi128_si256(
      _mm_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                    0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A));
  const __m256i class_of_high = _mm256_broadcastsi128_si256(
      _mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10,
                    0x10, 0x10, 0x10, 0x10, 0x10, 0x10));
  const __m256i offsets = _mm256_broadcastsi128_si256(
      _mm_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0));
  const __m256i nibble = _mm256_set1_epi8(0x0f);
  __m256i high = _mm256_and_si256(_mm256_srli_epi32(x, 4), nibble);
  __m256i low = _mm256_and_si256(x, nibble);
  __m256i clash = _mm256_and_si256(_mm256_shuffle_epi8(refused_by_low, low),
                                   _mm256_shuffle_epi8(class_of_high, high));
  __m256i slash = _mm256_cmpeq_epi8(x, _mm256_set1_epi8('/'));
  *values = _mm256_add_epi8(
      x, _mm256_shuffle_epi8(offsets, _mm256_add_epi8(high, slash)));
  return static_cast<uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(clash, _mm256_setzero_si256())));
}

// 24 bytes from 32 values, then 8 of junk: each lane packed as the SSSE3
// kernel does, the lanes' 12 bytes then moved together.
__m256i Pack(__m256i values) {
  __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
  __m256i quads = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
  __m256i lanes = _mm256_shuffle_epi8(
      quads, _mm256_broadcastsi128_si256(_mm_setr_epi8(
                 2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1)));
  return _mm256_permutevar8x32_epi32(lanes,
                                     _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
}

}  // namespace

size_t Base64BlocksAvx2(const unsigned char* in, size_t n, unsigned char* out,
                        size_t* w) {
  size_t i = 0, o = 0;
  while (n - i >= 32) {
    __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    __m256i values;
    uint32_t valid = Translate(x, &values);
    unsigned run = valid == ~0u ? 32 : __builtin_ctz(~valid) & ~3u;
    if (run > 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + o), Pack(values));
      i += run;
      o += run / 4 * 3;
    } else if (in[i] == '\r' || in[i] == '\n') {
      ++i;
    } else {
      break;
    }
  }
  *w = o;
  return i;
}
#endif
