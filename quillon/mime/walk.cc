#include "mime/walk.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "decoding/uuline.h"
#include "mime/quoted_printable.h"
#include "quillon.h"

namespace {

// Deeper nesting than this is taken as the part's text, so that no input
// can make the walk keep a frame for every line.
constexpr int kMaxDepth = 64;

// Of a uuencoded line only its first characters matter (a begin line is read
// from kLineSize of them, a data line from at most 85); the rest is kept
// only as far as telling an end line goes.
constexpr size_t kUuLineKeep = 2 * kLineSize;

// A line that may still become a boundary line is kept until its end; one
// longer than this is taken as text.
constexpr size_t kCandidateMax = kMimeHeaderMax;

bool IsLineBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

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
    if (!IsLineBlank(c)) return 0;
  return kind;
}

// Whether `start`, the beginning of a line read so far, may still turn out
// a boundary line of `boundary`.
bool MayBeBoundary(std::string_view start, std::string_view boundary) {
  std::string_view dashes = "--";
  if (start.size() <= 2) return start == dashes.substr(0, start.size());
  if (start.substr(0, 2) != dashes) return false;
  std::string_view rest = start.substr(2);
  if (rest.size() <= boundary.size())
    return rest == boundary.substr(0, rest.size());
  if (rest.substr(0, boundary.size()) != boundary) return false;
  rest.remove_prefix(boundary.size());
  if (rest.front() == '-') {
    if (rest.size() == 1) return true;
    if (rest[1] != '-') return false;
    rest.remove_prefix(2);
  }
  for (char c : rest)
    if (!IsLineBlank(c)) return false;
  return true;
}

// Where the first line after the first of `text` that begins with "-"
// begins; the size of `text` where none does. "-" is not in the base64
// alphabet: an attachment's lines are passed over a block at a time.
size_t LineBeginningWithDash(std::string_view text) {
  for (size_t from = 1; from < text.size();) {
    const void* at = std::memchr(text.data() + from, '-', text.size() - from);
    if (!at) break;
    size_t i = static_cast<size_t>(static_cast<const char*>(at) - text.data());
    if (text[i - 1] == '\n') return i;
    from = i + 1;
  }
  return text.size();
}

bool AnyOpenFrame(const MimeStream& s) {
  for (const MimeFrame& f : s.frames)
    if (!f.closed) return true;
  return false;
}

// "end", then only blanks to the line end.
bool IsEndLine(std::string_view line) {
  if (line.substr(0, 3) != "end") return false;
  for (char c : line.substr(3))
    if (!IsLineBlank(c)) return false;
  return true;
}

// Decodes the uuencoded data line `line` into `out` (room for 63 bytes) by
// the length its first character gives; characters missing at its end count
// as zero bits. Returns the bytes written.
size_t DecodeUuData(std::string_view line, unsigned char* out) {
  if (line.empty()) return 0;
  size_t bytes = static_cast<size_t>((line[0] - ' ') & 077);
  size_t at = 1;
  size_t n = 0;
  for (size_t done = 0; done < bytes; done += 3, at += 4) {
    unsigned v[4];
    for (size_t k = 0; k < 4; ++k) {
      char c = at + k < line.size() ? line[at + k] : ' ';
      v[k] = static_cast<unsigned>((c - ' ') & 077);
    }
    unsigned char b[3] = {static_cast<unsigned char>(v[0] << 2 | v[1] >> 4),
                          static_cast<unsigned char>(v[1] << 4 | v[2] >> 2),
                          static_cast<unsigned char>(v[2] << 6 | v[3])};
    for (size_t k = 0; k < 3 && done + k < bytes; ++k) out[n++] = b[k];
  }
  return n;
}

void OpenFile(MimeStream* s, const std::string& name) {
  s->leaf.open = s->sink.begin ? s->sink.begin(name) : false;
}

