// rescreen: sends the VT100 full reset (RIS, ESC c) to standard output.

#include <cstdio>

int main() {
  // Buffered on purpose: the pair leaves at the flush of normal exit.
  std::putchar(27);
  std::putchar('c');
  return 0;
}
