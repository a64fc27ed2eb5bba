// The yEnc keyword lines and data text: every line of the input is given to
// the keyword parsers and to the readings of subjects and From: lines, and
// the whole input to every decoding way in pieces cut where the input's
// first bytes say; decoded bytes, counts, state and every CRC way must equal
// the plain reference.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "checksum/crc32.h"
#include "yenc/header.h"
#include "yenc/keyword.h"
#include "yenc/testing.h"
#include "yenc/ydecode.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void ParseLines(std::string_view text) {
  while (!text.empty()) {
    size_t lf = text.find('\n');
    std::string_view line =
        text.substr(0, lf == text.npos ? text.size() : lf + 1);
    text.remove_prefix(line.size());
    Ybegin b;
    Ypart p;
    Yend e;
    if (ParseYbegin(line, &b))
      Check(!b.name.empty() && b.name.size() <= kYencNameMax);
    if (ParseYpart(line, b.size, &p))
      Check(p.begin >= 1 && p.begin <= p.end && p.end <= b.size);
    ParseYend(line, &e);
    // The readings of Subject: and From: texts that yEnc parts take.
    Check(YencSubjectTotal(line) >= -1);
    std::string address = YencPosterAddress(line);
    Check(address.size() <= line.size() &&
          std::none_of(address.begin(), address.end(),
                       [](char c) { return c >= 'A' && c <= 'Z'; }));
  }
}

uint32_t BitwiseCrc32(const std::string& data) {
  uint32_t c = ~0u;
  for (unsigned char b : data) {
    c ^= b;
    for (int i = 0; i < 8; ++i) c = c & 1 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
  }
  return ~c;
}

// `text` through `way`, cut at `cuts`; each piece in a block of its own
// size, so that reads past it show.
void CheckWay(DecodeYencWay way, const std::string& text,
              const std::vector<size_t>& cuts, bool unstuff,
              const YencReference& want) {
  YencState state;
  std::string bytes;
  size_t from = 0, consumed = 0;
  bool keyword = false;
  for (size_t i = 0; i <= cuts.size() && !keyword; ++i) {
    size_t cut = i < cuts.size() ? cuts[i] : text.size();
    std::vector<char> piece(text.begin() + static_cast<long>(from),
                            text.begin() + static_cast<long>(cut));
    std::vector<unsigned char> out(piece.size());
    YencDecoded d =
        way(&state, piece.data(), piece.size(), out.data(), unstuff);
    Check(d.written <= d.consumed && d.consumed <= piece.size());
    Check(d.keyword || d.consumed == piece.size());
    bytes.append(out.begin(), out.begin() + static_cast<long>(d.written));
    consumed += d.consumed;
    keyword = d.keyword;
    from = cut;
  }
  Check(bytes == want.bytes && consumed == want.consumed &&
        keyword == want.keyword);
  Check(state.escape == want.state.escape &&
        state.line_start == want.state.line_start);
  uint32_t crc = BitwiseCrc32(bytes);
  for (Crc32Way crc_way : Crc32Ways()) {
    auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t half = bytes.size() / 2;
    Check(crc_way(0, p, bytes.size()) == crc);
    Check(Crc32Combine(crc_way(0, p, half),
                       crc_way(0, p + half, bytes.size() - half),
                       bytes.size() - half) == crc);
  }
}

}  // namespace

// Byte 0: flags (bit 0 unstuffing); bytes 1 to 3: cut points in the text
// that follows, as fractions of 256.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  std::string text(reinterpret_cast<const char*>(data) + 4, size - 4);
  ParseLines(text);
  bool unstuff = data[0] & 1;
  std::vector<size_t> cuts;
  for (int i = 1; i <= 3; ++i) cuts.push_back(text.size() * data[i] / 256);
  std::sort(cuts.begin(), cuts.end());
  YencReference want = ReferenceDecodeYenc(text, unstuff);
  for (DecodeYencWay way : DecodeYencWays())
    CheckWay(way, text, cuts, unstuff, want);
  return 0;
}
