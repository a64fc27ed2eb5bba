// The MIME pass: each complete message is read from its articles (the
// parts of a split message joined in number order), walked, and every file
// its parts carry written.
#ifndef QUILLON_MIME_PASS_H_
#define QUILLON_MIME_PASS_H_

#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "decoding/encoding.h"
#include "decoding/output.h"
#include "mime/catalogue.h"

// A split message met in plain input, kept until every part is in.
struct PlainSplit {
  std::map<int, std::string> parts;  // by number: the first read of each
  int total = -1;
  int present = 0;        // of the parts 1 to total, once total is known
  bool disagree = false;  // its parts disagree on their total
  bool written = false;
  bool sound = false;                 // written, every file sound
  std::vector<const Segment*> held;   // the plain files its parts came from
  std::vector<std::string> captions;  // its parts' subjects, as read
};

struct MimePass {
  PassOutput* output = nullptr;
  const MimeCatalogue* catalogue = nullptr;
  std::unordered_map<int, const MimeMessage*> messages;  // complete, by group
  std::unordered_set<int> done;
  std::unordered_map<std::string, PlainSplit> splits;  // by id
  std::vector<std::string> split_order;  // the ids, first met first
  bool after_from = false;  // the last plain line was an mbox "From " line
};

// Starts the pass with the messages of `catalogue` (none where it is null).
void BeginMimePass(MimePass* pass, PassOutput* output,
                   const MimeCatalogue* catalogue);

// Writes the message of `seg` when it is the first of its articles met.
// Its articles count as processed only when every file was written and
// found sound.
void DecodeMimeSegment(MimePass* pass, Segment* seg);

// A line of plain input: where it begins a MIME message (at the start of an
// input or after an mbox "From " line, a header that makes it MIME, read to
// its empty line before anything is taken), reads the message up to the end
// of the input or its window, or, for a message that an mbox line began, the
// next "From " line after an empty line (that empty line is the
// separator's), and writes its files; false, with nothing read, for any
// other line. A part of a split message is kept (its file held) until all
// its parts are in, in any input of the run, and the joined message is
// written then.
bool DecodeMimePlainLine(MimePass* pass, const PlainLine& line);

// Ends the pass: split messages of plain input that did not come whole are
// listed under "Captions for (file) segments not decoded:".
void EndMimePass(MimePass* pass);

// The header of a split message rebuilt from the header of its first part
// (`outer`) and the joined bodies (`inner`, which begin with the inner
// header): the outer fields but Content-*, Subject, Message-ID, Encrypted
// and MIME-Version, then the inner text.
std::string JoinPartialMessage(std::string_view outer, std::string_view inner);

#endif  // QUILLON_MIME_PASS_H_
