// The decoders of MIME part bodies: the whole input, cut where its first
// four bytes say, to every base64 decoding way (the plain one and each
// instruction set's), which must give the bytes and state of the plain way
// in one piece, which must give those of a bitwise reference; every line
// to the quoted-printable decoder, which must stay within its buffer and
// give back what its encoder made of the line; the input to MD5 in the same
// pieces, which must give the digest of the whole.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "checksum/md5.h"
#include "mime/base64.h"
#include "mime/quoted_printable.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

struct Base64Result {
  std::string bytes;
  Base64State state;
};

// A decoder as the definition reads: the values up to the first "=", six
// bits each, eight bits to a byte.
Base64Result Reference(std::string_view text) {
  static const std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::vector<bool> bits;
  Base64Result r;
  size_t chars = 0;
  for (char c : text) {
    if (c == '=') {
      r.state.ended = true;
      break;
    }
    size_t v = kAlphabet.find(c);
    if (v == kAlphabet.npos) continue;
    ++chars;
    for (int b = 5; b >= 0; --b) bits.push_back(v >> b & 1);
  }
  for (size_t i = 0; i + 8 <= bits.size(); i += 8) {
    unsigned byte = 0;
    for (size_t b = 0; b < 8; ++b) byte = byte << 1 | bits[i + b];
    r.bytes += static_cast<char>(byte);
  }
  r.state.chars = static_cast<unsigned char>(chars % 4);
  return r;
}

// `text` through `way` cut at `cuts`, each piece in a buffer of its size.
Base64Result DecodeIn(DecodeBase64Way way, const std::string& text,
                      const std::vector<size_t>& cuts) {
  Base64Result r;
  size_t from = 0;
  for (size_t i = 0; i <= cuts.size(); ++i) {
    size_t to = i < cuts.size() ? cuts[i] : text.size();
    std::vector<unsigned char> out(to - from);
    std::vector<char> piece(text.begin() + static_cast<long>(from),
                            text.begin() + static_cast<long>(to));
    size_t w = way(&r.state, piece.data(), piece.size(), out.data());
    Check(w <= piece.size());
    r.bytes.append(out.begin(), out.begin() + static_cast<long>(w));
    from = to;
  }
  return r;
}

bool Same(const Base64Result& a, const Base64Result& b) {
  return a.bytes == b.bytes && a.state.chars == b.state.chars &&
         a.state.ended == b.state.ended &&
         Base64Whole(a.state) == Base64Whole(b.state);
}

void CheckBase64(const std::string& text, const std::vector<size_t>& cuts) {
  const std::vector<DecodeBase64Way> ways = DecodeBase64Ways();
  Base64Result whole = DecodeIn(ways.back(), text, {});
  Check(Same(whole, Reference(text)));
  for (DecodeBase64Way way : ways) {
    Base64Result r = DecodeIn(way, text, cuts);
    Check(Same(r, whole) && r.state.bits == whole.state.bits);
  }
}

// Quoted-printable as an encoder writes it: "=" and bytes outside the
// printable range as "=XX", blanks at the end too, soft breaks before 76.
std::string EncodeQp(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out, line;
  for (size_t i = 0; i < bytes.size(); ++i) {
    auto c = static_cast<unsigned char>(bytes[i]);
    bool last = i + 1 == bytes.size();
    std::string piece(1, static_cast<char>(c));
    if (c == '=' || c < 32 || c > 126 || ((c == ' ' || c == '\t') && last))
      piece = std::string{'=', kHex[c >> 4], kHex[c & 15]};
    if (line.size() + piece.size() > 75) {
      out += line + "=\r\n";
      line.clear();
    }
    line += piece;
  }
  return out + line;
}

// Each line alone within an exact buffer; an encoded line given back.
void CheckQp(std::string_view text) {
  while (!text.empty()) {
    size_t lf = text.find('\n');
    std::string_view line =
        text.substr(0, lf == text.npos ? text.size() : lf + 1);
    text.remove_prefix(line.size());
    std::vector<unsigned char> out(line.size());
    QpLine d = DecodeQpLine(line.data(), line.size(), out.data());
    Check(d.written <= line.size());
    bool line_end = lf != std::string_view::npos;
    Check(!line_end || d.soft || out[d.written - 1] == '\n');
    std::string encoded = EncodeQp(line.substr(0, line.size() - line_end));
    std::string decoded;
    for (size_t pos = 0; pos < encoded.size();) {
      size_t end = std::min(encoded.find('\n', pos), encoded.size() - 1) + 1;
      std::vector<unsigned char> buffer(end - pos);
      QpLine e = DecodeQpLine(encoded.data() + pos, end - pos, buffer.data());
      Check(e.soft == (end < encoded.size()));
      decoded.append(buffer.begin(),
                     buffer.begin() + static_cast<long>(e.written));
      pos = end;
    }
    Check(decoded == line.substr(0, line.size() - line_end));
  }
}

void CheckMd5(const std::string& text, const std::vector<size_t>& cuts) {
  Md5 whole, pieces;
  Md5Update(&whole, text.data(), text.size());
  size_t from = 0;
  for (size_t i = 0; i <= cuts.size(); ++i) {
    size_t to = i < cuts.size() ? cuts[i] : text.size();
    Md5Update(&pieces, text.data() + from, to - from);
    from = to;
  }
  Check(Md5Final(&whole) == Md5Final(&pieces));
}

}  // namespace

// Bytes 0 to 3: cut points in the text that follows, as fractions of 256.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  std::string text(reinterpret_cast<const char*>(data) + 4, size - 4);
  std::vector<size_t> cuts;
  for (int i = 0; i < 4; ++i) cuts.push_back(text.size() * data[i] / 256);
  std::sort(cuts.begin(), cuts.end());
  CheckBase64(text, cuts);
  CheckQp(text);
  CheckMd5(text, cuts);
  return 0;
}
