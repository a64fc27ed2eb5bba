#include "mime/base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mime/base64_testing.h"

namespace {

struct Result {
  std::string bytes;
  bool whole;
};

// `text` through `way` in pieces cut at `cuts`, each piece in a buffer of
// its own size.
Result Decode(DecodeBase64Way way, const std::string& text,
              const std::vector<size_t>& cuts = {}) {
  Base64State state;
  Result r;
  size_t from = 0;
  for (size_t i = 0; i <= cuts.size(); ++i) {
    size_t to = i < cuts.size() ? cuts[i] : text.size();
    std::vector<unsigned char> out(to - from);
    size_t w = way(&state, text.data() + from, to - from, out.data());
    r.bytes.append(out.begin(), out.begin() + static_cast<long>(w));
    from = to;
  }
  r.whole = Base64Whole(state);
  return r;
}

Result Decode(const std::string& text) {
  return Decode(DecodeBase64Ways().back(), text);
}

TEST(DecodeBase64, WhatThePlainWayReads) {
  const struct {
    const char* text;
    const char* bytes;
    bool whole;
  } cases[] = {
      // RFC 4648's vectors.
      {"", "", true},
      {"Zg==", "f", true},
      {"Zm8=", "fo", true},
      {"Zm9v", "foo", true},
      {"Zm9vYg==", "foob", true},
      {"Zm9vYmE=", "fooba", true},
      {"Zm9vYmFy", "foobar", true},
      // Bytes outside the alphabet are skipped wherever they are.
      {"Zm9v\r\nYmFy\r\n", "foobar", true},
      {" Z\tm-9.v\x80Y\xffm*F y\n", "foobar", true},
      // The first "=" ends the data, whatever follows.
      {"Zg==Zm9v", "f", true},
      {"Zm9v=Zm9v\n", "foo", true},
      {"Zg=", "f", true},
      // Cut in the middle of a quantum: what its bits hold is written.
      {"Zm9vYg", "foob", false},
      {"Zm9vYmE", "fooba", false},
      {"Zm9vY", "foo", false},
      {"Zm9vY===", "foo", false},
      {"Zm9vY\n", "foo", false},
  };
  for (const auto& c : cases) {
    Result r = Decode(c.text);
    EXPECT_EQ(r.bytes, c.bytes) << c.text;
    EXPECT_EQ(r.whole, c.whole) << c.text;
  }
}

// Encoded lines of 76 characters and odd lengths, cut at every place
// into two pieces and at a few places into many, give by every way the
// bytes of the whole.
TEST(DecodeBase64, PiecesCutAnywhereGiveTheBytesOfTheWhole) {
  std::string data;
  for (size_t i = 0; i < 300; ++i) data += static_cast<char>(i * 89 + 3);
  for (size_t line : {76, 73}) {
    for (const char* eol : {"\r\n", "\n"}) {
      for (size_t n : {0, 1, 2, 57, 58, 299}) {
        std::string text = EncodeBase64Lines(data.substr(0, n), line, eol);
        for (DecodeBase64Way way : DecodeBase64Ways()) {
          for (size_t cut = 0; cut <= text.size(); ++cut) {
            Result r = Decode(way, text, {cut});
            ASSERT_EQ(r.bytes, data.substr(0, n)) << n << " cut at " << cut;
            ASSERT_TRUE(r.whole);
          }
          std::vector<size_t> cuts;
          for (size_t cut = 0; cut <= text.size(); cut += 7)
            cuts.push_back(cut);
          EXPECT_EQ(Decode(way, text, cuts).bytes, data.substr(0, n));
        }
      }
    }
  }
}

}  // namespace
