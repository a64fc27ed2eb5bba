// Compiled with -mssse3: called only where the processor has it.
#include "mime/base64_kernels.h"

#if QUILLON_X86
#include <immintrin.h>

namespace {

struct Block16 {
  static constexpr size_t kWidth = 16;

  // A byte is in the alphabet where the class of its high nibble and the
  // classes that its low nibble refuses do not meet; its value is the byte
  // plus what its high nibble adds ('/' at index 1, below '+'). Then four
  // values to three bytes: pairs and quads merged by multiply-adds, the
  // three bytes of each quad picked in order.
  static uint32_t Decode(const unsigned char* in, unsigned char* out) {
    const __m128i refused_by_low =
        _mm_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                      0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
    const __m128i class_of_high =
        _mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10,
                      0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
    const __m128i offsets =
        _mm_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m128i nibble = _mm_set1_epi8(0x0f);
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    __m128i high = _mm_and_si128(_mm_srli_epi32(x, 4), nibble);
    __m128i low = _mm_and_si128(x, nibble);
    __m128i clash = _mm_and_si128(_mm_shuffle_epi8(refused_by_low, low),
                                  _mm_shuffle_epi8(class_of_high, high));
    __m128i slash = _mm_cmpeq_epi8(x, _mm_set1_epi8('/'));
    __m128i values =
        _mm_add_epi8(x, _mm_shuffle_epi8(offsets, _mm_add_epi8(high, slash)));
    __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140));
    __m128i quads = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
    __m128i bytes = _mm_shuffle_epi8(
        quads,
        _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    return static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_cmpgt_epi8(clash, _mm_setzero_si128())));
  }
};

}  // namespace

size_t Base64BlocksSsse3(const unsigned char* in, size_t n, unsigned char* out,
                         size_t* w) {
  return DecodeBlocks<Block16>(in, n, out, w);
}
#endif
