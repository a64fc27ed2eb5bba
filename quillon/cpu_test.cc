#include "cpu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checksum/crc32.h"
#include "decoding/uuline.h"
#include "mime/base64.h"
#include "mime/base64_testing.h"
#include "yenc/ydecode.h"

namespace {

// On x86 every kernel this processor can run is listed before the plain
// way; a build that lost its kernels would pass every other test, slowly.
TEST(ProcessorFeatures, EveryKernelTheProcessorRunsIsListed) {
  size_t crc32 = 1, sixty = 1, yenc = 1, base64 = 1;
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  const CpuFeatures& cpu = ProcessorFeatures();
  EXPECT_EQ(cpu.sse2, __builtin_cpu_supports("sse2") != 0);
  EXPECT_EQ(cpu.ssse3, __builtin_cpu_supports("ssse3") != 0);
  EXPECT_EQ(cpu.sse41, __builtin_cpu_supports("sse4.1") != 0);
  EXPECT_EQ(cpu.pclmul, __builtin_cpu_supports("pclmul") != 0);
  EXPECT_EQ(cpu.popcnt, __builtin_cpu_supports("popcnt") != 0);
  EXPECT_EQ(cpu.avx2, __builtin_cpu_supports("avx2") != 0);
  EXPECT_EQ(cpu.vpclmulqdq, __builtin_cpu_supports("vpclmulqdq") != 0);
  crc32 += size_t{cpu.pclmul && cpu.sse41} +
           (cpu.pclmul && cpu.sse41 && cpu.avx2 && cpu.vpclmulqdq);
  sixty += size_t{cpu.ssse3} + cpu.avx2;
  base64 += size_t{cpu.ssse3} + cpu.avx2;
#if defined(__x86_64__)
  yenc += size_t{cpu.sse2} + cpu.ssse3 + (cpu.avx2 && cpu.popcnt);
#endif
#endif
  EXPECT_EQ(Crc32Ways().size(), crc32);
  EXPECT_EQ(DecodeSixtyWays().size(), sixty);
  EXPECT_EQ(DecodeYencWays().size(), yenc);
  EXPECT_EQ(DecodeBase64Ways().size(), base64);
}

// `n` bytes of `filler` with `special` written over them at `at`: before,
// inside and after each block of the vector loops, and in the tails.
std::string SpecialAt(std::string filler, size_t at,
                      const std::string& special) {
  filler.replace(at, special.size(), special);
  return filler;
}

// Lengths around the blocks of 16 and 32 bytes.
const size_t kLengths[] = {1, 15, 16, 17, 31, 32, 33, 48, 63, 64, 65, 97};

// Each kernel against the plain way (listed last) on the same texts: every
// byte that the vector code must leave to the bytewise way, and the pairs
// that mean something, at every place.
TEST(DecodeYencWays, EveryKernelAgreesWithThePlainWayAtEverySpecialByte) {
  const std::vector<DecodeYencWay> ways = DecodeYencWays();
  const DecodeYencWay plain = ways.back();
  std::string filler;
  for (size_t i = 0; filler.size() < 128; ++i) {
    char c = static_cast<char>(i * 37 + 11);
    if (c != '=' && c != '\r' && c != '\n' && c != '.' && c != 'y') filler += c;
  }
  const std::string specials[] = {"=",    "\r",   "\n",    ".",   "y",
                                  "==",   "=\n",  "=\r\n", "\n.", "\n..",
                                  "\n\r", "\n=y", "\n=",   "\r\n"};
  auto decode = [](DecodeYencWay way, const std::string& text, bool unstuff) {
    YencState state;
    std::string out(text.size(), '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(out.data());
    YencDecoded d = way(&state, text.data(), text.size(), bytes, unstuff);
    out.resize(d.written);
    return out + " consumed " + std::to_string(d.consumed) + " keyword " +
           std::to_string(d.keyword) + " state " +
           std::to_string(state.escape) + std::to_string(state.line_start);
  };
  for (size_t n : kLengths) {
    for (const std::string& special : specials) {
      for (size_t at = 0; at + special.size() <= n; ++at) {
        std::string text = SpecialAt(filler.substr(0, n), at, special);
        for (bool unstuff : {false, true}) {
          std::string want = decode(plain, text, unstuff);
          for (DecodeYencWay way : ways)
            ASSERT_EQ(decode(way, text, unstuff), want)
                << n << " bytes, " << at << ", unstuff " << unstuff;
        }
      }
    }
  }
}

TEST(DecodeSixtyWays, EveryKernelAgreesWithThePlainWayAtEverySpecialByte) {
  const std::vector<DecodeSixty> ways = DecodeSixtyWays();
  const DecodeSixty plain = ways.back();
  std::string filler;
  for (size_t i = 0; i < 60; ++i) filler += static_cast<char>(32 + i * 7 % 64);
  // The ends of a line, the two zeros, and bytes outside the alphabet.
  const std::string specials[] = {
      std::string(1, '\0'), "\n", " ", "`", "\x7f", "\xff", "\x1f"};
  auto decode = [](DecodeSixty way, const std::string& chars) {
    unsigned char bytes[64] = {};
    bool whole = way(chars.data(), bytes);
    return whole ? std::string(bytes, bytes + 45) : std::string("refused");
  };
  for (const std::string& special : specials) {
    for (size_t at = 0; at < 60; ++at) {
      std::string chars = SpecialAt(filler, at, special);
      std::string want = decode(plain, chars);
      for (DecodeSixty way : ways) ASSERT_EQ(decode(way, chars), want) << at;
    }
  }
}

// `text` through a base64 way from `state`, in a buffer of exactly the
// room it may use; the bytes and the state after.
std::string DecodeBase64With(DecodeBase64Way way, const std::string& text,
                             Base64State state = {}) {
  std::vector<unsigned char> out(text.size());
  size_t w = way(&state, text.data(), text.size(), out.data());
  return std::string(out.begin(), out.begin() + static_cast<long>(w)) +
         " state " + std::to_string(state.bits) + " " +
         std::to_string(state.chars) + " " + std::to_string(state.ended);
}

// Every byte outside the alphabet, and the sequences that mean something,
// at every place of texts around the blocks of 16 and 32 characters, with
// and without a quantum begun before.
TEST(DecodeBase64Ways, EveryKernelAgreesWithThePlainWayAtEverySpecialByte) {
  const std::vector<DecodeBase64Way> ways = DecodeBase64Ways();
  const DecodeBase64Way plain = ways.back();
  const std::string alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string filler;
  for (size_t i = 0; i < 128; ++i) filler += alphabet[i * 37 % 64];
  std::vector<std::string> specials = {
      "\r\n", "\n\n", "==", "=\r\n", "\r\n=", "\r\n\r\n"};
  for (unsigned c = 0; c < 256; ++c)
    if (alphabet.find(static_cast<char>(c)) == std::string::npos)
      specials.emplace_back(1, static_cast<char>(c));
  ASSERT_EQ(specials.size(), 6u + 192u);
  for (size_t n : {1, 15, 16, 17, 31, 32, 33, 48, 63, 64, 65, 78, 97}) {
    for (const std::string& special : specials) {
      for (size_t at = 0; at + special.size() <= n; ++at) {
        std::string text = SpecialAt(filler.substr(0, n), at, special);
        for (unsigned char begun = 0; begun < 4; ++begun) {
          Base64State state;
          state.chars = begun;
          state.bits = begun * 5u;
          std::string want = DecodeBase64With(plain, text, state);
          for (DecodeBase64Way way : ways)
            ASSERT_EQ(DecodeBase64With(way, text, state), want)
                << n << " bytes, " << at << ", " << int{begun} << " begun";
        }
      }
    }
  }
}

// Encoded lines of every length up to a few blocks, LF or CR LF, as
// runs of many lines: the kernels' way through whole lines, the characters
// before a line end, and the tails; then lines of the usual lengths with a
// stray byte at every place, where a line taken whole must be given up.
TEST(DecodeBase64Ways, EveryKernelAgreesWithThePlainWayOnLines) {
  const std::vector<DecodeBase64Way> ways = DecodeBase64Ways();
  auto agree = [&ways](const std::string& text) {
    std::string want = DecodeBase64With(ways.back(), text);
    for (DecodeBase64Way way : ways)
      if (DecodeBase64With(way, text) != want) return false;
    return true;
  };
  std::string data;
  for (size_t i = 0; i < 700; ++i) data += static_cast<char>(i * 101 + 5);
  for (size_t line = 1; line <= 100; ++line) {
    for (const char* eol : {"\r\n", "\n"}) {
      for (size_t n : {line, size_t{700}}) {
        std::string text = EncodeBase64Lines(data.substr(0, n), line, eol);
        ASSERT_EQ(DecodeBase64With(ways.back(), text).substr(0, n),
                  data.substr(0, n));
        ASSERT_TRUE(agree(text)) << line << " " << n;
      }
    }
  }
  for (size_t line : {4, 16, 32, 48, 76}) {
    std::string text =
        EncodeBase64Lines(data.substr(0, line * 3), line, "\r\n");
    for (size_t at = 0; at < text.size(); ++at)
      for (char stray : {'*', '=', '\r', '\n', '\0'})
        ASSERT_TRUE(agree(SpecialAt(text, at, std::string(1, stray))))
            << line << " " << at << " " << int{stray};
  }
}

}  // namespace
