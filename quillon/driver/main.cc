// quillon: decodes files posted to news groups uuencoded or yEnc-encoded in
// several articles.
#include <cstdio>
#include <new>

#include "driver/run.h"

int main(int argc, char** argv) {
  try {
    return QuillonMain(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("quillon: out of memory\n", stderr);
    return 1;
  }
}
