// Compiled with -mavx2: called only where the processor has it.
#include "mime/base64_kernels.h"

#if QUILLON_X86
#include <immintrin.h>

namespace {

struct Block32 {
  static constexpr size_t kWidth = 32;

  // As the SSSE3 kernel's, in each 16-byte lane; the lanes' 12 bytes are
  // then moved together.
  static uint32_t Decode(const unsigned char* in, unsigned char* out) {
    const __m256i refused_by_low = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                      0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A));
    const __m256i class_of_high = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10,
                      0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10));
    const __m256i offsets = _mm256_broadcastsi128_si256(_mm_setr_epi8(
        0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0));
    const __m256i nibble = _mm256_set1_epi8(0x0f);
    __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    __m256i high = _mm256_and_si256(_mm256_srli_epi32(x, 4), nibble);
    __m256i low = _mm256_and_si256(x, nibble);
    __m256i clash = _mm256_and_si256(_mm256_shuffle_epi8(refused_by_low, low),
                                     _mm256_shuffle_epi8(class_of_high, high));
    __m256i slash = _mm256_cmpeq_epi8(x, _mm256_set1_epi8('/'));
    __m256i values = _mm256_add_epi8(
        x, _mm256_shuffle_epi8(offsets, _mm256_add_epi8(high, slash)));
    __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
    __m256i quads = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
    __m256i lanes = _mm256_shuffle_epi8(
        quads, _mm256_broadcastsi128_si256(_mm_setr_epi8(
                   2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1)));
    __m256i bytes = _mm256_permutevar8x32_epi32(
        lanes, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), bytes);
    return static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpgt_epi8(clash, _mm256_setzero_si256())));
  }
};

}  // namespace

size_t Base64BlocksAvx2(const unsigned char* in, size_t n, unsigned char* out,
                        size_t* w) {
  return DecodeBlocks<Block32>(in, n, out, w);
}
#endif
