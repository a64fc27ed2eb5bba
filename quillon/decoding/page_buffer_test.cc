#include "decoding/page_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

bool OnPage(const PageBuffer& b) {
  return reinterpret_cast<std::uintptr_t>(b.get()) % 4096 == 0;
}

// Buffers given back serve later ones only where they are big enough, and
// every one, new or kept, begins on a page and holds what it was asked for
// (ASan sees a write past a kept buffer that was too small).
TEST(PageBuffer, KeptBuffersServeOnlyWhatFits) {
  struct Case {
    std::size_t first, then;
    bool same;  // the first, given back, serves the second
  };
  const Case cases[] = {
      {256 * 1024, 256 * 1024, true},
      {256 * 1024, 1000, true},
      {1000, 256 * 1024, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first);
    char* first = nullptr;
    {
      PageBuffer a = NewPageBuffer(c.first);
      ASSERT_TRUE(OnPage(a));
      first = a.get();
    }
    // The spares that other buffers of this process left may serve too.
    std::vector<PageBuffer> taken;
    bool found = false;
    for (int i = 0; i < 8 && !(found && c.same); ++i) {
      taken.push_back(NewPageBuffer(c.then));
      ASSERT_TRUE(OnPage(taken.back()));
      std::memset(taken.back().get(), 'x', c.then);
      found = taken.back().get() == first;
    }
    if (c.same) {
      EXPECT_TRUE(found);
    }
  }
}

}  // namespace
