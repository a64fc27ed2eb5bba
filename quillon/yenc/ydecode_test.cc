#include "yenc/ydecode.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "yenc/testing.h"

namespace {

struct Result {
  std::string bytes;
  size_t consumed = 0;
  bool keyword = false;
  YencState state;
};

// `text` through `way` in pieces cut at `cuts` (ascending), up to a keyword
// line. Each piece is copied to a block of its own size, so that a read past
// it shows under the address checker.
Result DecodeInPieces(DecodeYencWay way, const std::string& text,
                      std::vector<size_t> cuts, bool unstuff) {
  cuts.push_back(text.size());
  Result r;
  size_t from = 0;
  for (size_t cut : cuts) {
    std::vector<char> piece(text.begin() + static_cast<long>(from),
                            text.begin() + static_cast<long>(cut));
    std::vector<unsigned char> out(piece.size());
    YencDecoded d =
        way(&r.state, piece.data(), piece.size(), out.data(), unstuff);
    EXPECT_LE(d.written, d.consumed);  // the output's room
    r.bytes.append(out.begin(), out.begin() + static_cast<long>(d.written));
    r.consumed += d.consumed;
    if (d.keyword) {
      r.keyword = true;
      return r;
    }
    EXPECT_EQ(d.consumed, piece.size());
    from = cut;
  }
  return r;
}

void ExpectSame(const Result& got, const YencReference& want,
                const std::string& what) {
  ASSERT_EQ(got.bytes, want.bytes) << what;
  ASSERT_EQ(got.consumed, want.consumed) << what;
  ASSERT_EQ(got.keyword, want.keyword) << what;
  ASSERT_EQ(got.state.escape, want.state.escape) << what;
  ASSERT_EQ(got.state.line_start, want.state.line_start) << what;
}

// Text rich in what the decoder must handle: "=", CR, LF, ".", "y" and
// the sequences of them that matter, among plain bytes, from sparse to
// dense.
std::string NastyText(size_t n, std::mt19937* rng) {
  static const char* const kPieces[] = {
      "=", "\r", "\n", ".", "y", "\r\n", "\n=y", "\n..", "==", "=\n", "\n\r"};
  unsigned rate = 4u << (2 * ((*rng)() % 4));
  std::string s;
  while (s.size() < n) {
    unsigned r = (*rng)();
    if (r % rate == 0)
      s += kPieces[(r >> 8) % 11];
    else
      s += static_cast<char>(r >> 16);
  }
  s.resize(n);
  return s;
}

std::string AllBytes(size_t n, size_t shift) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>((i * 7 + shift) & 255);
  return s;
}

std::string Show(const std::string& text) {
  std::string s;
  for (unsigned char c : text) {
    if (c >= 32 && c < 127)
      s += static_cast<char>(c);
    else
      s += "\\x" + std::string(1, "0123456789abcdef"[c >> 4]) +
           "0123456789abcdef"[c & 15];
  }
  return s;
}

TEST(DecodeYenc, EveryWayMatchesTheReferenceOnNastyText) {
  std::mt19937 rng(42);
  for (int round = 0; round < 3000; ++round) {
    std::string text = NastyText(rng() % 400, &rng);
    bool unstuff = round % 2;
    YencReference want = ReferenceDecodeYenc(text, unstuff);
    for (DecodeYencWay way : DecodeYencWays())
      ExpectSame(DecodeInPieces(way, text, {}, unstuff), want, Show(text));
  }
}

// A cut anywhere, also between "=" and its byte, between CR and LF and
// between a line's two dots, changes nothing.
TEST(DecodeYenc, CutsAnywhereChangeNothing) {
  std::mt19937 rng(5);
  for (int round = 0; round < 60; ++round) {
    std::string text = NastyText(100 + rng() % 100, &rng);
    bool unstuff = round % 2;
    YencReference want = ReferenceDecodeYenc(text, unstuff);
    for (DecodeYencWay way : DecodeYencWays()) {
      for (size_t cut = 0; cut <= text.size(); ++cut)
        ExpectSame(DecodeInPieces(way, text, {cut}, unstuff), want,
                   "cut " + std::to_string(cut) + ": " + Show(text));
      std::vector<size_t> cuts;
      for (size_t at = rng() % 40; at < text.size(); at += 1 + rng() % 40)
        cuts.push_back(at);
      ExpectSame(DecodeInPieces(way, text, cuts, unstuff), want, Show(text));
    }
  }
}

