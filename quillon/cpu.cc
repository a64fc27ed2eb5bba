#include "cpu.h"

namespace {

CpuFeatures ReadFeatures() {
  CpuFeatures f;
#if QUILLON_X86
  __builtin_cpu_init();  // may run before the library's own constructor
  f.sse2 = __builtin_cpu_supports("sse2");
  f.ssse3 = __builtin_cpu_supports("ssse3");
  f.sse41 = __builtin_cpu_supports("sse4.1");
  f.pclmul = __builtin_cpu_supports("pclmul");
  f.popcnt = __builtin_cpu_supports("popcnt");
  f.avx2 = __builtin_cpu_supports("avx2");
  f.vpclmulqdq = __builtin_cpu_supports("vpclmulqdq");
#endif
  return f;
}

}  // namespace

const CpuFeatures& ProcessorFeatures() {
  static const CpuFeatures features = ReadFeatures();
  return features;
}
