#include "yenc/ydecode.h"

#include <array>
#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#define QUILLON_YENC_SIMD 1
#else
#define QUILLON_YENC_SIMD 0
#endif

namespace {

bool Plain(const YencState& s) { return !s.escape && !s.line_start; }

// One byte through the state machine; false at the "y" of a line that
// begins with "=y", which is left unconsumed.
inline bool Take(YencState* s, unsigned char c, unsigned char* out, size_t* w,
                 bool unstuff) {
  if (c == '\n') {
    *s = YencState{};
    return true;
  }
  if (c == '\r') return true;
  if (s->escape) {
    if (s->line_start && c == 'y') return false;
    *s = YencState{false, false};
    out[(*w)++] = static_cast<unsigned char>(c - 106);
    return true;
  }
  if (c == '=') {
    s->escape = true;  // a line start stays one until the next byte
    return true;
  }
  if (s->line_start) {
    s->line_start = false;
    if (unstuff && c == '.') return true;  // stuffing
  }
  out[(*w)++] = static_cast<unsigned char>(c - 42);
  return true;
}

// Bytes in[i..end) one at a time. Stops at a keyword line (setting
// `keyword`) or, with `until_plain`, once nothing is pending any more.
size_t TakeRange(YencState* s, const unsigned char* in, size_t i, size_t end,
                 unsigned char* out, size_t* w, bool unstuff, bool until_plain,
                 bool* keyword) {
  YencState st = *s;
  size_t written = *w;
  for (; i < end; ++i) {
    unsigned char c = in[i];
    if (Plain(st)) {
      if (until_plain) break;
      if (c != '=' && c != '\r' && c != '\n') {
        out[written++] = static_cast<unsigned char>(c - 42);
        continue;
      }
    }
    if (!Take(&st, c, out, &written, unstuff)) {
      *keyword = true;
      break;
    }
  }
  *s = st;
  *w = written;
  return i;
}

YencDecoded DecodePlain(YencState* state, const char* in, size_t n,
                        unsigned char* out, bool unstuff) {
  YencDecoded d;
  d.consumed = TakeRange(state, reinterpret_cast<const unsigned char*>(in), 0,
                         n, out, &d.written, unstuff, false, &d.keyword);
  return d;
}

#if QUILLON_YENC_SIMD
// Vector code for whole blocks: takes blocks from `in` until one needs the
// bytewise way or fewer than a block is left; returns the bytes taken and
// sets *w to the bytes written. Entered only with nothing pending.
using Blocks = size_t (*)(const unsigned char* in, size_t n, unsigned char* out,
                          size_t* w, bool unstuff);

YencDecoded DecodeWith(Blocks blocks, size_t block, YencState* s,
                       const char* text, size_t n, unsigned char* out,
                       bool unstuff) {
  auto* in = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0, w = 0;
  bool keyword = false;
  while (i < n && !keyword) {
    if (!Plain(*s)) {
      i = TakeRange(s, in, i, n, out, &w, unstuff, true, &keyword);
    } else if (n - i < block) {
      i = TakeRange(s, in, i, n, out, &w, unstuff, false, &keyword);
    } else {
      size_t taken = 0;
      i += blocks(in + i, n - i, out + w, &taken, unstuff);
      w += taken;
      if (n - i >= block)  // the block refused
        i = TakeRange(s, in, i, i + block, out, &w, unstuff, false, &keyword);
    }
  }
  return {i, w, keyword};
}

// How many bytes of a block with specials the vector code takes, from the
// masks of its "=", CR, LF, "y" and stuffable "." bytes; 0 where the
// bytewise way must: a doubled "=", an escaped line end, a line that begins
// with CR, "=y" or ".". A block never ends after "=" or LF, so that nothing
// is pending at the next.
inline unsigned VectorLength(uint32_t eq, uint32_t cr, uint32_t lf, uint32_t y,
                             uint32_t dot, unsigned width) {
  uint32_t escaped = eq << 1, starts = lf << 1;
  if ((eq & escaped) | (escaped & (cr | lf)) | (starts & (cr | dot)) |
      ((starts & eq) << 1 & y))
    return 0;
  unsigned len = width;
  while (len > 0 && ((eq | lf) >> (len - 1) & 1u)) --len;
  return len;
}

uint32_t LowBits(unsigned n) { return n >= 32 ? ~0u : (1u << n) - 1; }

// For each 8-bit mask of bytes to keep: the indices of those bytes in
// order, one per byte of the 64-bit word, and their number.
struct Compaction {
  std::array<uint64_t, 256> shuffle{};
  std::array<unsigned char, 256> count{};
};

constexpr Compaction MakeCompaction() {
  Compaction c;
  for (unsigned m = 0; m < 256; ++m) {
    unsigned k = 0;
    for (unsigned j = 0; j < 8; ++j)
      if (m >> j & 1u) c.shuffle[m] |= uint64_t{j} << (8 * k++);
    c.count[m] = static_cast<unsigned char>(k);
  }
  return c;
}

constexpr Compaction kCompaction = MakeCompaction();
constexpr uint64_t kEights = 0x0808080808080808u;

// Sixteen bytes with no "=", CR or LF at a time; any other block is left
// to the bytewise way.
size_t BlocksSse2(const unsigned char* in, size_t n, unsigned char* out,
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

#define QUILLON_SSSE3 __attribute__((target("ssse3")))

// The kept bytes of eight-byte halves moved together by one shuffle; each
// half is stored whole, the next store starting after its kept bytes.
QUILLON_SSSE3 size_t Compact16(__m128i bytes, uint32_t keep,
                               unsigned char* out) {
  unsigned m0 = keep & 255u, m1 = keep >> 8 & 255u;
  __m128i order =
      _mm_set_epi64x(static_cast<long long>(kCompaction.shuffle[m1] + kEights),
                     static_cast<long long>(kCompaction.shuffle[m0]));
  __m128i s = _mm_shuffle_epi8(bytes, order);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), s);
  size_t c0 = kCompaction.count[m0];
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + c0), _mm_srli_si128(s, 8));
  return c0 + kCompaction.count[m1];
}

