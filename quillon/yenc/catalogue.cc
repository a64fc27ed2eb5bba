#include "yenc/catalogue.h"

#include "text.h"
#include "yenc/header.h"

bool DetectYencPart(YencCatalogue* catalogue, const ArticleLine& line,
                    Segment* seg) {
  if (StartsWith(line.text, "From: "))
    catalogue->address = YencPosterAddress(line.text + 6);
  if (line.subject.empty() || !line.line_start ||
      !StartsWith(line.text, "=ybegin "))
    return false;
  YencPart part;
  if (!ReadYencHeader(line.in, line.text, YencSubjectTotal(line.subject),
                      &part))
    return false;
  auto& ids = catalogue->address_ids;
  part.poster =
      ids.try_emplace(catalogue->address, static_cast<int>(ids.size()) + 1)
          .first->second;
  KeepYencPart(catalogue, seg, part);
  seg->part = part.part;
  seg->total = part.total;
  return true;
}

void KeepYencPart(YencCatalogue* catalogue, Segment* seg,
                  const YencPart& part) {
  seg->encoding = {Encoding::kYenc,
                   static_cast<uint32_t>(catalogue->parts.size())};
  catalogue->parts.push_back(part);
  catalogue->segments.push_back(seg);
}

const YencPart& YencPartOf(const YencCatalogue& catalogue, const Segment* seg) {
  return catalogue.parts[seg->encoding.record];
}

void GroupYencPostings(YencCatalogue* catalogue, int* counter) {
  std::vector<YencRecord> records;
  records.reserve(catalogue->segments.size());
  for (size_t i = 0; i < catalogue->segments.size(); ++i)
    records.push_back({catalogue->segments[i], &catalogue->parts[i]});
  catalogue->postings = FindYencPostings(records, counter);
}

void UnplacedYencSegments(const YencCatalogue& catalogue,
                          std::vector<Segment*>* out) {
  for (Segment* s : catalogue.segments)
    if (s->group == -1) out->push_back(s);
}

void YencDecodeOrder(const YencCatalogue& catalogue,
                     std::vector<Segment*>* out) {
  for (const YencPosting& posting : catalogue.postings)
    for (const YencRecord& r : posting.records) out->push_back(r.seg);
}
