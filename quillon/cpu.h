// What the processor offers the kernels of the decoders and the CRC. It is
// read once, at the first call, and each decoder picks its kernel from it.
#ifndef QUILLON_CPU_H_
#define QUILLON_CPU_H_

// Whether this build has the kernels for x86 instruction sets: CMake
// compiles them, each file with its own flags, and defines
// QUILLON_X86_KERNELS, on x86 processors only. Some kernels need x86-64.
#if defined(QUILLON_X86_KERNELS) && (defined(__x86_64__) || defined(__i386__))
#define QUILLON_X86 1
#else
#define QUILLON_X86 0
#endif
#if QUILLON_X86 && defined(__x86_64__)
#define QUILLON_X86_64 1
#else
#define QUILLON_X86_64 0
#endif

struct CpuFeatures {
  bool sse2 = false;
  bool ssse3 = false;
  bool sse41 = false;
  bool pclmul = false;
  bool popcnt = false;
  bool avx2 = false;  // with the operating system's support for its registers
  bool vpclmulqdq = false;  // carry-less multiplication on AVX registers
};

// The features of the processor this runs on; none where the build has no
// kernels for it.
const CpuFeatures& ProcessorFeatures();

#endif  // QUILLON_CPU_H_
