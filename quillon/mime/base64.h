// Decoding of MIME base64 text, in pieces cut anywhere.
#ifndef QUILLON_MIME_BASE64_H_
#define QUILLON_MIME_BASE64_H_

#include <cstddef>
#include <cstdint>
#include <vector>

// What one piece of base64 text leaves pending for the next. Start with the
// defaults at the part's first byte.
struct Base64State {
  uint32_t bits = 0;        // the pending characters' values, 6 bits each
  unsigned char chars = 0;  // characters of the current quantum, 0 to 3
  bool ended = false;       // an "=" was read: what follows is ignored
};

// Decodes `n` bytes of base64 text into `out`, which has room for `n` bytes
// (and must not overlap the input), and returns the bytes written. Every
// byte outside the alphabet is skipped (line ends, blanks, junk); the first
// "=" ends the data, and the rest of the text is taken and ignored. Bytes
// are written as soon as their bits are in, so a quantum cut by the end of
// the text has given what it holds.
size_t DecodeBase64(Base64State* state, const char* in, size_t n,
                    unsigned char* out);

// Whether the data, once all fed, ended on a whole quantum: no character
// pending, or an "=" after two or three of them. A lone character before
// the end or the "=" holds too few bits for a byte: the part was cut.
bool Base64Whole(const Base64State& state);

// The ways of decoding this processor can run, fastest first; DecodeBase64
// takes the first. Every one gives the same bytes, count and state; the
// tests check that.
using DecodeBase64Way = size_t (*)(Base64State* state, const char* in, size_t n,
                                   unsigned char* out);
std::vector<DecodeBase64Way> DecodeBase64Ways();

#endif  // QUILLON_MIME_BASE64_H_
