// MIME headers: the text read as a header whole and in pieces of the size
// the first byte says, which must give the same fields; every field's value
// and every line to the Content-Type, Content-Disposition and transfer
// encoding parsers, the file name, the MIME article test and the
// message/partial reading. Decoding never makes a name longer than the
// values it comes from.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "mime/header.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool SameFields(const MimeHeader& a, const MimeHeader& b) {
  if (a.fields.size() != b.fields.size()) return false;
  for (size_t i = 0; i < a.fields.size(); ++i) {
    const MimeField &x = a.fields[i], &y = b.fields[i];
    if (x.name != y.name || x.value != y.value || x.raw != y.raw) return false;
  }
  return a.dropped == b.dropped && a.size == b.size;
}

void CheckValue(std::string_view value) {
  MimeContent type = ParseContentType(value);
  MimeContent disposition = ParseContentDisposition(value);
  Check(MimeFileName(disposition, type).size() <= value.size());
  Check(DecodeEncodedWords(value).size() <= value.size());
  for (const MimeParameter& p : type.parameters)
    Check(!p.name.empty() && p.value.size() <= value.size());
  MimePartial partial;
  if (ParseMimePartial(type, &partial))
    Check(!partial.id.empty() && partial.number >= 1 &&
          (partial.total == -1 || partial.total >= 1));
  ParseTransferEncoding(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t piece = data[0] + 1u;
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  MimeHeader whole;
  size_t taken = AddHeaderText(&whole, text);
  EndHeader(&whole);
  MimeHeader pieces;
  size_t taken_in_pieces = 0;
  for (size_t at = 0; at < text.size() && !pieces.ended; at += piece)
    taken_in_pieces += AddHeaderText(&pieces, text.substr(at, piece));
  EndHeader(&pieces);
  Check(taken == taken_in_pieces && taken <= text.size());
  Check(SameFields(whole, pieces));

  size_t kept = 0;
  for (const MimeField& f : whole.fields) {
    Check(!f.name.empty() && f.value.size() <= f.raw.size() &&
          std::string_view(f.raw).substr(0, f.name.size()) == f.name);
    kept += f.raw.size();
    CheckValue(f.value);
  }
  Check(kept == whole.size && kept <= kMimeHeaderMax);
  IsMimeArticle(whole);

  // Every line as a value, so that the parsers see text without a header.
  while (!text.empty()) {
    size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    text.remove_prefix(lf == text.npos ? text.size() : lf + 1);
    CheckValue(line);
  }
  return 0;
}
