#include "mime/pass.h"

#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "catalogue/caption.h"
#include "decoding/line_file.h"
#include "mime/header.h"
#include "mime/walk.h"
#include "text.h"

namespace {

// Room for a line read in one piece; longer ones come in several.
constexpr size_t kReadSize = 64 * 1024;

constexpr size_t kMimeNameMax = 255;

// Decoded bytes are written in pieces of this size.
constexpr size_t kWriteChunk = 128 * 1024;

bool LowerStartsWith(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if ((IsUpper(text[i]) ? text[i] - 'A' + 'a' : text[i]) != prefix[i])
      return false;
  return true;
}

using Feed = std::function<void(std::string_view)>;

// Where a text read from a file ends before its limit: at a line that
// begins after `after` and is an mbox "From " line after an empty line
// (`from`), or a batch's "#! rnews " line (`rnews`). That line is not read.
struct TextEnds {
  bool from = false;
  bool rnews = false;
  int64_t after = -1;
};

bool EndsHere(LineFile* in, const TextEnds& ends, bool after_empty) {
  if (TellLine(in) <= ends.after) return false;
  return (ends.from && after_empty && NextReadStartsWith(in, "From ")) ||
         (ends.rnews && NextReadStartsWith(in, "#! rnews "));
}

// The first line start in `run` before `stop` that begins with `c`, a
// character rare enough in encoded text to be looked for alone; `stop`
// where there is none.
size_t LineBeginningWith(std::string_view run, char c, size_t stop) {
  for (size_t from = 1; from < stop;) {
    const void* at = std::memchr(run.data() + from, c, stop - from);
    if (!at) break;
    size_t i = static_cast<size_t>(static_cast<const char*>(at) - run.data());
    if (run[i - 1] == '\n') return i;
    from = i + 1;
  }
  return stop;
}

// 0x80 in each byte of `v` that is zero, nothing in the others.
uint64_t ZeroBytes(uint64_t v) {
  constexpr uint64_t kLow7 = 0x7f7f7f7f7f7f7f7full;
  return ~(((v & kLow7) + kLow7) | v | kLow7);
}

// The first LF in `run` from `from` on whose next byte, before `stop`, is
// LF or CR: where an empty line may begin. npos where there is none.
size_t LineBreakPair(std::string_view run, size_t from, size_t stop) {
  constexpr uint64_t kLf = 0x0a0a0a0a0a0a0a0aull;
  constexpr uint64_t kCr = 0x0d0d0d0d0d0d0d0dull;
  size_t i = from;
  if constexpr (std::endian::native == std::endian::little) {
    // Eight places at a time.
    for (; i + 9 <= stop; i += 8) {
      uint64_t x, y;
      std::memcpy(&x, run.data() + i, 8);
      std::memcpy(&y, run.data() + i + 1, 8);
      uint64_t hit =
          ZeroBytes(x ^ kLf) & (ZeroBytes(y ^ kLf) | ZeroBytes(y ^ kCr));
      if (hit) return i + static_cast<size_t>(std::countr_zero(hit)) / 8;
    }
  }
  for (; i + 1 < stop; ++i)
    if (run[i] == '\n' && (run[i + 1] == '\n' || run[i + 1] == '\r')) return i;
  return std::string_view::npos;
}

// Where the first line before `stop` that begins with "F" after an empty
// line begins (an mbox "From " line may); `stop` where none does. Empty
// lines are few: they are looked for, not every line.
size_t FromAfterEmpty(std::string_view run, size_t stop) {
  auto after = [&](size_t end) {  // end: the LF of an empty line
    return end + 1 < stop && run[end + 1] == 'F';
  };
  if (run[0] == '\n' && after(0)) return 1;
  if (run.size() > 1 && run[0] == '\r' && run[1] == '\n' && after(1)) return 2;
  for (size_t from = 0;;) {
    size_t i = LineBreakPair(run, from, stop);
    if (i == std::string_view::npos) return stop;
    if (run[i + 1] == '\n' && after(i + 1)) return i + 2;
    if (run[i + 1] == '\r' && i + 2 < stop && run[i + 2] == '\n' &&
        after(i + 2))
      return i + 3;
    from = i + 1;
  }
}

// The whole lines at the start of `run`, which begins a line, that ReadText
// may take as they stand: up to the first that begins with a stuffed dot
// (wire format) or that may end the text. `after_empty`: the line before
// `run` was empty.
size_t PlainRun(std::string_view run, bool wire, const TextEnds& ends,
                bool after_empty) {
  if (run.empty()) return 0;
  char c = run[0];
  if ((wire && c == '.') || (ends.rnews && c == '#') ||
      (ends.from && after_empty && c == 'F'))
    return 0;
  size_t stop = run.size();
  if (wire) stop = LineBeginningWith(run, '.', stop);
  if (ends.rnews) stop = LineBeginningWith(run, '#', stop);
  if (ends.from) stop = FromAfterEmpty(run, stop);
  const void* last = memrchr(run.data(), '\n', stop);
  return last ? static_cast<size_t>(static_cast<const char*>(last) -
                                    run.data()) +
                    1
              : 0;
}

// Whether the last line of `text`, which ends in LF, is empty.
bool EndsInEmptyLine(std::string_view text) {
  size_t n = text.size();
  return (n >= 1 && text[n - 1] == '\n') &&
         (n == 1 || text[n - 2] == '\n' ||
          (text[n - 2] == '\r' && (n == 2 || text[n - 3] == '\n')));
}

// Hands the text of `in` from a line start up to `limit` (-1: its end), or
// to where `ends` says, to `feed`: whole lines straight from the input
// buffer where they need nothing done, others as ReadLine gives them.
void ReadText(LineFile* in, int64_t limit, const TextEnds& ends,
              bool after_empty, const Feed& feed) {
  std::vector<char> buf(kReadSize);
  bool line_start = true;
  bool stops = ends.from || ends.rnews;
  // An empty line before an mbox "From " line, or at the end of the input,
  // belongs to the separator: it is held until the next line shows that
  // neither follows.
  std::string held;
  auto give = [&](std::string_view text) {
    if (!held.empty()) {
      feed(held);
      held.clear();
    }
    size_t n = text.size();
    if (ends.from && EndsInEmptyLine(text)) {
      size_t cut = n >= 2 && text[n - 2] == '\r' ? 2 : 1;
      held.assign(text.substr(n - cut));
      text.remove_suffix(cut);
    }
    if (!text.empty()) feed(text);
  };
  while (limit < 0 || TellLine(in) < limit) {
    if (line_start) {
      std::string_view run = BufferedInput(in);
      if (limit >= 0 && static_cast<int64_t>(run.size()) > limit - TellLine(in))
        run = run.substr(0, static_cast<size_t>(limit - TellLine(in)));
      size_t take = PlainRun(run, in->wire, ends, after_empty);
      if (take > 0) {
        after_empty = EndsInEmptyLine(run.substr(0, take));
        give(run.substr(0, take));
        TakeInput(in, take);
        continue;
      }
      if (stops && EndsHere(in, ends, after_empty)) {
        held.clear();
        break;
      }
      // The line that ends an article in wire format is no text of it.
      if (in->wire && NextReadStartsWith(in, ".\r\n")) break;
    }
    if (!ReadLine(in, buf.data(), static_cast<int>(kReadSize))) break;
    std::string_view piece(buf.data(), in->length);
    if (line_start) after_empty = piece == "\n" || piece == "\r\n";
    give(piece);
    line_start = !piece.empty() && piece.back() == '\n';
  }
  // At the end of an mbox the last message's empty line is the separator's
  // too; where another segment begins, it is text.
  bool at_end = AtEnd(in) ||
                (SizeOfLineFile(in) >= 0 && TellLine(in) >= SizeOfLineFile(in));
  if (!held.empty() && !at_end) feed(held);
}

// Hands the article of `seg` (from its header to the end of its window) to
// `feed`; false, after the message, when it cannot be opened. Under
// -extended an mbox "From " line after an empty line, or a batch's
// "#! rnews " line, ends it as well.
bool ReadArticle(MimePass* pass, const Segment* seg, int64_t start,
                 const Feed& feed) {
  LineFile in;
  if (!OpenLineFileAt(&in, seg->path, start)) {
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
  TextEnds ends;
  if (pass->output->options->EXT) ends = {true, true, seg->offset};
  ReadText(&in, limit, ends, false, feed);
  CloseLineFile(&in);
  return true;
}

bool LeftOut(std::string_view name) {
  return LowerStartsWith(name, "content-") ||
         (name.size() == 7 && LowerStartsWith(name, "subject")) ||
         (name.size() == 10 && LowerStartsWith(name, "message-id")) ||
         (name.size() == 9 && LowerStartsWith(name, "encrypted")) ||
         (name.size() == 12 && LowerStartsWith(name, "mime-version"));
}

// The fields of a split message's first header that its joined message
// keeps.
std::string OuterFields(const MimeHeader& header) {
  std::string out;
  for (const MimeField& f : header.fields)
    if (!LeftOut(f.name)) out += f.raw;
  return out;
}

// A part of a split message on its way into the joined message: its
// header is dropped, but for the first part's fields that the joined
// message keeps.
struct PartFeed {
  Feed feed;
  bool first = false;
  MimeHeader header;
};

void FeedPart(PartFeed* p, std::string_view text) {
  if (!p->header.ended) {
    size_t taken = AddHeaderText(&p->header, text);
    if (!p->header.ended) return;
    if (p->first) p->feed(OuterFields(p->header));
    text.remove_prefix(taken);
  }
  if (!text.empty()) p->feed(text);
}

void EndPart(PartFeed* p) {
  if (p->header.ended) return;
  EndHeader(&p->header);
  if (p->first) p->feed(OuterFields(p->header));
}

Feed ToStream(MimeStream* stream) {
  return [stream](std::string_view t) { FeedMimeStream(stream, t); };
}

// Hands the message of `msg` to `stream`: its article, or the bodies of a
// split message's parts joined under the rebuilt header.
bool ReadMessage(MimePass* pass, const MimeMessage& msg, MimeStream* stream) {
  const Segment* first = msg.parts.front();
  if (!pass->catalogue->articles[first->encoding.record].partial)
    return ReadArticle(
        pass, first, msg.starts.front(),
        [stream](std::string_view t) { FeedMimeStream(stream, t); });
  for (size_t i = 0; i < msg.parts.size(); ++i) {
    PartFeed part;
    part.feed = ToStream(stream);
    part.first = i == 0;
    if (!ReadArticle(pass, msg.parts[i], msg.starts[i],
                     [&part](std::string_view t) { FeedPart(&part, t); }))
      return false;
    EndPart(&part);
  }
  return true;
}

// The files of one message as the walk finds them, written through the
// shared output.
struct MimeWriter {
  MimePass* pass = nullptr;
  int owner = 0;
  const MimeStream* stream = nullptr;
  size_t files = 0;   // the message carries
  bool sound = true;  // every file written and sound so far
  int unnamed = 0;    // "part" numbers given
  bool open = false;
  bool write_failed = false;
  OutputFile file;
  NameSearch names;
  std::string path;
  std::vector<char> buffer;
};

// The name a file is written under before -dos and numbering: its own,
// else the subject's file name, else "part" and a number; its last
// component unless -dir.
std::string NameOf(MimeWriter* w, const std::string& own) {
  std::string name = own;
  if (name.empty()) GetFileName(w->stream->subject.c_str(), &name);
  if (name.empty()) name = "part" + std::to_string(++w->unnamed);
  if (!w->pass->output->options->DIR) {
    size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
  }
  return OutputName(*w->pass->output->options, name);
}

bool BeginFile(MimeWriter* w, const std::string& own) {
  PassOutput* out = w->pass->output;
  ++w->files;
  std::string first = NameOf(w, own);
  w->names = NameSearch();
  w->names.first = first;
  w->names.base = first;
  w->names.owner = w->owner;
  w->names.max_length = kMimeNameMax;
  w->path = CreatePath(*out->options, first.c_str());
  if (!StartOutputFile(out, w->names, &w->file)) {
    w->sound = false;
    return false;
  }
  fchmod(w->file.fd, NewFileMode(*out));
  w->open = true;
  w->write_failed = false;
  w->buffer.clear();
  return true;
}

void WriteAll(MimeWriter* w, const char* p, size_t left) {
  while (left > 0 && !w->write_failed) {
    ssize_t n = write(w->file.fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      w->write_failed = true;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
}

void Flush(MimeWriter* w) {
  WriteAll(w, w->buffer.data(), w->buffer.size());
  w->buffer.clear();
}

// Small pieces are gathered; a large one is written as it stands.
void WriteFile(MimeWriter* w, const char* data, size_t n) {
  if (w->write_failed) return;
  if (w->buffer.size() + n > kWriteChunk) Flush(w);
  if (n >= kWriteChunk) {
    WriteAll(w, data, n);
    return;
  }
  if (w->buffer.capacity() < kWriteChunk) w->buffer.reserve(kWriteChunk);
  w->buffer.insert(w->buffer.end(), data, data + n);
}

void EndFile(MimeWriter* w, const MimeFileEnd& end) {
  PassOutput* out = w->pass->output;
  if (end.abandoned) {
    // No file after all.
    w->buffer.clear();
    DropOutputFile(&w->file);
    w->open = false;
    --w->files;
    return;
  }
  Flush(w);
  w->open = false;
  if (w->write_failed) {
    Fail(out->reporter, "quillon: write error on %s\n", w->path.c_str());
    out->outcome.write_error = true;
    DropOutputFile(&w->file);
    w->sound = false;
    return;
  }
  std::string name;
  bool placed = CommitOutputFile(out, &w->file, w->names, &name);
  DropOutputFile(&w->file);
  if (!placed) {
    w->sound = false;
    return;
  }
  Progress(out->reporter, "MIME-decoding %s\n", name.c_str());
  if (end.md5_bad) {
    Fail(out->reporter, "quillon: MD5 error in %s\n", name.c_str());
    w->sound = false;
  }
  if (end.short_part) {
    Fail(out->reporter, "quillon: short MIME part in %s\n", name.c_str());
    w->sound = false;
  }
}

// Starts the walk of a message whose files `w` writes.
void StartWriting(MimeWriter* w, MimeStream* stream) {
  w->stream = stream;
  StartMimeStream(
      stream,
      MimeSink{
          .begin = [w](const std::string& name) { return BeginFile(w, name); },
          .write = [w](const char* data, size_t n) { WriteFile(w, data, n); },
          .end = [w](const MimeFileEnd& end) { EndFile(w, end); }});
}

// Ends the walk, or drops the file under way where the text could not all
// be read; true when every file was written and sound.
bool EndWriting(MimeWriter* w, MimeStream* stream, bool read,
                const char* article) {
  if (!read) {
    if (w->open) DropOutputFile(&w->file);
    w->open = false;
    return false;
  }
  EndMimeStream(stream);
  Reporter* reporter = w->pass->output->reporter;
  for (const std::string& encoding : stream->unknown_encodings)
    Note(reporter, "quillon: unknown encoding %s in %s\n", encoding.c_str(),
         article);
  if (stream->unclosed)
    Note(reporter, "quillon: no closing boundary in %s\n", article);
  return w->sound;
}

// A part of a split message in plain input: kept until every part is in,
// its file held until then, and the message written when it is complete.
void TakePlainPart(MimePass* pass, const PlainLine& line, const TextEnds& ends,
                   const MimePartial& partial, const std::string& subject) {
  std::string text(line.text);
  ReadText(line.in, line.limit, ends, false,
           [&text](std::string_view t) { text.append(t); });
  PassOutput* out = pass->output;
  auto [it, fresh] = pass->splits.try_emplace(partial.id);
  PlainSplit& split = it->second;
  if (fresh) pass->split_order.push_back(partial.id);
  bool disagree =
      partial.total > 0 && split.total > 0 && partial.total != split.total;
  if (disagree && !split.disagree)
    Note(out->reporter, "quillon: parts of %s disagree on their total\n",
         partial.id.c_str());
  split.disagree = split.disagree || disagree;
  if (split.written) {
    // A duplicate of a part already written goes with it, unless the
    // message failed or the part disagrees with it.
    if ((!split.sound || disagree) && line.seg) HoldFile(out, line.seg);
    return;
  }
  if (line.seg) {
    HoldFile(out, line.seg);
    split.held.push_back(line.seg);
  }
  std::string caption = subject;
  while (!caption.empty() && (caption.back() == '\n' || caption.back() == '\r'))
    caption.pop_back();
  upcase(caption.data());
  split.captions.push_back(caption);
  if (split.total < 0 && partial.total > 0) {
    // The parts read so far that are in 1 to total.
    split.total = partial.total;
    for (const auto& [number, part] : split.parts)
      if (number <= split.total) ++split.present;
  }
  bool added = split.parts.emplace(partial.number, std::move(text)).second;
  if (added && split.total > 0 && partial.number <= split.total)
    ++split.present;
  if (split.disagree || split.total < 0 || split.present < split.total) return;
  MimeWriter w;
  w.pass = pass;
  w.owner = PlainOwner(out);
  MimeStream stream;
  StartWriting(&w, &stream);
  for (int n = 1; n <= split.total; ++n) {
    PartFeed part;
    part.feed = ToStream(&stream);
    part.first = n == 1;
    FeedPart(&part, split.parts[n]);
    EndPart(&part);
  }
  split.written = true;
  split.parts.clear();
  const char* article = line.seg ? line.seg->path : "standard input";
  if (!EndWriting(&w, &stream, true, article)) {
    // Its inputs are not finished: not deleted, not logged.
    out->outcome.failed = true;
    return;
  }
  split.sound = true;
  for (const Segment* s : split.held) ReleaseFile(out, s);
}

}  // namespace

std::string JoinPartialMessage(std::string_view outer, std::string_view inner) {
  std::string out;
  PartFeed part;
  part.feed = [&out](std::string_view t) { out.append(t); };
  part.first = true;
  FeedPart(&part, outer);
  EndPart(&part);
  out.append(inner);
  return out;
}

void EndMimePass(MimePass* pass) {
  // Split messages of plain input that did not come whole: listed as the
  // scan lists the segments it could not decode; their inputs stay.
  bool listed = false;
  for (const std::string& id : pass->split_order) {
    const PlainSplit& split = pass->splits[id];
    if (split.written) continue;
    if (!listed)
      Progress(pass->output->reporter,
               "Captions for (file) segments not decoded:\n");
    listed = true;
    for (const std::string& caption : split.captions)
      Progress(pass->output->reporter, "%s\n", caption.c_str());
  }
  if (listed) Progress(pass->output->reporter, "\n");
}

bool DecodeMimePlainLine(MimePass* pass, const PlainLine& line) {
  if (!line.line_start) {
    pass->after_from = false;
    return false;
  }
  bool first = TellLine(line.in) == static_cast<int64_t>(line.text.size());
  bool in_mbox = pass->after_from;
  pass->after_from = line.text.substr(0, 5) == "From ";
  if (!(first || in_mbox) || line.text.empty() || line.text.back() != '\n' ||
      !IsMimeFieldLine(line.text))
    return false;
  // The decision needs the whole header, read into the buffer (which holds
  // more than a header may keep): nothing is taken unless the message is
  // MIME.
  MimeHeader header;
  while (true) {
    header = MimeHeader();
    AddHeaderText(&header, line.text);
    AddHeaderText(&header, BufferedInput(line.in));
    if (header.ended || header.dropped || !ReadMore(line.in)) break;
  }
  if (!header.ended || !IsMimeArticle(header)) return false;
  // Only a message that an mbox "From " line began ends at the next one.
  TextEnds ends{.from = in_mbox};
  MimePartial partial;
  if (ParseMimePartial(ParseContentType(MimeFieldValue(header, "Content-Type")),
                       &partial)) {
    TakePlainPart(pass, line, ends, partial,
                  DecodeEncodedWords(MimeFieldValue(header, "Subject")));
    return true;
  }
  MimeWriter w;
  w.pass = pass;
  w.owner = PlainOwner(pass->output);
  MimeStream stream;
  StartWriting(&w, &stream);
  FeedMimeStream(&stream, line.text);
  ReadText(line.in, line.limit, ends, false, ToStream(&stream));
  const char* article = line.seg ? line.seg->path : "standard input";
  if (!EndWriting(&w, &stream, true, article)) {
    pass->output->outcome.failed = true;
    // Its input is not finished: not deleted, not logged.
    if (line.seg) HoldFile(pass->output, line.seg);
  }
  return true;
}

void BeginMimePass(MimePass* pass, PassOutput* output,
                   const MimeCatalogue* catalogue) {
  pass->output = output;
  pass->catalogue = catalogue;
  if (!catalogue) return;
  for (const MimeMessage& msg : catalogue->messages)
    if (msg.group > 0) pass->messages[msg.group] = &msg;
}

void DecodeMimeSegment(MimePass* pass, Segment* seg) {
  if (!pass->done.insert(seg->group).second) return;
  auto found = pass->messages.find(seg->group);
  if (found == pass->messages.end()) return;
  const MimeMessage& msg = *found->second;
  MimeWriter w;
  w.pass = pass;
  w.owner = msg.group;
  MimeStream stream;
  StartWriting(&w, &stream);
  bool read = ReadMessage(pass, msg, &stream);
  if (!EndWriting(&w, &stream, read, msg.parts.front()->path)) {
    pass->output->outcome.failed = true;
    return;
  }
  // A message that carries no file (a text post in quoted-printable) is
  // left as it is: not deleted, not logged.
  if (w.files == 0) return;
  for (Segment* s : msg.parts) MarkProcessed(pass->output, s);
  for (Segment* s : msg.duplicates) MarkProcessed(pass->output, s);
  CleanFinished(pass->output);
}
