#include "mime/quoted_printable.h"

namespace {

int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

QpLine DecodeQpLine(const char* line, size_t n, unsigned char* out) {
  auto* in = reinterpret_cast<const unsigned char*>(line);
  size_t end = n;
  bool line_end = end > 0 && in[end - 1] == '\n';
  if (line_end) {
    --end;
    if (end > 0 && in[end - 1] == '\r') --end;
  }
  while (end > 0 && (in[end - 1] == ' ' || in[end - 1] == '\t')) --end;
  QpLine d;
  d.soft = end > 0 && in[end - 1] == '=';
  if (d.soft) --end;
  size_t o = 0;
  for (size_t i = 0; i < end; ++i) {
    unsigned char c = in[i];
    if (c == '=' && end - i > 2) {
      int high = HexValue(in[i + 1]), low = HexValue(in[i + 2]);
      if (high >= 0 && low >= 0) {
        out[o++] = static_cast<unsigned char>(high << 4 | low);
        i += 2;
        continue;
      }
    }
    out[o++] = c;
  }
  if (line_end && !d.soft) out[o++] = '\n';
  d.written = o;
  return d;
}