// Bytes of the file being written.
void FileWrite(MimeStream* s, const unsigned char* data, size_t n) {
  MimeLeaf& l = s->leaf;
  if (!l.open || n == 0) return;
  if (l.checked) Md5Update(&l.digest, data, n);
  s->sink.write(reinterpret_cast<const char*>(data), n);
}

void EndFile(MimeStream* s, bool short_part, bool abandoned = false) {
  MimeLeaf& l = s->leaf;
  if (!l.open) return;
  l.open = false;
  MimeFileEnd end;
  end.short_part = short_part;
  end.abandoned = abandoned;
  end.md5_bad = l.checked && Md5Base64(Md5Final(&l.digest)) != l.md5;
  s->sink.end(end);
}

// A whole line (its LF dropped) for the uuencoded file being looked for.
void FinderLine(MimeStream* s) {
  MimeLeaf& l = s->leaf;
  MimeUuFinder& uu = l.uu;
  std::string_view line = uu.line;
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  bool whole = !uu.line_long;
  if (uu.state == MimeUuFinder::kSeeking) {
    if (whole && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    char buf[kLineSize];
    size_t n = line.size() < kLineSize - 2 ? line.size() : kLineSize - 2;
    std::memcpy(buf, line.data(), n);
    buf[n] = '\n';
    buf[n + 1] = '\0';
    char name[kLineSize];
    int mode = 0;
    if (!std::memchr(buf, '\0', n) && bline(buf) &&
        ReadBline(buf, &mode, name) > 0) {
      uu.state = MimeUuFinder::kData;
      std::string file = name;
      if (l.encoding == MimeEncoding::kUuencode) {
        // The part's own name comes first.
        if (!l.name.empty()) file = l.name;
        if (l.text && file.empty()) {
          uu.state = MimeUuFinder::kDone;
          return;
        }
      }
      OpenFile(s, file);
    }
    return;
  }
  if (uu.state != MimeUuFinder::kData) return;
  if (IsEndLine(line) && (whole || uu.tail_blank)) {
    uu.state = MimeUuFinder::kDone;
    EndFile(s, false);
    return;
  }
  if (whole && !line.empty() && line.back() == '\r') line.remove_suffix(1);
  unsigned char bytes[64];
  FileWrite(s, bytes, DecodeUuData(line, bytes));
}

// Text in which the first uuencoded file is looked for, in pieces.
void FinderFeed(MimeStream* s, const char* data, size_t n) {
  MimeUuFinder& uu = s->leaf.uu;
  while (n > 0 && uu.state != MimeUuFinder::kDone) {
    const char* lf = static_cast<const char*>(std::memchr(data, '\n', n));
    size_t len = lf ? static_cast<size_t>(lf - data) + 1 : n;
    std::string_view piece(data, len);
    if (!uu.line_long && uu.line.size() + len > kUuLineKeep) {
      size_t keep = kUuLineKeep - uu.line.size();
      uu.line.append(piece.substr(0, keep));
      piece.remove_prefix(keep);
      uu.line_long = true;
    }
    if (uu.line_long) {
      std::string_view tail = piece;
      if (lf) tail.remove_suffix(1);
      for (char c : tail)
        if (!IsLineBlank(c)) uu.tail_blank = false;
    } else {
      uu.line.append(piece);
    }
    data += len;
    n -= len;
    if (lf) {
      FinderLine(s);
      uu.line.clear();
      uu.line_long = false;
      uu.tail_blank = true;
    }
  }
}

void FinderEnd(MimeStream* s) {
  MimeLeaf& l = s->leaf;
  MimeUuFinder& uu = l.uu;
  if (!uu.line.empty() || uu.line_long) FinderLine(s);
  if (uu.state == MimeUuFinder::kData) {
    // A text part yields a whole uuencoded file only; a uuencoded part's
    // file is short.
    bool in_text = l.encoding != MimeEncoding::kUuencode;
    EndFile(s, !in_text, in_text);
  } else if (uu.state == MimeUuFinder::kSeeking &&
             l.encoding == MimeEncoding::kUuencode &&
             (!l.text || !l.name.empty())) {
    // A uuencoded part without its file is written empty, and short.
    OpenFile(s, l.name);
    EndFile(s, true);
  }
}

// Decoded bytes of the part.
void Out(MimeStream* s, const char* data, size_t n) {
  if (n == 0) return;
  if (s->leaf.kind == MimeLeaf::kFile)
    FileWrite(s, reinterpret_cast<const unsigned char*>(data), n);
  else if (s->leaf.kind == MimeLeaf::kFind)
    FinderFeed(s, data, n);
}

void EmitHeld(MimeStream* s) {
  MimeLeaf& l = s->leaf;
  if (l.held.empty()) return;
  std::string held;
  held.swap(l.held);
  Out(s, held.data(), held.size());
}

unsigned char* Scratch(MimeLeaf* l, size_t n) {
  if (l->scratch_size < n) {
    // Grown by halves at least, as the pieces' sizes vary a little.
    l->scratch_size = std::max(n, l->scratch_size + l->scratch_size / 2);
    l->scratch = NewPageBuffer(l->scratch_size);
  }
  return reinterpret_cast<unsigned char*>(l->scratch.get());
}

// Decodes the quoted-printable line read so far.
void DecodeQpText(MimeStream* s, bool complete) {
  MimeLeaf& l = s->leaf;
  EmitHeld(s);
  unsigned char* out = Scratch(&l, l.line.size());
  QpLine qp = DecodeQpLine(l.line.data(), l.line.size(), out);
  size_t n = qp.written;
  if (complete && !qp.soft && n > 0) {
    // Its line end belongs to a boundary, if one comes next.
    l.held.assign(1, '\n');
    --n;
  }
  Out(s, reinterpret_cast<const char*>(out), n);
  l.line.clear();
}

// Text of the part's body, in pieces cut anywhere but before a boundary.
void LeafData(MimeStream* s, std::string_view piece) {
  MimeLeaf& l = s->leaf;
  if (l.kind == MimeLeaf::kSkip) return;
  switch (l.encoding) {
    case MimeEncoding::kBase64: {
      unsigned char* out = Scratch(&l, piece.size());
      size_t n = DecodeBase64(&l.base64, piece.data(), piece.size(), out);
      Out(s, reinterpret_cast<const char*>(out), n);
      return;
    }
    case MimeEncoding::kQuotedPrintable:
      while (!piece.empty()) {
        size_t lf = piece.find('\n');
        size_t n = lf == std::string_view::npos ? piece.size() : lf + 1;
        l.line.append(piece.substr(0, n));
        piece.remove_prefix(n);
        if (lf != std::string_view::npos) DecodeQpText(s, true);
      }
      return;
    case MimeEncoding::kUuencode:
      FinderFeed(s, piece.data(), piece.size());
      return;
    default:
      break;
  }
  // As it stands, but for a line break at its end, which belongs to a
  // boundary if one comes next.
  if (l.held == "\r" && piece == "\n") {
    l.held = "\r\n";
    return;
  }
  EmitHeld(s);
  size_t cut = 0;
  if (piece.size() >= 2 && piece.substr(piece.size() - 2) == "\r\n")
    cut = 2;
  else if (!piece.empty() && (piece.back() == '\n' || piece.back() == '\r'))
    cut = 1;
  Out(s, piece.data(), piece.size() - cut);
  l.held.assign(piece.substr(piece.size() - cut));
}

// Ends the part's body, at a boundary or at the end of the text.
void EndLeaf(MimeStream* s, bool at_boundary) {
  MimeLeaf& l = s->leaf;
  if (l.kind == MimeLeaf::kSkip) return;
  if (l.encoding == MimeEncoding::kQuotedPrintable && !l.line.empty())
    DecodeQpText(s, false);
  if (at_boundary)
    l.held.clear();
  else
    EmitHeld(s);
  if (l.kind == MimeLeaf::kFind) {
    FinderEnd(s);
  } else {
    EndFile(s, l.encoding == MimeEncoding::kBase64 && !Base64Whole(l.base64));
  }
  l.kind = MimeLeaf::kSkip;
}

// A part that is no multipart and not entered: how its body is read.
void StartLeaf(MimeStream* s, const MimeContent& type) {
  PageBuffer scratch = std::move(s->leaf.scratch);
  size_t scratch_size = s->leaf.scratch_size;
  s->leaf = MimeLeaf();
  s->leaf.scratch = std::move(scratch);
  s->leaf.scratch_size = scratch_size;
  MimeLeaf& l = s->leaf;
  const MimeHeader& h = s->header;
  l.name = MimeFileName(
      ParseContentDisposition(MimeFieldValue(h, "Content-Disposition")), type);
  MimeTransferEncoding cte =
      ParseTransferEncoding(MimeFieldValue(h, "Content-Transfer-Encoding"));
  l.encoding = cte.encoding;
  if (l.encoding == MimeEncoding::kUnknown)
    s->unknown_encodings.push_back(cte.text);
  l.text = type.type.empty() || type.type == "text";
  l.md5 = std::string(MimeFieldValue(h, "Content-MD5"));
  if (l.encoding == MimeEncoding::kUuencode) {
    l.kind = MimeLeaf::kFind;
    l.checked = !l.md5.empty();
  } else if (l.text && l.name.empty()) {
    // The message's text is not written, unless it holds a uuencoded file.
    l.kind = MimeLeaf::kFind;
  } else {
    l.kind = MimeLeaf::kFile;
    l.checked = !l.md5.empty();
    OpenFile(s, l.name);
    // A file the sink does not take need not be decoded.
    if (!l.open) l.kind = MimeLeaf::kSkip;
  }
}

// The entity's header is in: its body is read by what it says.
void StartEntity(MimeStream* s) {
  EndHeader(&s->header);
  const MimeHeader& h = s->header;
  if (s->depth == 0)
    s->subject = DecodeEncodedWords(MimeFieldValue(h, "Subject"));
  MimeContent type = ParseContentType(MimeFieldValue(h, "Content-Type"));
  if (s->depth < kMaxDepth && type.type == "multipart") {
    const std::string* boundary = FindMimeParameter(type, "boundary");
    if (boundary && !boundary->empty())
      s->frames.push_back({*boundary, s->depth + 1, false});
    s->mode = MimeStream::kSkipping;  // the preamble
    return;
  }
  if (s->depth < kMaxDepth && type.type == "message" &&
      type.subtype == "rfc822") {
    s->header = MimeHeader();
    ++s->depth;
    return;
  }
  StartLeaf(s, type);
  s->mode = MimeStream::kBody;
}

// Ends the entity being read: at a boundary, or at the end of the text.
void EndEntity(MimeStream* s, bool at_boundary) {
  while (s->mode == MimeStream::kHeader) StartEntity(s);
  if (s->mode == MimeStream::kBody) EndLeaf(s, at_boundary);
  s->mode = MimeStream::kSkipping;
}

void Boundary(MimeStream* s, size_t frame, int kind) {
  EndEntity(s, true);
  // An enclosing boundary ends the multiparts inside it.
  s->frames.resize(frame + 1);
  if (kind == 2) {
    s->frames[frame].closed = true;
    return;
  }
  s->header = MimeHeader();
  s->depth = s->frames[frame].depth;
  s->mode = MimeStream::kHeader;
}

// The boundary that a whole line (without its LF) is, outer ones first.
bool TakeBoundary(MimeStream* s, std::string_view line) {
  for (size_t k = 0; k < s->frames.size(); ++k) {
    if (s->frames[k].closed) continue;
    int kind = BoundaryKind(line, s->frames[k].boundary);
    if (kind != 0) {
      Boundary(s, k, kind);
      return true;
    }
  }
  return false;
}

// Text that holds no boundary.
void Data(MimeStream* s, std::string_view text) {
  switch (s->mode) {
    case MimeStream::kHeader: {
      size_t taken = AddHeaderText(&s->header, text);
      if (!s->header.ended) return;
      StartEntity(s);
      // A header ends at a line's end, and a piece holds at most that line.
      if (taken < text.size()) Data(s, text.substr(taken));
      return;
    }
    case MimeStream::kBody:
      LeafData(s, text);
      return;
    case MimeStream::kSkipping:
      return;
  }
}

// Whether lines can be taken many at a time: a body's, not a header's.
bool TakesRuns(const MimeStream& s) { return s.mode != MimeStream::kHeader; }

}  // namespace