QUILLON_SSSE3 size_t BlocksSsse3(const unsigned char* in, size_t n,
                                 unsigned char* out, size_t* w, bool unstuff) {
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

#define QUILLON_AVX2 __attribute__((target("avx2,popcnt")))

QUILLON_AVX2 size_t Compact32(__m256i bytes, uint32_t keep,
                              unsigned char* out) {
  unsigned m0 = keep & 255u, m1 = keep >> 8 & 255u, m2 = keep >> 16 & 255u,
           m3 = keep >> 24;
  __m256i order = _mm256_set_epi64x(
      static_cast<long long>(kCompaction.shuffle[m3] + kEights),
      static_cast<long long>(kCompaction.shuffle[m2]),
      static_cast<long long>(kCompaction.shuffle[m1] + kEights),
      static_cast<long long>(kCompaction.shuffle[m0]));
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

QUILLON_AVX2 uint32_t Mask32(__m256i x, char c) {
  return static_cast<uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(x, _mm256_set1_epi8(c))));
}

QUILLON_AVX2 size_t BlocksAvx2(const unsigned char* in, size_t n,
                               unsigned char* out, size_t* w, bool unstuff) {
  size_t i = 0, o = 0;
  while (n - i >= 32) {
    __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    __m256i eqv = _mm256_cmpeq_epi8(x, _mm256_set1_epi8('='));
    auto eq = static_cast<uint32_t>(_mm256_movemask_epi8(eqv));
    uint32_t cr = Mask32(x, '\r'), lf = Mask32(x, '\n');
    __m256i bytes = _mm256_sub_epi8(x, _mm256_set1_epi8(42));
    if ((eq | cr | lf) == 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + o), bytes);
      i += 32;
      o += 32;
      continue;
    }
    uint32_t y = lf << 1 & eq ? Mask32(x, 'y') : 0;
    uint32_t dot = unstuff && lf ? Mask32(x, '.') : 0;
    unsigned len = VectorLength(eq, cr, lf, y, dot, 32);
    if (len == 0) break;
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

YencDecoded DecodeSse2(YencState* s, const char* in, size_t n,
                       unsigned char* out, bool unstuff) {
  return DecodeWith(BlocksSse2, 16, s, in, n, out, unstuff);
}

YencDecoded DecodeSsse3(YencState* s, const char* in, size_t n,
                        unsigned char* out, bool unstuff) {
  return DecodeWith(BlocksSsse3, 16, s, in, n, out, unstuff);
}

YencDecoded DecodeAvx2(YencState* s, const char* in, size_t n,
                       unsigned char* out, bool unstuff) {
  return DecodeWith(BlocksAvx2, 32, s, in, n, out, unstuff);
}
#endif

}  // namespace

std::vector<DecodeYencWay> DecodeYencWays() {
  std::vector<DecodeYencWay> ways;
#if QUILLON_YENC_SIMD
  __builtin_cpu_init();  // may run before the library's own constructor
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt"))
    ways.push_back(DecodeAvx2);
  if (__builtin_cpu_supports("ssse3")) ways.push_back(DecodeSsse3);
  ways.push_back(DecodeSse2);
#endif
  ways.push_back(DecodePlain);
  return ways;
}

namespace {
const DecodeYencWay kDecodeYenc = DecodeYencWays().front();
}  // namespace

YencDecoded DecodeYenc(YencState* state, const char* in, size_t n,
                       unsigned char* out, bool unstuff) {
  return kDecodeYenc(state, in, n, out, unstuff);
}
