// The walk over a MIME message as its text comes, in pieces cut anywhere:
// its parts, nested multiparts and message/rfc822 parts entered, and the
// files that its parts carry, decoded and handed to a sink as they come.
// Memory does not grow with the size of a part: only a header, the start
// of a line that may be a boundary (up to 64 KiB: a longer line is text,
// even where only blanks follow a boundary in it) and one line of
// quoted-printable or uuencoded text are kept. Plain records and free
// functions: no I/O.
#ifndef QUILLON_MIME_WALK_H_
#define QUILLON_MIME_WALK_H_

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "checksum/md5.h"
#include "decoding/page_buffer.h"
#include "mime/base64.h"
#include "mime/header.h"

// How a file that a part carries ended.
struct MimeFileEnd {
  bool md5_bad = false;     // its Content-MD5 does not match its bytes
  bool short_part = false;  // its data was cut off
  // It is no file after all (a uuencoded file in a text part without its
  // end line): its bytes are to be dropped.
  bool abandoned = false;
};

// Where the walk puts the files it finds. `begin` is called with the part's
// file name (its fields, else the begin line of a uuencoded file in it;
// empty where it has none) and returns false where the file cannot be
// written: its data is then dropped and `end` not called. Otherwise `write`
// gets its bytes in order and `end` how it ended.
struct MimeSink {
  std::function<bool(const std::string& name)> begin;
  std::function<void(const char* data, size_t n)> write;
  std::function<void(const MimeFileEnd& end)> end;
};

// A multipart whose boundaries are looked for.
struct MimeFrame {
  std::string boundary;
  int depth = 0;        // of its parts
  bool closed = false;  // its closing boundary was read: the rest is skipped
};

// The first whole uuencoded file in a text fed line by line: begin line to
// end line, or to the end of the text, which makes it short.
struct MimeUuFinder {
  enum State { kSeeking, kData, kDone } state = kSeeking;
  std::string line;        // the line read so far, its first bytes only
  bool line_long = false;  // bytes beyond `line` were dropped
  bool tail_blank = true;  // and they were blanks, CR or LF only
  std::string name;        // of the begin line
};

// The part being read, once its header is in.
struct MimeLeaf {
  enum Kind { kSkip, kFile, kFind } kind = kSkip;
  MimeEncoding encoding = MimeEncoding::kSevenBit;
  bool text = false;     // a text/* part, or one with no type
  std::string name;      // from its fields
  std::string md5;       // its Content-MD5, empty where none
  bool checked = false;  // it has an MD5 to compare
  bool open = false;     // the sink took the file
  Md5 digest;
  Base64State base64;
  std::string line;  // a quoted-printable line being read
  std::string held;  // a line break that belongs to a boundary if one comes
  MimeUuFinder uu;
  // Decoded bytes on their way to the sink; kept from part to part.
  PageBuffer scratch;
  size_t scratch_size = 0;
};

struct MimeStream {
  MimeSink sink;
  // What the walk found besides the files.
  bool unclosed = false;  // the text ended inside a multipart
  // Transfer encodings not known, as written: such parts are kept as they
  // stand.
  std::vector<std::string> unknown_encodings;
  // The Subject of the message's own header, encoded words decoded.
  std::string subject;
  // Reading state.
  enum Mode { kHeader, kBody, kSkipping } mode = kHeader;
  MimeHeader header;              // of the entity being read
  int depth = 0;                  // of that entity
  std::vector<MimeFrame> frames;  // open multiparts, outermost first
  MimeLeaf leaf;
  bool line_start = true;
  std::string candidate;  // the start of a line that may be a boundary
};

// Starts a walk that hands its files to `sink`.
void StartMimeStream(MimeStream* stream, MimeSink sink);

// Takes the next piece of the message's text: its header (up to its first
// empty line, lines that are no field skipped), then its body by what the
// header says.
void FeedMimeStream(MimeStream* stream, std::string_view text);

// Ends the text: what is open is closed (`unclosed` tells whether a
// multipart was).
void EndMimeStream(MimeStream* stream);

// A file that a part carries, decoded: the walk of a text held in memory.
struct MimeFile {
  std::string name;
  std::string data;
  bool md5_bad = false;
  bool short_part = false;
};

struct MimeWalk {
  std::vector<MimeFile> files;  // in reading order
  bool unclosed = false;
  std::vector<std::string> unknown_encodings;
};

void WalkMimeMessage(std::string_view text, MimeWalk* walk);

#endif  // QUILLON_MIME_WALK_H_
