#include "checksum/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Hex(const Md5Digest& d) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  for (unsigned char b : d) {
    s += kDigits[b >> 4];
    s += kDigits[b & 15];
  }
  return s;
}

std::string Digest(const std::string& data) {
  Md5 md5;
  Md5Update(&md5, data.data(), data.size());
  return Hex(Md5Final(&md5));
}

TEST(Md5, TheVectorsOfRfc1321) {
  const struct {
    const char* text;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"1234567890123456789012345678901234567890123456789012345678901234567890"
       "1234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) EXPECT_EQ(Digest(c.text), c.digest) << c.text;
  EXPECT_EQ(Digest(std::string(1000000, 'a')),
            "7707d6ae4e027c70eea2a935c2296f21");
}

// Pieces cut at every place, and byte by byte, give the digest of the
// whole; the lengths straddle the padding's 56-byte limit and the blocks.
TEST(Md5, PiecesCutAnywhereGiveTheDigestOfTheWhole) {
  std::string data;
  for (size_t i = 0; i < 200; ++i) data += static_cast<char>(i * 131 + 7);
  for (size_t n : {55, 56, 57, 63, 64, 65, 119, 120, 128, 200}) {
    std::string text = data.substr(0, n), want = Digest(text);
    for (size_t cut = 0; cut <= n; ++cut) {
      for (size_t cut2 = cut; cut2 <= n; cut2 += 13) {
        Md5 md5;
        Md5Update(&md5, text.data(), cut);
        Md5Update(&md5, text.data() + cut, cut2 - cut);
        Md5Update(&md5, text.data() + cut2, n - cut2);
        ASSERT_EQ(Hex(Md5Final(&md5)), want) << n << " cut at " << cut;
      }
    }
    Md5 md5;
    for (char c : text) Md5Update(&md5, &c, 1);
    EXPECT_EQ(Hex(Md5Final(&md5)), want) << n;
  }
}

// Content-MD5 fields as mail software writes them.
TEST(Md5, Base64FormOfTheDigest) {
  Md5 empty;
  EXPECT_EQ(Md5Base64(Md5Final(&empty)), "1B2M2Y8AsgTpgAmY7PhCfg==");
  Md5 abc;
  Md5Update(&abc, "abc", 3);
  EXPECT_EQ(Md5Base64(Md5Final(&abc)), "kAFQmDzST7DWlj99KOF/cg==");
}

}  // namespace