// Every byte value at every place of a line, in every encoding style.
TEST(DecodeYenc, DecodesWhatTheEncoderWrote) {
  for (size_t line : {128, 61, 1}) {
    for (int style_bits = 0; style_bits < 8; ++style_bits) {
      YencStyle style{line, (style_bits & 1) != 0, (style_bits & 2) != 0,
                      (style_bits & 4) != 0};
      for (size_t shift = 0; shift < 256; shift += line == 1 ? 255 : 1) {
        std::string data = AllBytes(2 * 256 + shift % 64, shift);
        std::string text = EncodeYencLines(data, style);
        for (DecodeYencWay way : DecodeYencWays()) {
          Result r = DecodeInPieces(way, text, {text.size() / 3}, false);
          ASSERT_EQ(r.bytes, data) << line << " " << style_bits << " " << shift;
          EXPECT_TRUE(r.state.line_start);
          if (!style.escape_dots) continue;
          ASSERT_EQ(DecodeInPieces(way, DotStuff(text), {}, true).bytes, data);
        }
      }
    }
  }
}

TEST(DecodeYenc, StopsBeforeAKeywordLine) {
  for (DecodeYencWay way : DecodeYencWays()) {
    for (size_t n = 0; n < 70; ++n) {  // the "=y" at every place of a block
      std::string data = AllBytes(n, n);
      std::string text = EncodeYencLines(data, {30, true, false, false}) +
                         "=yend size=3\r\n=}J\r\n";
      size_t y = text.find("=yend") + 1;
      for (size_t cut : {size_t{0}, y - 1, y, y + 1}) {
        Result r = DecodeInPieces(way, text, {cut}, false);
        ASSERT_EQ(r.bytes, data) << n << " " << cut;
        EXPECT_TRUE(r.keyword);
        EXPECT_EQ(r.consumed, y);
        EXPECT_TRUE(r.state.escape && r.state.line_start);
      }
    }
    // "=y" inside a line is an escaped "y"; an "=" ending a line is dropped.
    Result r = DecodeInPieces(way, "a=y=\r\nb=\nc", {}, false);
    EXPECT_EQ(r.bytes, std::string("\x37\x0f\x38\x39"));
    EXPECT_FALSE(r.keyword);
  }
}

TEST(DecodeYenc, UnstuffingDropsTheFirstDotOfALine) {
  // Lines "..", "..." and "." after unstuffing: one, two and no dot.
  for (DecodeYencWay way : DecodeYencWays()) {
    EXPECT_EQ(DecodeInPieces(way, "..\n...\n.\nx..\n", {}, true).bytes,
              std::string("\x04\x04\x04\x4e\x04\x04", 6));
    EXPECT_EQ(DecodeInPieces(way, "..\n", {}, false).bytes, "\x04\x04");
  }
}

// Long plain runs and runs full of escapes and line ends go through the
// vector code; the output never gets more than the input's size.
TEST(DecodeYenc, LongInputsMatchTheReference) {
  std::mt19937 rng(3);
  std::string data(1 << 16, '\0');
  for (char& c : data) c = static_cast<char>(rng());
  for (size_t line : {128, 32, 31, 16, 15, 2}) {
    for (bool crlf : {true, false}) {
      std::string text =
          EncodeYencLines(data, {line, crlf, line % 2 != 0, true});
      YencReference want = ReferenceDecodeYenc(text, false);
      ASSERT_EQ(want.bytes, data);
      for (DecodeYencWay way : DecodeYencWays())
        ExpectSame(DecodeInPieces(way, text, {1000, 1001, 40000}, false), want,
                   "line " + std::to_string(line));
    }
  }
}

}  // namespace
