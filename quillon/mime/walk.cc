#include "mime/walk.h"

#include <cstring>

#include "checksum/md5.h"
#include "decoding/uuline.h"
#include "mime/base64.h"
#include "mime/header.h"
#include "mime/quoted_printable.h"
#include "quillon.h"

namespace {

// Deeper nesting than this is taken as the part's text, so that no input
// can exhaust the stack.
constexpr int kMaxDepth = 64;

// 1 where `line` (without its LF) is a boundary line of `boundary`, 2 where
// it closes the multipart, else 0: "--" and the boundary at the start,
// blanks and CR allowed after it.
int BoundaryKind(std::string_view line, std::string_view boundary) {
  if (line.size() < boundary.size() + 2 || line.substr(0, 2) != "--" ||
      line.substr(2, boundary.size()) != boundary)
    return 0;
  std::string_view rest = line.substr(boundary.size() + 2);
  int kind = 1;
  if (rest.substr(0, 2) == "--") {
    kind = 2;
    rest.remove_prefix(2);
  }
  for (char c : rest)
    if (c != ' ' && c != '\t' && c != '\r') return 0;
  return kind;
}

// The end of a part's text before a boundary line at `pos`: the line break
// before the boundary belongs to it.
size_t PartEnd(std::string_view text, size_t begin, size_t pos) {
  if (pos > begin && text[pos - 1] == '\n') --pos;
  if (pos > begin && text[pos - 1] == '\r') --pos;
  return pos;
}

// Decodes the uuencoded data line `line` into `out` by the length its first
// character gives; characters missing at its end count as zero bits.
void DecodeUuLine(std::string_view line, std::string* out) {
  if (line.empty()) return;
  size_t bytes = static_cast<size_t>((line[0] - ' ') & 077);
  size_t at = 1;
  for (size_t done = 0; done < bytes; done += 3, at += 4) {
    unsigned v[4];
    for (size_t k = 0; k < 4; ++k) {
      char c = at + k < line.size() ? line[at + k] : ' ';
      v[k] = static_cast<unsigned>((c - ' ') & 077);
    }
    unsigned char b[3] = {static_cast<unsigned char>(v[0] << 2 | v[1] >> 4),
                          static_cast<unsigned char>(v[1] << 4 | v[2] >> 2),
                          static_cast<unsigned char>(v[2] << 6 | v[3])};
    out->append(reinterpret_cast<const char*>(b),
                bytes - done < 3 ? bytes - done : 3);
  }
}

// "end", then only blanks to the line end.
bool IsEndLine(std::string_view line) {
  if (line.substr(0, 3) != "end") return false;
  for (char c : line.substr(3))
    if (c != ' ' && c != '\t' && c != '\r') return false;
  return true;
}

std::string DecodeBase64Text(std::string_view body, bool* whole) {
  std::string out(body.size(), '\0');
  Base64State state;
  size_t n = DecodeBase64(&state, body.data(), body.size(),
                          reinterpret_cast<unsigned char*>(out.data()));
  out.resize(n);
  *whole = Base64Whole(state);
  return out;
}

std::string DecodeQpText(std::string_view body) {
  std::string out;
  std::string buf;
  size_t pos = 0;
  while (pos < body.size()) {
    size_t eol = body.find('\n', pos);
    size_t next = eol == std::string_view::npos ? body.size() : eol + 1;
    buf.resize(next - pos);
    QpLine qp = DecodeQpLine(body.data() + pos, next - pos,
                             reinterpret_cast<unsigned char*>(buf.data()));
    out.append(buf.data(), qp.written);
    pos = next;
  }
  return out;
}

bool Md5Matches(const MimeHeader& header, std::string_view data) {
  std::string_view want = MimeFieldValue(header, "Content-MD5");
  if (want.empty()) return true;
  Md5 md5;
  Md5Update(&md5, data.data(), data.size());
  return Md5Base64(Md5Final(&md5)) == want;
}

// A part that is no multipart and not entered: its file, if it is to be
// written.
void WalkLeaf(const MimeHeader& header, const MimeContent& type,
              std::string_view body, MimeWalk* walk) {
  MimeContent disposition =
      ParseContentDisposition(MimeFieldValue(header, "Content-Disposition"));
  MimeFile file;
  file.name = MimeFileName(disposition, type);
  MimeTransferEncoding cte = ParseTransferEncoding(
      MimeFieldValue(header, "Content-Transfer-Encoding"));
  bool text = type.type.empty() || type.type == "text";
  switch (cte.encoding) {
    case MimeEncoding::kBase64: {
      bool whole = true;
      file.data = DecodeBase64Text(body, &whole);
      file.short_part = !whole;
      break;
    }
    case MimeEncoding::kQuotedPrintable:
      file.data = DecodeQpText(body);
      break;
    case MimeEncoding::kUuencode: {
      MimeFile uu;
      if (FindUuencodedFile(body, &uu)) {
        if (file.name.empty()) file.name = uu.name;
        file.data = std::move(uu.data);
        file.short_part = uu.short_part;
      } else if (!text || !file.name.empty()) {
        file.short_part = true;
      }
      break;
    }
    case MimeEncoding::kUnknown:
      walk->unknown_encodings.push_back(cte.text);
      file.data = body;
      break;
    default:
      file.data = body;
      break;
  }
  if (text && file.name.empty()) {
    // The message's text is not written, unless it holds a uuencoded file.
    MimeFile uu;
    if (cte.encoding == MimeEncoding::kUuencode ||
        !FindUuencodedFile(file.data, &uu))
      return;
    walk->files.push_back(std::move(uu));
    return;
  }
  file.md5_bad = !Md5Matches(header, file.data);
  walk->files.push_back(std::move(file));
}

void WalkEntity(std::string_view text, bool at_end, int depth, MimeWalk* walk);

void WalkMultipart(std::string_view body, std::string_view boundary,
                   bool at_end, int depth, MimeWalk* walk) {
  size_t pos = 0;
  size_t start = std::string_view::npos;
  while (pos < body.size()) {
    size_t next = 0;
    int kind = BoundaryKind(LineAt(body, pos, &next), boundary);
    if (kind != 0) {
      if (start != std::string_view::npos)
        WalkEntity(body.substr(start, PartEnd(body, start, pos) - start), false,
                   depth + 1, walk);
      if (kind == 2) return;
      start = next;
    }
    pos = next;
  }
  // An enclosing boundary, or the end of the text, closes what is open.
  if (start != std::string_view::npos)
    WalkEntity(body.substr(start), at_end, depth + 1, walk);
  if (at_end) walk->unclosed = true;
}

void WalkEntity(std::string_view text, bool at_end, int depth, MimeWalk* walk) {
  MimeHeader header;
  std::string_view body = text.substr(AddHeaderText(&header, text));
  EndHeader(&header);
  MimeContent type = ParseContentType(MimeFieldValue(header, "Content-Type"));
  if (depth < kMaxDepth && type.type == "multipart") {
    const std::string* boundary = FindMimeParameter(type, "boundary");
    if (boundary && !boundary->empty())
      WalkMultipart(body, *boundary, at_end, depth, walk);
    return;
  }
  if (depth < kMaxDepth && type.type == "message" && type.subtype == "rfc822") {
    WalkEntity(body, at_end, depth + 1, walk);
    return;
  }
  WalkLeaf(header, type, body, walk);
}

}  // namespace