void StartMimeStream(MimeStream* stream, MimeSink sink) {
  *stream = MimeStream();
  stream->sink = std::move(sink);
}

void FeedMimeStream(MimeStream* s, std::string_view text) {
  while (!text.empty()) {
    bool open = AnyOpenFrame(*s);
    if (s->candidate.empty() && TakesRuns(*s) &&
        (!open || !s->line_start || text.front() != '-')) {
      // Lines up to the next that begins with "-", which alone can be a
      // boundary, are text however many they are.
      size_t n = text.size();
      if (open) n = LineBeginningWithDash(text);
      bool complete = text[n - 1] == '\n';
      Data(s, text.substr(0, n));
      s->line_start = complete;
      text.remove_prefix(n);
      continue;
    }
    size_t lf = text.find('\n');
    size_t n = lf == std::string_view::npos ? text.size() : lf + 1;
    std::string_view piece = text.substr(0, n);
    text.remove_prefix(n);
    bool complete = lf != std::string_view::npos;
    if ((s->line_start || !s->candidate.empty()) && open) {
      s->candidate.append(piece);
      s->line_start = complete;
      if (complete) {
        std::string line;
        line.swap(s->candidate);
        if (!TakeBoundary(s, std::string_view(line).substr(0, line.size() - 1)))
          Data(s, line);
        continue;
      }
      bool may = s->candidate.size() <= kCandidateMax;
      if (may) {
        may = false;
        for (const MimeFrame& f : s->frames)
          if (!f.closed && MayBeBoundary(s->candidate, f.boundary)) may = true;
      }
      if (may) continue;
      std::string start;
      start.swap(s->candidate);
      Data(s, start);
      continue;
    }
    Data(s, piece);
    s->line_start = complete;
  }
}

void EndMimeStream(MimeStream* s) {
  if (!s->candidate.empty()) {
    // A last line without its LF may still be a boundary.
    std::string line;
    line.swap(s->candidate);
    if (!TakeBoundary(s, line)) Data(s, line);
  }
  EndEntity(s, false);
  s->unclosed = AnyOpenFrame(*s);
}

void WalkMimeMessage(std::string_view text, MimeWalk* walk) {
  MimeStream stream;
  StartMimeStream(&stream,
                  MimeSink{.begin =
                               [walk](const std::string& name) {
                                 MimeFile file;
                                 file.name = name;
                                 walk->files.push_back(std::move(file));
                                 return true;
                               },
                           .write =
                               [walk](const char* data, size_t n) {
                                 walk->files.back().data.append(data, n);
                               },
                           .end =
                               [walk](const MimeFileEnd& end) {
                                 if (end.abandoned) {
                                   walk->files.pop_back();
                                   return;
                                 }
                                 walk->files.back().md5_bad = end.md5_bad;
                                 walk->files.back().short_part = end.short_part;
                               }});
  FeedMimeStream(&stream, text);
  EndMimeStream(&stream);
  walk->unclosed = stream.unclosed;
  walk->unknown_encodings = stream.unknown_encodings;
}
