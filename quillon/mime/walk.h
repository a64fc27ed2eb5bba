// The walk over a MIME message held in memory: its parts, nested multiparts
// and message/rfc822 parts entered, and the files that its parts carry,
// decoded. Plain records and free functions: no I/O.
#ifndef QUILLON_MIME_WALK_H_
#define QUILLON_MIME_WALK_H_

#include <string>
#include <string_view>
#include <vector>

// A file that a part carries, decoded.
struct MimeFile {
  // The part's file name (its fields, else the begin line of a uuencoded
  // file in it); empty where it has none.
  std::string name;
  std::string data;
  bool md5_bad = false;     // its Content-MD5 does not match `data`
  bool short_part = false;  // its data was cut off
};

struct MimeWalk {
  std::vector<MimeFile> files;  // in reading order
  // The text ended inside a multipart, before its closing boundary.
  bool unclosed = false;
  // Transfer encodings not known, as written; such parts are kept as they
  // stand.
  std::vector<std::string> unknown_encodings;
};

// Walks a message: its header (up to its first empty line, lines that are
// no field skipped), then its body by what the header says.
void WalkMimeMessage(std::string_view text, MimeWalk* walk);

// The first whole uuencoded file of `text` (begin line to end line, or to
// the end of the text, which makes it short): false where it has no begin
// line.
bool FindUuencodedFile(std::string_view text, MimeFile* file);

// The line at `pos` of `text` without its LF; `*next` is where the next
// line begins.
std::string_view LineAt(std::string_view text, size_t pos, size_t* next);

#endif  // QUILLON_MIME_WALK_H_
