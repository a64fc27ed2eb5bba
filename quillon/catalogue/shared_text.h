// Which pieces of one text other texts hold: for every start position of
// the text, the longest piece beginning there that another text contains.
// The key search asks this of every caption a seed can match, instead of
// searching each window of the seed in each caption.
#ifndef QUILLON_CATALOGUE_SHARED_TEXT_H_
#define QUILLON_CATALOGUE_SHARED_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// The suffix automaton of the text read backwards: every piece of the text
// is a path from state 0, read from its last character to its first.
struct SharedText {
  struct State {
    int32_t len = 0;     // longest piece of the state
    int32_t link = -1;   // the state of its longest shorter suffix
    int32_t edges = -1;  // first edge, -1 none
  };
  struct Edge {
    int32_t to;
    int32_t next;
    unsigned char c;
  };
  std::vector<State> states;
  std::vector<Edge> edges;
  int32_t root[256];  // the edges of state 0 by character, -1 none
  // The state of the whole text from each start position on.
  std::vector<int32_t> from;
  std::vector<int32_t> by_length;  // the states in ascending `len`
  // Scratch of SharedPrefixes.
  std::vector<int32_t> longest;
};

// Builds the automaton of `text`, which is shorter than 2^29 characters
// (states are counted in 32 bits).
void BuildSharedText(std::string_view text, SharedText* t);

// For each start s from `first` to below `end` (at most the text's length),
// the length of the longest piece of the text beginning at s that `other`
// contains, into out[(s - first) * stride].
void SharedPrefixes(SharedText* t, std::string_view other, size_t first,
                    size_t end, uint32_t* out, size_t stride);

#endif  // QUILLON_CATALOGUE_SHARED_TEXT_H_
