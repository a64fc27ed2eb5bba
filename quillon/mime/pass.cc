#include "mime/pass.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "catalogue/caption.h"
#include "decoding/line_file.h"
#include "mime/header.h"
#include "mime/walk.h"
#include "text.h"

namespace {

// Room for a line read in one piece; longer ones come in several.
constexpr int kReadSize = 64 * 1024;

constexpr size_t kMimeNameMax = 255;

bool LowerStartsWith(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if ((IsUpper(text[i]) ? text[i] - 'A' + 'a' : text[i]) != prefix[i])
      return false;
  return true;
}

// Reads the article of `seg` (from its header to the end of its window) into
// `text`; false, after the message, when it cannot be opened. Under
// -extended an mbox "From " line after an empty line, or a batch's
// "#! rnews " line, ends it as well.
bool ReadArticle(MimePass* pass, const Segment* seg, int64_t start,
                 std::string* text) {
  LineFile in;
  if (!OpenLineFile(&in, seg->path)) {
    Fail(pass->output->reporter, "quillon: cannot access file %s\n", seg->path);
    pass->output->outcome.failed = true;
    return false;
  }
  // From the header on, up to the next segment's offset above both it and
  // the segment's own.
  Segment from = *seg;
  from.offset = start > seg->offset ? start : seg->offset;
  int64_t limit =
      maxseek(*pass->output, pass->output->list, &from, SizeOfLineFile(&in));
  SeekLine(&in, start);
  bool ext = pass->output->options->EXT;
  std::vector<char> buf(kReadSize);
  bool line_start = true;
  bool after_empty = false;
  while ((limit < 0 || TellLine(&in) < limit) &&
         ReadLine(&in, buf.data(), kReadSize)) {
    std::string_view piece(buf.data(), in.length);
    if (ext && line_start &&
        TellLine(&in) - static_cast<int64_t>(in.length) > seg->offset) {
      if ((after_empty && piece.substr(0, 5) == "From ") ||
          piece.substr(0, 9) == "#! rnews ")
        break;
    }
    if (line_start) after_empty = piece == "\n" || piece == "\r\n";
    text->append(piece);
    line_start = !piece.empty() && piece.back() == '\n';
  }
  CloseLineFile(&in);
  return true;
}

// Where the body of an article's text begins: after its first empty line.
size_t BodyStart(std::string_view text) {
  MimeHeader header;
  return AddHeaderText(&header, text);
}

bool LeftOut(std::string_view name) {
  return LowerStartsWith(name, "content-") ||
         (name.size() == 7 && LowerStartsWith(name, "subject")) ||
         (name.size() == 10 && LowerStartsWith(name, "message-id")) ||
         (name.size() == 9 && LowerStartsWith(name, "encrypted")) ||
         (name.size() == 12 && LowerStartsWith(name, "mime-version"));
}

// Reads the message of `msg` into `text`: its article, or the bodies of a
// split message's parts joined under the rebuilt header.
bool ReadMessage(MimePass* pass, const MimeMessage& msg, std::string* text) {
  std::string first;
  if (!ReadArticle(pass, msg.parts.front(), msg.starts.front(), &first))
    return false;
  MimeHeader header;
  size_t body = AddHeaderText(&header, first);
  EndHeader(&header);
  MimeContent type = ParseContentType(MimeFieldValue(header, "Content-Type"));
  MimePartial partial;
  if (!ParseMimePartial(type, &partial)) {
    text->swap(first);
    return true;
  }
  std::string inner(std::string_view(first).substr(body));
  for (size_t i = 1; i < msg.parts.size(); ++i) {
    std::string part;
    if (!ReadArticle(pass, msg.parts[i], msg.starts[i], &part)) return false;
    inner.append(std::string_view(part).substr(BodyStart(part)));
  }
  *text = JoinPartialMessage(std::string_view(first).substr(0, body), inner);
  return true;
}

// The file name that the subject of the message gives, if any.
std::string SubjectName(std::string_view text) {
  MimeHeader header;
  AddHeaderText(&header, text);
  EndHeader(&header);
  std::string subject = DecodeEncodedWords(MimeFieldValue(header, "Subject"));
  std::string name;
  GetFileName(subject.c_str(), &name);
  return name;
}

// The name a file is written under before -dos and numbering: its last
// component unless -dir.
std::string NameOf(const Options& options, const MimeFile& file,
                   const std::string& fallback, int* unnamed) {
  std::string name = file.name;
  if (name.empty()) name = fallback;
  if (name.empty()) name = "part" + std::to_string(++*unnamed);
  if (!options.DIR) {
    size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
  }
  return OutputName(options, name);
}

// Writes one file; true when it was put in place and found sound.
bool WriteMimeFile(MimePass* pass, int group, const MimeFile& file,
                   const std::string& first_name) {
  PassOutput* out = pass->output;
  NameSearch names;
  names.first = first_name;
  names.base = first_name;
  names.owner = group;
  names.max_length = kMimeNameMax;
  std::string path = CreatePath(*out->options, first_name.c_str());
  OutputFile of;
  if (!StartOutputFile(out, names, &of)) return false;
  int fmode = out->options->FMODE;
  fchmod(of.fd, fmode ? static_cast<mode_t>(fmode) : CreationMode());
  const char* p = file.data.data();
  size_t left = file.data.size();
  bool write_failed = false;
  while (left > 0) {
    ssize_t n = write(of.fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      write_failed = true;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (write_failed) {
    Fail(out->reporter, "quillon: write error on %s\n", path.c_str());
    out->outcome.write_error = true;
    DropOutputFile(&of);
    return false;
  }
  std::string name;
  bool placed = CommitOutputFile(out, &of, names, &name);
  DropOutputFile(&of);
  if (!placed) return false;
  Progress(out->reporter, "MIME-decoding %s\n", name.c_str());
  bool sound = true;
  if (file.md5_bad) {
    Fail(out->reporter, "quillon: MD5 error in %s\n", name.c_str());
    sound = false;
  }
  if (file.short_part) {
    Fail(out->reporter, "quillon: short MIME part in %s\n", name.c_str());
    sound = false;
  }
  return sound;
}

// Walks a message and writes its files for `owner`; true when every one was
// written and sound. `*files` counts the files the message carries.
bool WriteWalked(MimePass* pass, const std::string& text, int owner,
                 const char* article, size_t* files = nullptr) {
  MimeWalk walk;
  WalkMimeMessage(text, &walk);
  Reporter* reporter = pass->output->reporter;
  bool sound = true;
  for (const std::string& encoding : walk.unknown_encodings)
    Note(reporter, "quillon: unknown encoding %s in %s\n", encoding.c_str(),
         article);
  if (walk.unclosed)
    Note(reporter, "quillon: no closing boundary in %s\n", article);
  if (files) *files = walk.files.size();
  std::string fallback = SubjectName(text);
  int unnamed = 0;
  for (const MimeFile& file : walk.files) {
    std::string name = NameOf(*pass->output->options, file, fallback, &unnamed);
    if (!WriteMimeFile(pass, owner, file, name)) sound = false;
  }
  return sound;
}

bool WriteMessage(MimePass* pass, const MimeMessage& msg, size_t* files) {
  std::string text;
  if (!ReadMessage(pass, msg, &text)) return false;
  return WriteWalked(pass, text, msg.group, msg.parts.front()->path, files);
}

}  // namespace

std::string JoinPartialMessage(std::string_view outer, std::string_view inner) {
  MimeHeader header;
  AddHeaderText(&header, outer);
  EndHeader(&header);
  std::string out;
  for (const MimeField& f : header.fields)
    if (!LeftOut(f.name)) out += f.raw;
  out += inner;
  return out;
}

bool DecodeMimePlainLine(MimePass* pass, const PlainLine& line) {
  if (!line.line_start) {
    pass->after_from = false;
    return false;
  }
  bool first = TellLine(line.in) == static_cast<int64_t>(line.text.size());
  bool candidate = first || pass->after_from;
  pass->after_from = line.text.substr(0, 5) == "From ";
  if (!candidate || line.text.empty() || line.text.back() != '\n' ||
      !IsMimeFieldLine(line.text))
    return false;
  // The decision needs the whole header, which must be in the buffer
  // already: nothing is taken unless the message is MIME.
  MimeHeader header;
  AddHeaderText(&header, line.text);
  AddHeaderText(&header, BufferedInput(line.in));
  if (!header.ended || !IsMimeArticle(header)) return false;
  MimePartial partial;
  if (ParseMimePartial(ParseContentType(MimeFieldValue(header, "Content-Type")),
                       &partial))
    return false;
  std::string text(line.text);
  std::vector<char> buf(kReadSize);
  bool line_start = true;
  bool after_empty = false;
  while (line.limit < 0 || TellLine(line.in) < line.limit) {
    if (line_start && after_empty && NextReadStartsWith(line.in, "From "))
      break;
    if (!ReadLine(line.in, buf.data(), kReadSize)) break;
    std::string_view piece(buf.data(), line.in->length);
    if (line_start) after_empty = piece == "\n" || piece == "\r\n";
    text.append(piece);
    line_start = !piece.empty() && piece.back() == '\n';
  }
  const char* article = line.seg ? line.seg->path : "standard input";
  if (!WriteWalked(pass, text, PlainOwner(pass->output), article)) {
    pass->output->outcome.failed = true;
    // Its input is not finished: not deleted, not logged.
    if (line.seg) HoldFile(pass->output, line.seg);
  }
  return true;
}

void BeginMimePass(MimePass* pass, PassOutput* output,
                   const MimeCatalogue* catalogue) {
  pass->output = output;
  if (!catalogue) return;
  for (const MimeMessage& msg : catalogue->messages)
    if (msg.group > 0) pass->messages[msg.group] = &msg;
}

void DecodeMimeSegment(MimePass* pass, Segment* seg) {
  if (!pass->done.insert(seg->group).second) return;
  auto found = pass->messages.find(seg->group);
  if (found == pass->messages.end()) return;
  const MimeMessage& msg = *found->second;
  size_t files = 0;
  if (!WriteMessage(pass, msg, &files)) {
    pass->output->outcome.failed = true;
    return;
  }
  // A message that carries no file (a text post in quoted-printable) is
  // left as it is: not deleted, not logged.
  if (files == 0) return;
  for (Segment* s : msg.parts) MarkProcessed(pass->output, s);
  for (Segment* s : msg.duplicates) MarkProcessed(pass->output, s);
  CleanFinished(pass->output);
}
