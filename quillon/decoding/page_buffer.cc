#include "decoding/page_buffer.h"

#include <new>

namespace {

constexpr std::size_t kPage = 4096;

// Buffers given back, for the next ones asked for: a pass opens a file per
// article with a buffer of its own, and an aligned block that big comes
// straight from mmap, so each new one would cost a map, an unmap and a
// fault for every page of it.
struct Spare {
  char* buffer = nullptr;
  std::size_t size = 0;
};
constexpr int kSpares = 4;
Spare g_spares[kSpares];

}  // namespace

void FreePageBuffer(char* buffer, std::size_t size) noexcept {
  if (!buffer) return;
  for (Spare& s : g_spares) {
    if (!s.buffer) {
      s = Spare{buffer, size};
      return;
    }
  }
  ::operator delete[](buffer, std::align_val_t{kPage});
}

PageBuffer NewPageBuffer(std::size_t size) {
  for (Spare& s : g_spares) {
    if (s.buffer && s.size >= size) {
      PageBuffer taken(s.buffer, PageFree{s.size});
      s = Spare();
      return taken;
    }
  }
  return PageBuffer(
      static_cast<char*>(::operator new[](size, std::align_val_t{kPage})),
      PageFree{size});
}
