#include "cpu.h"

#include <gtest/gtest.h>

#include "checksum/crc32.h"
#include "decoding/uuline.h"
#include "yenc/ydecode.h"

namespace {

// On x86 every kernel this processor can run is listed before the plain
// way; a build that lost its kernels would pass every other test, slowly.
TEST(ProcessorFeatures, EveryKernelTheProcessorRunsIsListed) {
  size_t crc32 = 1, sixty = 1, yenc = 1;
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  const CpuFeatures& cpu = ProcessorFeatures();
  EXPECT_EQ(cpu.sse2, __builtin_cpu_supports("sse2") != 0);
  EXPECT_EQ(cpu.ssse3, __builtin_cpu_supports("ssse3") != 0);
  EXPECT_EQ(cpu.sse41, __builtin_cpu_supports("sse4.1") != 0);
  EXPECT_EQ(cpu.pclmul, __builtin_cpu_supports("pclmul") != 0);
  EXPECT_EQ(cpu.popcnt, __builtin_cpu_supports("popcnt") != 0);
  EXPECT_EQ(cpu.avx2, __builtin_cpu_supports("avx2") != 0);
  crc32 += cpu.pclmul && cpu.sse41;
  sixty += cpu.ssse3;
#if defined(__x86_64__)
  yenc += size_t{cpu.sse2} + cpu.ssse3 + (cpu.avx2 && cpu.popcnt);
#endif
#endif
  EXPECT_EQ(Crc32Ways().size(), crc32);
  EXPECT_EQ(DecodeSixtyWays().size(), sixty);
  EXPECT_EQ(DecodeYencWays().size(), yenc);
}

}  // namespace
