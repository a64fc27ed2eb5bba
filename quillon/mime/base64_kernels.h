// The vector kernels of base64 decoding, each in a file compiled for its
// instruction set, and the walk over lines that they share. Only plain
// types here: the plain code that includes this must not see vector types.
#ifndef QUILLON_MIME_BASE64_KERNELS_H_
#define QUILLON_MIME_BASE64_KERNELS_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cpu.h"

#if QUILLON_X86
// Each decodes the text's lines of whole quanta of the alphabet (LF or
// CR LF ended) in blocks of 16 (32) characters, and elsewhere the runs of
// the alphabet before a line end as far as they make whole quanta, stepping
// over CR and LF; it stops where the plain way must go on (any other byte,
// or a quantum cut by one) or fewer than a block is left. Returns the bytes
// taken and sets *w to the bytes written; `out` has room for `n` bytes, of
// which the vector stores may overwrite more than they count. Entered only
// between quanta, before any "=".
size_t Base64BlocksSsse3(const unsigned char* in, size_t n, unsigned char* out,
                         size_t* w);
size_t Base64BlocksAvx2(const unsigned char* in, size_t n, unsigned char* out,
                        size_t* w);

// Internal to each kernel's file, so that no copy compiled for one
// instruction set is shared with another. `Block` gives the width and a
// Decode that reads kWidth characters, stores kWidth bytes of which the
// first kWidth / 4 * 3 are the decoded ones, and returns the mask of the
// characters outside the alphabet.
namespace {

inline uint32_t LowBits(size_t n) { return n >= 32 ? ~0u : (1u << n) - 1; }

// A line of `len` characters, a multiple of 4, with a block readable at
// `in` however short the line; false where a character is outside the
// alphabet.
template <typename Block>
bool DecodeLine(const unsigned char* in, size_t len, unsigned char* out) {
  constexpr size_t kWidth = Block::kWidth;
  uint32_t bad = 0;
  size_t j = 0;
  for (; len - j >= kWidth; j += kWidth)
    bad |= Block::Decode(in + j, out + j / 4 * 3);
  if (j < len) {
    if (len >= kWidth)  // the last block again over the one before
      bad |= Block::Decode(in + len - kWidth, out + (len - kWidth) / 4 * 3);
    else
      bad |= Block::Decode(in, out) & LowBits(len);
  }
  return bad == 0;
}

// Blocks from `i` until `stop` (or the end) as far as runs of the alphabet
// and line ends go; sets *refused where the plain way must take over.
template <typename Block>
size_t DecodeRuns(const unsigned char* in, size_t i, size_t stop, size_t n,
                  unsigned char* out, size_t* o, bool* refused) {
  constexpr size_t kWidth = Block::kWidth;
  while (i < stop && n - i >= kWidth) {
    uint32_t bad = Block::Decode(in + i, out + *o);
    auto run =
        static_cast<size_t>(bad == 0 ? kWidth : __builtin_ctz(bad) & ~3u);
    if (run > 0) {
      i += run;
      *o += run / 4 * 3;
    } else if (in[i] == '\r' || in[i] == '\n') {
      ++i;
    } else {
      *refused = true;
      break;
    }
  }
  return i;
}

template <typename Block>
size_t DecodeBlocks(const unsigned char* in, size_t n, unsigned char* out,
                    size_t* w) {
  size_t i = 0, o = 0;
  size_t line = 0;  // characters of the last line: the next one likely has
                    // as many, and then its end is not searched for
  bool refused = false;
  while (!refused && n - i >= Block::kWidth) {
    size_t len = line, next = n;
    if (i + line < n && in[i + line] == '\n') {
      next = i + line + 1;
    } else if (n - i > line + 1 && in[i + line] == '\r' &&
               in[i + line + 1] == '\n') {
      next = i + line + 2;
    } else if (const void* lf = std::memchr(in + i, '\n', n - i)) {
      next = static_cast<size_t>(static_cast<const unsigned char*>(lf) - in);
      len = next++ - i;
      if (len > 0 && in[i + len - 1] == '\r') --len;
    } else {
      len = 1;  // no line end: runs to the end
    }
    if (len % 4 == 0 && DecodeLine<Block>(in + i, len, out + o)) {
      i = next;
      o += len / 4 * 3;
      line = len;
    } else {
      i = DecodeRuns<Block>(in, i, next, n, out, &o, &refused);
      if (i < next) break;
    }
  }
  *w = o;
  return i;
}

}  // namespace
#endif

#endif  // QUILLON_MIME_BASE64_KERNELS_H_
