#include "catalogue/shared_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// The longest piece of `text` from `start` on that `other` holds, by
// searching for ever longer pieces.
uint32_t Slow(const std::string& text, size_t start, const std::string& other) {
  size_t n = 0;
  while (start + n < text.size() &&
         other.find(text.substr(start, n + 1)) != std::string::npos)
    ++n;
  return static_cast<uint32_t>(n);
}

std::vector<uint32_t> Fast(SharedText* t, const std::string& text,
                           const std::string& other) {
  std::vector<uint32_t> out(text.size());
  SharedPrefixes(t, other, 0, text.size(), out.data(), 1);
  return out;
}

// Random texts over small alphabets, where pieces repeat and the automaton
// clones states, against the plain search; one automaton asked about many
// other texts, and bytes above 127.
TEST(SharedText, AgreesWithThePlainSearch) {
  std::mt19937 rng(29);
  SharedText t;
  for (int n = 0; n < 300; ++n) {
    int letters = std::uniform_int_distribution<int>(1, 4)(rng);
    auto random_text = [&](int most) {
      std::string s(std::uniform_int_distribution<size_t>(0, most)(rng), 'a');
      for (char& c : s)
        c = static_cast<char>(
            0xfe - std::uniform_int_distribution<int>(0, letters - 1)(rng));
      return s;
    };
    std::string text = random_text(40);
    BuildSharedText(text, &t);
    for (int k = 0; k < 5; ++k) {
      std::string other = random_text(60);
      std::vector<uint32_t> fast = Fast(&t, text, other);
      for (size_t s = 0; s < text.size(); ++s)
        ASSERT_EQ(fast[s], Slow(text, s, other)) << text << " in " << other;
    }
  }
}

}  // namespace
