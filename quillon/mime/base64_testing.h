// For the tests, the fuzz target and the benchmark, not the programs: a
// base64 encoder writing lines as mail software does.
#ifndef QUILLON_MIME_BASE64_TESTING_H_
#define QUILLON_MIME_BASE64_TESTING_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// `data` in base64 with "=" padding, in lines of `line` characters (76 in
// MIME), each ended by `eol`.
inline std::string EncodeBase64Lines(std::string_view data, size_t line = 76,
                                     std::string_view eol = "\r\n") {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve(data.size() / 3 * 4 * (line + eol.size()) / line + 8);
  size_t column = 0;
  auto put = [&](char c) {
    out += c;
    if (++column == line) {
      out += eol;
      column = 0;
    }
  };
  for (size_t i = 0; i < data.size(); i += 3) {
    size_t have = data.size() - i < 3 ? data.size() - i : 3;
    uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(data[i]))
                 << 16;
    if (have > 1)
      v |= static_cast<uint32_t>(static_cast<unsigned char>(data[i + 1])) << 8;
    if (have > 2) v |= static_cast<unsigned char>(data[i + 2]);
    for (size_t k = 0; k < 4; ++k)
      put(k <= have ? kAlphabet[v >> (18 - 6 * k) & 63] : '=');
  }
  if (column > 0) out += eol;
  return out;
}

#endif  // QUILLON_MIME_BASE64_TESTING_H_
