#include "mime/base64.h"

#include <array>

#include "mime/base64_kernels.h"

namespace {

constexpr unsigned char kPad = 64;    // "="
constexpr unsigned char kSkip = 128;  // outside the alphabet

constexpr std::array<unsigned char, 256> MakeValues() {
  std::array<unsigned char, 256> t{};
  for (auto& v : t) v = kSkip;
  const char alphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (unsigned i = 0; i < 64; ++i)
    t[static_cast<unsigned char>(alphabet[i])] = static_cast<unsigned char>(i);
  t['='] = kPad;
  return t;
}

constexpr std::array<unsigned char, 256> kValues = MakeValues();

// Bytes in[i..end) one at a time, four at once where a whole quantum of the
// alphabet lies ahead. With `until_whole` it stops once no character is
// pending any more.
size_t TakeRange(Base64State* s, const unsigned char* in, size_t i, size_t end,
                 unsigned char* out, size_t* w, bool until_whole) {
  if (s->ended) return end;
  uint32_t bits = s->bits;
  unsigned chars = s->chars;
  size_t o = *w;
  for (; i < end; ++i) {
    if (chars == 0) {
      if (until_whole) break;
      if (end - i >= 4) {
        uint32_t a = kValues[in[i]], b = kValues[in[i + 1]],
                 c = kValues[in[i + 2]], d = kValues[in[i + 3]];
        if ((a | b | c | d) < 64) {
          uint32_t v = a << 18 | b << 12 | c << 6 | d;
          out[o] = static_cast<unsigned char>(v >> 16);
          out[o + 1] = static_cast<unsigned char>(v >> 8);
          out[o + 2] = static_cast<unsigned char>(v);
          o += 3;
          i += 3;
          continue;
        }
      }
    }
    unsigned v = kValues[in[i]];
    if (v == kSkip) continue;
    if (v == kPad) {
      s->ended = true;
      i = end;
      break;
    }
    bits = bits << 6 | v;
    // A byte is whole after the second, third and fourth character.
    if (chars > 0)
      out[o++] = static_cast<unsigned char>(bits >> (6 - 2 * chars));
    chars = (chars + 1) & 3;
    if (chars == 0) bits = 0;
  }
  s->bits = bits;
  s->chars = static_cast<unsigned char>(chars);
  *w = o;
  return i;
}

size_t DecodePlain(Base64State* s, const char* in, size_t n,
                   unsigned char* out) {
  size_t w = 0;
  TakeRange(s, reinterpret_cast<const unsigned char*>(in), 0, n, out, &w,
            false);
  return w;
}

#if QUILLON_X86
// The bytewise way around a vector kernel that takes whole blocks of
// `block` bytes.
using Blocks = size_t (*)(const unsigned char* in, size_t n, unsigned char* out,
                          size_t* w);

size_t DecodeWith(Blocks blocks, size_t block, Base64State* s, const char* text,
                  size_t n, unsigned char* out) {
  auto* in = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0, w = 0;
  while (i < n && !s->ended) {
    if (s->chars != 0) {
      i = TakeRange(s, in, i, n, out, &w, true);
    } else if (n - i < block) {
      i = TakeRange(s, in, i, n, out, &w, false);
    } else {
      size_t taken = 0;
      i += blocks(in + i, n - i, out + w, &taken);
      w += taken;
      if (n - i >= block)  // the kernel refused: a block the plain way
        i = TakeRange(s, in, i, i + block, out, &w, false);
    }
  }
  return w;
}

size_t DecodeSsse3(Base64State* s, const char* in, size_t n,
                   unsigned char* out) {
  return DecodeWith(Base64BlocksSsse3, 16, s, in, n, out);
}

size_t DecodeAvx2(Base64State* s, const char* in, size_t n,
                  unsigned char* out) {
  return DecodeWith(Base64BlocksAvx2, 32, s, in, n, out);
}
#endif

}  // namespace

bool Base64Whole(const Base64State& state) {
  return state.chars == 0 || (state.ended && state.chars >= 2);
}

std::vector<DecodeBase64Way> DecodeBase64Ways() {
  std::vector<DecodeBase64Way> ways;
#if QUILLON_X86
  const CpuFeatures& cpu = ProcessorFeatures();
  if (cpu.avx2) ways.push_back(DecodeAvx2);
  if (cpu.ssse3) ways.push_back(DecodeSsse3);
#endif
  ways.push_back(DecodePlain);
  return ways;
}

size_t DecodeBase64(Base64State* state, const char* in, size_t n,
                    unsigned char* out) {
  static const DecodeBase64Way fastest = DecodeBase64Ways().front();
  return fastest(state, in, n, out);
}
