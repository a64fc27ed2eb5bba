// quillon: decodes files posted to news groups uuencoded or yEnc-encoded in
// several articles.
#include <new>

#include "driver/run.h"
#include "reporter.h"

int main(int argc, char** argv) {
  try {
    return QuillonMain(argc, argv);
  } catch (const std::bad_alloc&) {
    Reporter reporter;
    OutOfMemory(&reporter);
    return 1;
  }
}
