// A MIME header block and what its fields say: the fields as read, lines
// fed one by one as the scan reads them; Content-Type and
// Content-Disposition with their parameters (RFC 2045, 2183, 2231 and
// encoded words of RFC 2047 in names); the transfer encoding; whether an
// article is MIME; the id, number and total of message/partial.
// Plain records and free functions: no I/O, nothing global.
#ifndef QUILLON_MIME_HEADER_H_
#define QUILLON_MIME_HEADER_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The raw text a header keeps at most. A field that does not fit, and every
// field after it, is dropped (`dropped` tells), so that an article with a
// huge header costs no more than this.
inline constexpr size_t kMimeHeaderMax = 64 * 1024;

// One field of a header.
struct MimeField {
  std::string name;   // as written, without the colon and blanks before it
  std::string value;  // after the colon and its blanks; folds joined by
                      // dropping their line ends, blanks kept
  std::string raw;    // every line of the field as read, line ends included
};

struct MimeHeader {
  std::vector<MimeField> fields;  // in reading order
  bool ended = false;    // its empty line, or the end of the text, was read
  bool dropped = false;  // a field did not fit in kMimeHeaderMax
  // Reading state.
  std::string line;       // the line read so far, until its LF
  size_t size = 0;        // raw text kept
  bool folding = false;   // the last field may take continuation lines
  bool skipping = false;  // the rest of a line that did not fit is dropped
};

// Takes `text`, a piece of a header as read: pieces of one line come one
// after another (a line ends at LF), and a piece may hold several lines. The
// header ends at its first empty line ("\n" or "\r\n"). Returns how many
// bytes of `text` it took: all of them while the header goes on, up to and
// including the empty line where it ends there, none once it has ended.
// Lines that are neither a field ("Name:" and no blank in the name) nor the
// continuation of one (beginning with a blank) are skipped.
size_t AddHeaderText(MimeHeader* header, std::string_view text);

// Ends a header at the end of its text: a last line without LF is taken.
void EndHeader(MimeHeader* header);

// The first field of that name (ASCII case ignored); null where none.
const MimeField* FindMimeField(const MimeHeader& header, std::string_view name);

// The value of that field without blanks at its ends; empty where none.
std::string_view MimeFieldValue(const MimeHeader& header,
                                std::string_view name);

struct MimeParameter {
  std::string name;  // lower case; without RFC 2231 sections and marks
  // Quotes and escapes undone. RFC 2231 values joined from their sections
  // and percent-decoded, the bytes in the charset they name (not recoded).
  std::string value;
  bool extended = false;  // from the RFC 2231 form
};

// A Content-Type or Content-Disposition value.
struct MimeContent {
  std::string type;     // lower case: "multipart", or "attachment"
  std::string subtype;  // lower case: "mixed"; empty for a disposition
  // Each name once: of a name's forms, the RFC 2231 ones ("name*=",
  // "name*0=", "name*1*=" ...) before the plain one; of duplicates the first.
  std::vector<MimeParameter> parameters;
};

// The parameters follow the type after ";" (missing semicolons tolerated);
// comments in parentheses and blanks around tokens are skipped. A value is a
// quoted string (an unterminated one runs to the end), else the text up to
// ";" or the next "name=", trimmed (so unquoted names with blanks stay
// whole), less a trailing comment where only blanks come before it.
MimeContent ParseContentType(std::string_view value);
MimeContent ParseContentDisposition(std::string_view value);

// The value of a parameter (name in lower case); null where none.
const std::string* FindMimeParameter(const MimeContent& content,
                                     std::string_view name);

// `text` with its RFC 2047 encoded words ("=?charset?B?...?=" and "?Q?")
// decoded, the bytes in their charset; blanks between two encoded words are
// dropped. A word that does not decode stays as written.
std::string DecodeEncodedWords(std::string_view text);

// The file name of a part: "filename" of its Content-Disposition, else
// "name" of its Content-Type (each in its RFC 2231 form before its plain
// one); encoded words of a plain form decoded. Empty where neither gives one.
std::string MimeFileName(const MimeContent& disposition,
                         const MimeContent& type);

enum class MimeEncoding {
  kSevenBit,  // also where the field is missing or empty
  kEightBit,
  kBinary,
  kBase64,
  kQuotedPrintable,
  kUuencode,  // x-uuencode, uuencode, x-uue, uue
  kUnknown,
};

struct MimeTransferEncoding {
  MimeEncoding encoding = MimeEncoding::kSevenBit;
  std::string text;  // the value as written (for messages), blanks trimmed
};

// A Content-Transfer-Encoding value; case ignored, comments skipped.
MimeTransferEncoding ParseTransferEncoding(std::string_view value);

// Whether an article with this header is MIME: a Content-Type of
// multipart/* with a boundary, message/partial or message/rfc822, or a
// Content-Transfer-Encoding of base64 or quoted-printable.
bool IsMimeArticle(const MimeHeader& header);

// The parameters of a message/partial part.
struct MimePartial {
  std::string id;
  int number = 0;  // 1 on
  int total = -1;  // -1 where not given (or not a number above 0)
};

// False where `type` is not message/partial, has no id, or no number that
// is a decimal from 1 to INT_MAX.
bool ParseMimePartial(const MimeContent& type, MimePartial* partial);

#endif  // QUILLON_MIME_HEADER_H_
