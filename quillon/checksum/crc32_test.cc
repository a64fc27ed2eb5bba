#include "checksum/crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

uint32_t BitwiseCrc32(uint32_t crc, const std::string& data) {
  uint32_t c = ~crc;
  for (unsigned char b : data) {
    c ^= b;
    for (int i = 0; i < 8; ++i) c = c & 1 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
  }
  return ~c;
}

std::string RandomBytes(size_t n, std::mt19937* rng) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>((*rng)() & 255u);
  return s;
}

TEST(Crc32, KnownValues) {
  EXPECT_EQ(Crc32(0, "123456789", 9), 0xcbf43926u);
  EXPECT_EQ(Crc32(0, "", 0), 0u);
  std::string zeros(100000, '\0');
  for (Crc32Way way : Crc32Ways())
    EXPECT_EQ(way(0, reinterpret_cast<const unsigned char*>(zeros.data()),
                  zeros.size()),
              BitwiseCrc32(0, zeros));
}

// Every way against the bitwise definition, at every alignment and at
// lengths around each block size, continuing from a CRC already begun.
TEST(Crc32, EveryWayMatchesTheBitwiseDefinition) {
  std::mt19937 rng(19);
  std::string buffer = RandomBytes(5000, &rng);
  std::vector<size_t> lengths;
  for (size_t n = 0; n < 300; ++n) lengths.push_back(n);
  for (size_t n : {1023, 1024, 1025, 4000, 4900}) lengths.push_back(n);
  for (Crc32Way way : Crc32Ways()) {
    for (size_t offset = 0; offset < 16; ++offset) {
      for (size_t n : lengths) {
        std::string piece = buffer.substr(offset, n);
        uint32_t start = offset == 3 ? 0 : static_cast<uint32_t>(rng());
        auto* p =
            reinterpret_cast<const unsigned char*>(buffer.data()) + offset;
        ASSERT_EQ(way(start, p, n), BitwiseCrc32(start, piece))
            << "offset " << offset << " length " << n;
      }
    }
  }
}

TEST(Crc32, CombineEqualsTheCrcOfTheWhole) {
  std::mt19937 rng(7);
  std::string data = RandomBytes(3000, &rng);
  for (size_t cut : {0, 1, 7, 64, 1500, 2999, 3000}) {
    uint32_t a = Crc32(0, data.data(), cut);
    uint32_t b = Crc32(0, data.data() + cut, data.size() - cut);
    EXPECT_EQ(Crc32Combine(a, b, data.size() - cut),
              Crc32(0, data.data(), data.size()))
        << cut;
  }
  // Combining is associative, and lengths past 32 bits work: 4 GiB of
  // zeros in one step against 4096 steps of 1 MiB.
  std::string zeros(1 << 20, '\0');
  uint32_t z = Crc32(0, zeros.data(), zeros.size());
  uint32_t crc = Crc32(0, "ab", 2);
  uint32_t joined = crc;
  for (int i = 0; i < 4096; ++i) joined = Crc32Combine(joined, z, zeros.size());
  uint32_t big = 0;
  for (int i = 0; i < 4096; ++i) big = Crc32Combine(big, z, zeros.size());
  uint32_t once = Crc32Combine(crc, big, uint64_t{1} << 32);
  EXPECT_EQ(once, joined);
}

}  // namespace
