#include "driver/encodings.h"

#include <vector>

#include "catalogue/grouping.h"
#include "decoding/decode.h"
#include "decoding/line_file.h"
#include "mime/pass.h"
#include "yenc/pass.h"

bool DetectEncoding(Encodings* encodings, const ArticleLine& line,
                    Segment* seg) {
  return DetectYencPart(&encodings->yenc, line, seg) ||
         DetectMimeArticle(&encodings->mime, line, seg);
}

namespace {

// Links `segments` behind the end of the list at `*head`.
void AppendSegments(Segment** head, const std::vector<Segment*>& segments) {
  Segment** link = head;
  while (*link) link = &(*link)->next;
  for (Segment* s : segments) {
    *link = s;
    link = &s->next;
  }
  *link = nullptr;
}

}  // namespace

void SortFiles(Segment** head, Encodings* encodings, Reporter* reporter) {
  int counter = 1;
  GroupFiles(*head, &counter);
  GroupYencPostings(&encodings->yenc, &counter);
  GroupMimeMessages(&encodings->mime, &counter, reporter);
  std::vector<Segment*> unplaced;
  UnplacedYencSegments(encodings->yenc, &unplaced);
  UnplacedMimeSegments(encodings->mime, &unplaced);
  FinishSort(head, unplaced, counter - 1, reporter);
  std::vector<Segment*> order;
  YencDecodeOrder(encodings->yenc, &order);
  MimeDecodeOrder(encodings->mime, &order);
  AppendSegments(head, order);
}

namespace {

// The records of one pass: what the encodings share, and each one's own.
struct Passes {
  PassOutput output;
  UuPass uu;
  YencPass yenc;
  MimePass mime;
};

// Plain input is read by the uuencoded pass; a line that begins a part of
// another encoding goes to that encoding's stream.
void DecodePlainLines(Passes* p, Segment* seg, LineFile* in, int64_t limit) {
  while (NextUuLine(&p->uu, seg, in, limit)) {
    PlainLine line{.text = {p->uu.line, in->length},
                   .line_start = p->uu.line_start,
                   .seg = seg,
                   .in = in,
                   .limit = limit};
    if (DecodeYencPlainLine(&p->yenc, line)) continue;
    if (DecodeMimePlainLine(&p->mime, line)) continue;
    if (!HandleUuLine(&p->uu, seg, in)) return;
  }
}

void DecodeSegment(Passes* p, Segment* seg) {
  // What no file took is text for the -errors file, whatever it carries.
  if (seg->encoding.kind == Encoding::kUuencoded || seg->group <= 0) {
    if (!IsPlainSegment(seg)) {
      DecodeUuSegment(&p->uu, seg);
      return;
    }
    int64_t limit = -1;
    LineFile* in = OpenUuSegment(&p->uu, seg, &limit);
    if (!in) return;
    DecodePlainLines(p, seg, in, limit);
    EndUuSegment(&p->uu, seg);
    return;
  }
  // The segments of other encodings come after every uuencoded one.
  EndUuFile(&p->uu);
  switch (seg->encoding.kind) {
    case Encoding::kYenc:
      DecodeYencSegment(&p->yenc, seg);
      break;
    case Encoding::kMime:
      DecodeMimeSegment(&p->mime, seg);
      break;
    case Encoding::kUuencoded:
      break;
  }
}

DecodeOutcome RunPass(Segment* list, bool pass_over_directories,
                      const Encodings* encodings, const Options& options,
                      Records* records, Reporter* reporter,
                      const PassWays& ways) {
  Print(reporter, "\n");
  Passes p;
  p.uu.fast_paths = ways.fast_paths;
  BeginOutput(&p.output, list, options, records, reporter, ways);
  BeginUuPass(&p.uu, &p.output, pass_over_directories);
  BeginYencPass(&p.yenc, &p.output, encodings ? &encodings->yenc : nullptr);
  BeginMimePass(&p.mime, &p.output, encodings ? &encodings->mime : nullptr);
  if (!list) {
    LineFile in;
    UseStdin(&in);
    DecodePlainLines(&p, nullptr, &in, -1);
  }
  for (Segment* s = list; s && !p.output.outcome.article_unreadable;
       s = s->next)
    DecodeSegment(&p, s);
  EndUuPass(&p.uu);
  EndYencPass(&p.yenc);
  EndMimePass(&p.mime);
  EndOutput(&p.output);
  return p.output.outcome;
}

}  // namespace

DecodeOutcome decode(Segment* list, const Encodings& encodings,
                     const Options& options, Records* records,
                     Reporter* reporter, const PassWays& ways) {
  return RunPass(list, false, &encodings, options, records, reporter, ways);
}

DecodeOutcome decode(Segment* list, const Options& options, Records* records,
                     Reporter* reporter, const PassWays& ways) {
  return RunPass(list, false, nullptr, options, records, reporter, ways);
}

DecodeOutcome decode_p(Segment** head, int first, int end, char** argv,
                       const Options& options, Records* records,
                       Reporter* reporter, bool pass_over_directories,
                       const PassWays& ways) {
  MakePlainList(records, head, first, end, argv);
  return RunPass(*head, pass_over_directories, nullptr, options, records,
                 reporter, ways);
}
