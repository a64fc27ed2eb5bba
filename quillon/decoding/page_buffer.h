// Buffers that the kernel copies file data into or out of. They begin on a
// page: its copy into a buffer 16 bytes past a page boundary (where malloc
// puts a large block) costs the kernel about three times as much as into
// one that begins on a cache line, and a big file's reads are most of a
// decode's system time.
#ifndef QUILLON_DECODING_PAGE_BUFFER_H_
#define QUILLON_DECODING_PAGE_BUFFER_H_

#include <cstddef>
#include <memory>

// Gives the buffer back; it may serve a later NewPageBuffer.
void FreePageBuffer(char* buffer, std::size_t size) noexcept;

struct PageFree {
  std::size_t size = 0;
  void operator()(char* p) const noexcept { FreePageBuffer(p, size); }
};

using PageBuffer = std::unique_ptr<char[], PageFree>;

// At least `size` bytes (size > 0), not cleared.
PageBuffer NewPageBuffer(std::size_t size);

#endif  // QUILLON_DECODING_PAGE_BUFFER_H_
