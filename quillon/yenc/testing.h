// For the tests, the fuzz target and the benchmark, not the programs: a
// plain reference decoder of yEnc data text, written line by line, and an
// encoder.
#ifndef QUILLON_YENC_TESTING_H_
#define QUILLON_YENC_TESTING_H_

#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "yenc/ydecode.h"

struct YencReference {
  std::string bytes;
  size_t consumed = 0;
  bool keyword = false;
  YencState state;
};

// What DecodeYenc gives for `text` in one piece from the start of a line.
inline YencReference ReferenceDecodeYenc(std::string_view text, bool unstuff) {
  YencReference r;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    size_t end = eol == std::string_view::npos ? text.size() : eol;
    // The line without its CRs; each character with its place in `text`.
    std::vector<std::pair<char, size_t>> line;
    for (size_t k = pos; k < end; ++k)
      if (text[k] != '\r') line.emplace_back(text[k], k);
    if (line.size() >= 2 && line[0].first == '=' && line[1].first == 'y') {
      r.consumed = line[1].second;
      r.keyword = true;
      r.state = YencState{true, true};
      return r;
    }
    bool stuffed = unstuff && !line.empty() && line[0].first == '.';
    bool escape = false;
    for (size_t k = stuffed ? 1 : 0; k < line.size(); ++k) {
      auto c = static_cast<unsigned char>(line[k].first);
      if (escape) r.bytes += static_cast<char>(c - 106);
      if (!escape && c != '=') r.bytes += static_cast<char>(c - 42);
      escape = !escape && c == '=';
    }
    if (eol == std::string_view::npos) {  // an unfinished last line
      bool lone = line.size() == 1;
      r.state.line_start = line.empty() || (lone && line[0].first == '=');
      r.state.escape = escape;
      break;
    }
    pos = eol + 1;
  }
  r.consumed = text.size();
  return r;
}

struct YencStyle {
  size_t line = 128;           // encoded characters a line aims at
  bool crlf = true;            // CR LF line ends, else LF
  bool escape_blanks = false;  // TAB and SPACE at a line's start and end
  bool escape_dots = false;    // "." at a line's start
};

// The data lines of `data`, each ended by a line end.
inline std::string EncodeYencLines(std::string_view data,
                                   const YencStyle& style = {}) {
  std::string out;
  out.reserve(data.size() + data.size() / 32 + 16);
  size_t column = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    auto c =
        static_cast<unsigned char>(static_cast<unsigned char>(data[i]) + 42);
    bool last = column + 1 >= style.line || i + 1 == data.size();
    bool escape = c == 0 || c == '\n' || c == '\r' || c == '=' ||
                  (style.escape_blanks && (c == '\t' || c == ' ') &&
                   (column == 0 || last)) ||
                  (style.escape_dots && c == '.' && column == 0);
    if (escape) {
      out += '=';
      c = static_cast<unsigned char>(c + 64);
      ++column;
    }
    out += static_cast<char>(c);
    if (++column >= style.line || i + 1 == data.size()) {
      out += style.crlf ? "\r\n" : "\n";
      column = 0;
    }
  }
  return out;
}

// Wire format: a line that begins with "." gets another one.
inline std::string DotStuff(std::string_view text) {
  std::string out;
  bool start = true;
  for (char c : text) {
    if (start && c == '.') out += '.';
    out += c;
    start = c == '\n';
  }
  return out;
}

// `n` bytes of a seeded random sequence.
inline std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

// A CRC as encoders write it in keyword lines: eight lower-case hex digits.
inline std::string CrcHex(uint32_t crc) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08" PRIx32, crc);
  return buf;
}

#endif  // QUILLON_YENC_TESTING_H_
