// MIME's records of one run: the articles the scan found MIME, and the
// messages they make once grouped (an article of its own, or the articles
// of one message/partial id).
#ifndef QUILLON_MIME_CATALOGUE_H_
#define QUILLON_MIME_CATALOGUE_H_

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "decoding/encoding.h"
#include "mime/header.h"
#include "quillon.h"
#include "reporter.h"

struct MimeArticle {
  bool partial = false;  // a part of a message/partial message
  MimePartial part;      // its id, number and total
  // Where its header run begins: the segment's offset is the scan's, which
  // under -extended may lie before it.
  int64_t start = 0;
};

// A message to decode: one article, or the parts of a split message in
// number order (a duplicate part behind them, not read).
struct MimeMessage {
  std::vector<Segment*> parts;
  std::vector<int64_t> starts;  // where each part's header begins
  std::vector<Segment*> duplicates;
  int group = -1;
};

struct MimeCatalogue {
  // The store: a MIME segment carries article number seg->encoding.record,
  // and segments[n] is the segment of articles[n], in reading order.
  std::deque<MimeArticle> articles;
  std::vector<Segment*> segments;
  std::vector<MimeMessage> messages;  // once grouped, by their first article
  // The header run being read: where it began, and whether a header may
  // begin (the start of a file or of an article, an mbox "From " line or a
  // batch's "#! rnews " line) rather than a body go on.
  bool collecting = false;  // a run of fields is being read
  // Its text as read. Most runs are a news article's own header without a
  // MIME field: the text is taken as a header only at the run's end, and
  // only when one of its fields is named "Content-...". A run too long to
  // keep is taken into `header` as it goes.
  std::string run;
  bool content_field = false;
  bool taken = false;  // `header` holds the run
  MimeHeader header;
  bool armed = true;
  int64_t header_start = 0;
  int64_t last_end = -1;
  std::string subject;  // of the article being read
};

// Whether a line is a header field: "Name:" with no blank in the name.
bool IsMimeFieldLine(std::string_view line);

// Reads the header of each article along; at the empty line that ends it
// (after the Subject line) the article is claimed when its header makes it
// MIME: its record joins the store, `seg` carries it (its part and total
// those of message/partial, else 1 of 1).
bool DetectMimeArticle(MimeCatalogue* catalogue, const ArticleLine& line,
                       Segment* seg);

// Makes the messages: each complete one takes a group number from
// `*counter` on. Split messages whose parts disagree on their total are
// reported, and stay incomplete.
void GroupMimeMessages(MimeCatalogue* catalogue, int* counter,
                       Reporter* reporter);

// Appends the segments that no message took, in reading order.
void UnplacedMimeSegments(const MimeCatalogue& catalogue,
                          std::vector<Segment*>* out);

// Appends every segment in decode order: message by message, each in the
// order of its parts.
void MimeDecodeOrder(const MimeCatalogue& catalogue,
                     std::vector<Segment*>* out);

#endif  // QUILLON_MIME_CATALOGUE_H_
