#include "yenc/ydecode.h"

#include "yenc/ydecode_kernels.h"

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

#if QUILLON_X86_64
// The bytewise way around a vector kernel that takes whole blocks of
// `block` bytes.
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

// The table of the compacting kernels, worked out by the compiler.
constexpr YencCompaction MakeCompaction() {
  YencCompaction c{};
  for (unsigned m = 0; m < 256; ++m) {
    unsigned k = 0;
    for (unsigned j = 0; j < 8; ++j)
      if (m >> j & 1u) c.shuffle[m] |= uint64_t{j} << (8 * k++);
    c.count[m] = static_cast<unsigned char>(k);
  }
  return c;
}

YencDecoded DecodeSse2(YencState* s, const char* in, size_t n,
                       unsigned char* out, bool unstuff) {
  return DecodeWith(YencBlocksSse2, 16, s, in, n, out, unstuff);
}

YencDecoded DecodeSsse3(YencState* s, const char* in, size_t n,
                        unsigned char* out, bool unstuff) {
  return DecodeWith(YencBlocksSsse3, 16, s, in, n, out, unstuff);
}

YencDecoded DecodeAvx2(YencState* s, const char* in, size_t n,
                       unsigned char* out, bool unstuff) {
  return DecodeWith(YencBlocksAvx2, 32, s, in, n, out, unstuff);
}
#endif

}  // namespace

#if QUILLON_X86_64
constexpr YencCompaction kYencCompaction = MakeCompaction();
#endif

std::vector<DecodeYencWay> DecodeYencWays() {
  std::vector<DecodeYencWay> ways;
#if QUILLON_X86_64
  const CpuFeatures& cpu = ProcessorFeatures();
  if (cpu.avx2 && cpu.popcnt) ways.push_back(DecodeAvx2);
  if (cpu.ssse3) ways.push_back(DecodeSsse3);
  if (cpu.sse2) ways.push_back(DecodeSse2);
#endif
  ways.push_back(DecodePlain);
  return ways;
}

YencDecoded DecodeYenc(YencState* state, const char* in, size_t n,
                       unsigned char* out, bool unstuff) {
  static const DecodeYencWay fastest = DecodeYencWays().front();
  return fastest(state, in, n, out, unstuff);
}
