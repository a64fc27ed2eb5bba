// MIME messages: the whole input walked as a message (multiparts, nested
// ones and message/rfc822 entered, every part decoded), and split where its
// first byte says into the header of a split message's first part and the
// joined bodies, whose rebuilt message is walked too. A file is never
// longer than what its text can hold: a uuencoded line (at least its length
// character and its line end) gives at most 63 bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "mime/pass.h"
#include "mime/walk.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void Walk(std::string_view text) {
  MimeWalk walk;
  WalkMimeMessage(text, &walk);
  for (const MimeFile& f : walk.files)
    Check(f.data.size() / 32 <= text.size() && f.name.size() <= text.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  Walk(text);
  if (size == 0) return 0;
  size_t cut = data[0] % size;
  std::string joined =
      JoinPartialMessage(text.substr(1, cut), text.substr(1 + cut));
  Check(joined.size() <= size);
  Walk(joined);
  return 0;
}