std::string_view LineAt(std::string_view text, size_t pos, size_t* next) {
  size_t eol = text.find('\n', pos);
  if (eol == std::string_view::npos) {
    *next = text.size();
    return text.substr(pos);
  }
  *next = eol + 1;
  return text.substr(pos, eol - pos);
}

bool FindUuencodedFile(std::string_view text, MimeFile* file) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t next = 0;
    std::string_view line = LineAt(text, pos, &next);
    pos = next;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    char buf[kLineSize];
    size_t n = line.size() < kLineSize - 2 ? line.size() : kLineSize - 2;
    std::memcpy(buf, line.data(), n);
    buf[n] = '\n';
    buf[n + 1] = '\0';
    if (std::memchr(buf, '\0', n) || !bline(buf)) continue;
    char name[kLineSize];
    int mode = 0;
    if (ReadBline(buf, &mode, name) <= 0) continue;
    file->name = name;
    file->data.clear();
    while (pos < text.size()) {
      line = LineAt(text, pos, &next);
      pos = next;
      if (IsEndLine(line)) return true;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      DecodeUuLine(line, &file->data);
    }
    file->short_part = true;
    return true;
  }
  return false;
}

void WalkMimeMessage(std::string_view text, MimeWalk* walk) {
  WalkEntity(text, true, 0, walk);
}
