// MIME messages: the whole input walked as a message (multiparts, nested
// ones and message/rfc822 entered, every part decoded), whole and in pieces
// of a size its first byte gives (the same files either way), and split where
// its first byte says into the header of a split message's first part and the
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

// The walk of `text` fed in pieces of `step` bytes, as "name=data" lines.
std::string InPieces(std::string_view text, size_t step) {
  std::string out;
  size_t begun = 0;  // where the file being written began in `out`
  MimeStream stream;
  StartMimeStream(&stream,
                  MimeSink{.begin =
                               [&out, &begun](const std::string& name) {
                                 begun = out.size();
                                 out += "\n" + name + "=";
                                 return true;
                               },
                           .write = [&out](const char* data,
                                           size_t n) { out.append(data, n); },
                           .end =
                               [&out, &begun](const MimeFileEnd& end) {
                                 if (end.abandoned) out.resize(begun);
                                 out += end.md5_bad ? "!md5" : "";
                                 out += end.short_part ? "!short" : "";
                               }});
  for (size_t at = 0; at < text.size(); at += step)
    FeedMimeStream(&stream, text.substr(at, step));
  EndMimeStream(&stream);
  return out + (stream.unclosed ? "unclosed" : "");
}

void Walk(std::string_view text, size_t step) {
  MimeWalk walk;
  WalkMimeMessage(text, &walk);
  std::string whole;
  for (const MimeFile& f : walk.files) {
    Check(f.data.size() / 32 <= text.size() && f.name.size() <= text.size());
    whole += "\n" + f.name + "=" + f.data;
    whole += f.md5_bad ? "!md5" : "";
    whole += f.short_part ? "!short" : "";
  }
  // Pieces cut anywhere give the same files.
  Check(InPieces(text, step) == whole + (walk.unclosed ? "unclosed" : ""));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (size == 0) return 0;
  size_t step = 1 + data[0] % 13;
  Walk(text, step);
  size_t cut = data[0] % size;
  std::string joined =
      JoinPartialMessage(text.substr(1, cut), text.substr(1 + cut));
  Check(joined.size() <= size);
  Walk(joined, step);
  return 0;
}
