#include "decoding/yenc_header.h"

#include <climits>
#include <cstdint>
#include <string>

#include "decoding/yenc_part_decoder.h"
#include "decoding/ykeyword.h"

bool YencPartFromLines(std::string_view ybegin, std::string_view ypart,
                       int subject_total, YencPart* record) {
  Ybegin b;
  if (!ParseYbegin(ybegin, &b) || b.part > INT_MAX || b.total > INT_MAX)
    return false;
  record->name = b.name;
  record->size = b.size;
  record->part = b.part == 0 ? 1 : static_cast<int>(b.part);
  record->total = b.total != 0        ? static_cast<int>(b.total)
                  : subject_total > 0 ? subject_total
                                      : -1;
  record->begin = record->end = 0;
  Ypart p;
  if (b.part == 0) {
    record->begin = 1;
    record->end = b.size;
  } else if (ypart.substr(0, 7) == "=ypart " && ParseYpart(ypart, b.size, &p)) {
    record->begin = p.begin;
    record->end = p.end;
  }
  return true;
}

bool ReadYencHeader(LineFile* in, std::string_view first, int subject_total,
                    YencPart* record) {
  std::string ybegin(first);
  if (!ReadRestOfLine(in, &ybegin)) return false;
  Ybegin b;
  if (!ParseYbegin(ybegin, &b)) return false;
  std::string ypart;
  char buf[120];
  if (b.part != 0 && ReadLine(in, buf, sizeof buf)) {
    ypart.assign(buf, in->length);
    if (!ReadRestOfLine(in, &ypart)) ypart.clear();
  }
  return YencPartFromLines(ybegin, ypart, subject_total, record);
}
