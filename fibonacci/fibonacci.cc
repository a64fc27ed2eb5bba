// fibonacci: prints the Fibonacci number of a position, counting from 1.

#include <cstdint>
#include <cstdio>

namespace {

// fib(46) is the last value that fits 32 signed bits.
constexpr int kMaxPosition = 46;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// atoi's reading (leading space, optional sign, leading digits, the rest
// ignored, no digits is 0), but a magnitude past kMaxPosition stops growing
// so that no digit string can overflow.
int GetPosition(const char* text) {
  while (IsSpace(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  int value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (value <= kMaxPosition) value = value * 10 + (*text - '0');
  }
  return negative ? -value : value;
}

// Plainly doubly recursive and unmemoised on purpose; the callers keep n in
// 1..kMaxPosition, where neither a base case is missed nor the sum overflows.
int32_t fib(int n) {
  if (n == 1) return 1;
  if (n == 2) return 1;
  return fib(n - 1) + fib(n - 2);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    // argv[0] may be missing when the program is started with no words.
    const char* name = argc > 0 && argv[0] != nullptr ? argv[0] : "fibonacci";
    std::fprintf(stderr, "Usage: %s number\n", name);
    return 1;
  }
  int n = GetPosition(argv[1]);
  if (n < 1 || n > kMaxPosition) {
    std::fprintf(stderr, "fibonacci: position must be from 1 to 46\n");
    return 1;
  }
  std::printf("%d\n", static_cast<int>(fib(n)));
  return 0;
}
