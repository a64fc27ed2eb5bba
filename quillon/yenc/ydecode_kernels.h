// The vector kernels of yEnc decoding, each in a file compiled for its
// instruction set, and what they share. Only plain types here: the plain
// code that includes this must not see vector types.
#ifndef QUILLON_YENC_YDECODE_KERNELS_H_
#define QUILLON_YENC_YDECODE_KERNELS_H_

#include <cstddef>
#include <cstdint>

#include "cpu.h"

#if QUILLON_X86_64
// Each takes whole blocks from `in` until one needs the bytewise way or
// fewer than a block is left; returns the bytes taken and sets *w to the
// bytes written. Entered only with nothing pending.
size_t YencBlocksSse2(const unsigned char* in, size_t n, unsigned char* out,
                      size_t* w, bool unstuff);
size_t YencBlocksSsse3(const unsigned char* in, size_t n, unsigned char* out,
                       size_t* w, bool unstuff);
size_t YencBlocksAvx2(const unsigned char* in, size_t n, unsigned char* out,
                      size_t* w, bool unstuff);

// For each 8-bit mask of bytes to keep: the indices of those bytes in
// order, one per byte of the 64-bit word, and their number.
struct YencCompaction {
  uint64_t shuffle[256];
  unsigned char count[256];
};
extern const YencCompaction kYencCompaction;

// Internal to each kernel's file, so that no copy compiled for one
// instruction set is shared with another.
namespace {

constexpr uint64_t kEights = 0x0808080808080808u;

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

inline uint32_t LowBits(unsigned n) { return n >= 32 ? ~0u : (1u << n) - 1; }

}  // namespace
#endif

#endif  // QUILLON_YENC_YDECODE_KERNELS_H_
