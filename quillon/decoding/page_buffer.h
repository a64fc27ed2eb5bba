// Buffers that the kernel copies file data into or out of. They begin on a
// page: its copy into a buffer 16 bytes past a page boundary (where malloc
// puts a large block) costs the kernel about three times as much as into
// one that begins on a cache line, and a big file's reads are most of a
// decode's system time.
#ifndef QUILLON_DECODING_PAGE_BUFFER_H_
#define QUILLON_DECODING_PAGE_BUFFER_H_

#include <cstddef>
#include <memory>
#include <new>

constexpr std::size_t kPageAlign = 4096;

struct PageFree {
  void operator()(char* p) const noexcept {
    ::operator delete[](p, std::align_val_t{kPageAlign});
  }
};

using PageBuffer = std::unique_ptr<char[], PageFree>;

// `size` bytes, not cleared.
inline PageBuffer NewPageBuffer(std::size_t size) {
  return PageBuffer(
      static_cast<char*>(::operator new[](size, std::align_val_t{kPageAlign})));
}

#endif  // QUILLON_DECODING_PAGE_BUFFER_H_
