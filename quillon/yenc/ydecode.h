// Decoding of yEnc data text, in pieces cut anywhere.
#ifndef QUILLON_YENC_YDECODE_H_
#define QUILLON_YENC_YDECODE_H_

#include <cstddef>
#include <vector>

// What one piece of data text leaves pending for the next. Start with the
// defaults at the first data line.
struct YencState {
  bool escape = false;     // an "=" waits for the byte it escapes
  bool line_start = true;  // the next byte begins a line
};

struct YencDecoded {
  size_t consumed = 0;   // bytes of the input taken
  size_t written = 0;    // bytes decoded into the output
  bool keyword = false;  // stopped at a keyword line
};

// Decodes `n` bytes of data text as they lie in the file into `out`, which
// has room for `n` bytes (and must not overlap the input): CR and LF are
// skipped, "=" c gives c - 106, an "=" that ends a line is dropped, and with
// `unstuff` a line that begins with "." loses that dot (the wire's
// stuffing; a lone "." line there ends the article and holds no data). Stops at
// the input's end, or at a line that begins with "=y": then `keyword` is set,
// `consumed` points at the "y", and the line's "=" (in this input or the one
// before) is taken, with state->escape still set.
YencDecoded DecodeYenc(YencState* state, const char* in, size_t n,
                       unsigned char* out, bool unstuff);

// The ways of decoding this processor can run, fastest first; DecodeYenc
// takes the first. Every one gives the same bytes, counts and state; the
// tests check that.
using DecodeYencWay = YencDecoded (*)(YencState* state, const char* in,
                                      size_t n, unsigned char* out,
                                      bool unstuff);
std::vector<DecodeYencWay> DecodeYencWays();

#endif  // QUILLON_YENC_YDECODE_H_
