#include "yenc/stream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <string_view>

#include "checksum/crc32.h"
#include "yenc/header.h"
#include "yenc/part_decoder.h"

namespace {

constexpr std::string_view kYbegin = "=ybegin ";

bool StartsPart(std::string_view line) {
  return line.substr(0, kYbegin.size()) == kYbegin;
}

// Opens the output file of a name and size the first time a part of it is
// met; reports it when it cannot be created.
YencStreamFile* FileOf(YencStream* s, PassOutput* output,
                       const YencPart& record) {
  auto key = std::make_pair(record.name, record.size);
  auto found = s->index.find(key);
  if (found != s->index.end()) return &s->files[found->second];
  YencStreamFile f;
  f.name = OutputName(*output->options, record.name);
  f.path = CreatePath(*output->options, f.name.c_str());
  f.names.first = f.names.base = f.name;
  f.names.owner = PlainOwner(output);
  f.names.max_length = kYencNameMax;
  f.size = record.size;
  if (StartOutputFile(output, f.names, &f.out))
    fchmod(f.out.fd, NewFileMode(*output));
  s->index.emplace(key, s->files.size());
  s->files.push_back(std::move(f));
  return &s->files.back();
}

// Puts the file in place unless writing it failed, and closes it.
void CloseFile(PassOutput* output, YencStreamFile* f) {
  std::string name;
  if (!f->write_failed && CommitOutputFile(output, &f->out, f->names, &name)) {
    f->name = name;
    Progress(output->reporter, "yDecoding %s\n", name.c_str());
  } else if (!f->write_failed) {
    f->faulty = true;
  }
  DropOutputFile(&f->out);
}

void WriteFailed(PassOutput* output, YencStreamFile* f) {
  if (f->write_failed) return;
  Fail(output->reporter, "quillon: write error on %s\n", f->path.c_str());
  f->write_failed = true;
  f->faulty = true;
  output->outcome.write_error = true;
  output->outcome.failed = true;
}

bool HasGoodCopy(const YencStreamFile& f, const YencPart& record) {
  return f.good_ranges.count({record.begin, record.end}) != 0;
}

void Complete(PassOutput* output, YencStreamFile* f) {
  f->complete = true;
  CloseFile(output, f);
}

// A good part in place. Coverage is looked at only once the parts may
// cover the file, so that a file of many parts costs no square time.
void AddGood(PassOutput* output, YencStreamFile* f,
             const YencStreamRange& range) {
  f->good.push_back(range);
  AddToCover(&f->covered, range.begin, range.end);
  f->good_ranges.insert({range.begin, range.end});
  uint64_t length = range.end - range.begin + 1;
  f->good_bytes =
      length > UINT64_MAX - f->good_bytes ? UINT64_MAX : f->good_bytes + length;
  if (f->good_bytes >= f->size && RangesCoverFile(f->good, f->size))
    Complete(output, f);
}

// Takes in what one part did to its file. A bad part is reported at the
// end, unless a good copy comes in the meantime: the input may hold one
// after it.
void Settle(PassOutput* output, YencStreamFile* f, const YencPart& record,
            const YencPartResult& r) {
  if (r.failure == YencFailure::kWrite) {
    WriteFailed(output, f);
    return;
  }
  // An empty file has no range to place; its part is sound when it ends.
  bool empty = record.size == 0 && r.has_yend && r.decoded == 0;
  bool placed = record.begin >= 1 && record.begin <= record.end &&
                record.end <= record.size;
  YencStreamRange range{record.begin, record.end, r.crc};
  if (placed && r.decoded >= record.end - record.begin + 1)
    f->filled.push_back(range);
  if (r.good || empty) {
    if (r.has_crc32 &&
        std::find(f->crc32.begin(), f->crc32.end(), r.crc32) == f->crc32.end())
      f->crc32.push_back(r.crc32);
    f->good_parts.insert(record.part);
    if (placed) AddGood(output, f, range);
    if (empty) Complete(output, f);
    return;
  }
  YencStreamFailure failure;
  failure.part = record.part;
  failure.failure = r.failure;
  if (placed) {
    failure.begin = record.begin;
    failure.end = record.end;
    failure.spoilt = CoverMeets(f->covered, record.begin, record.end);
  }
  f->failures.push_back(failure);
}

// A bad part is passed over where good parts wrote every byte of its range
// again (they came after it, unless it is spoilt), or, where it wrote
// nothing, a good copy of its part was read.
void ReportFailures(PassOutput* output, YencStreamFile* f) {
  for (const YencStreamFailure& x : f->failures) {
    bool replaced =
        !x.spoilt && (x.begin == 0 ? f->good_parts.count(x.part) != 0
                                   : CoverHolds(f->covered, x.begin, x.end));
    if (replaced) continue;
    ReportYencFailure(output->reporter, x.failure, x.part, f->name);
    f->faulty = true;
    output->outcome.failed = true;
  }
}

// Decodes the data of the part whose header was read into its file. A copy
// of a range that a good copy has filled already, and any part of a complete
// file, is read, not written.
void DecodePart(YencStream* s, PassOutput* output, const PlainLine& line,
                const YencPart& record, std::string* stop) {
  YencStreamFile* f = FileOf(s, output, record);
  bool known = HasGoodCopy(*f, record);
  int fd = f->write_failed || known ? -1 : f->out.fd;
  YencPartResult r = DecodeYencBody(line.in, line.limit, record, fd, stop);
  if (line.seg) {
    HoldFile(output, line.seg);
    f->held.push_back(line.seg);
  }
  if (f->out.fd >= 0 && !f->write_failed && !known)
    Settle(output, f, record, r);
}

// Reports a file that is short or whose CRC is wrong, and closes it; true
// when it came out whole and sound.
bool JudgeFile(PassOutput* output, YencStreamFile* f) {
  if (f->out.fd < 0 && !f->complete) return false;
  // Put in place first, so that every report names it as it is called.
  if (!f->complete) CloseFile(output, f);
  ReportFailures(output, f);
  if (!f->write_failed && !RangesCoverFile(f->filled, f->size)) {
    // The progress line is all that is said, but the run has failed.
    Progress(output->reporter, "Short file\n");
    output->reporter->failed = true;
    f->faulty = true;
    output->outcome.failed = true;
  }
  // Every part read was good and in place here; the CRCs of a set of parts
  // that overlap cannot be combined, and that file goes unchecked.
  uint32_t crc = 0;
  if (!f->faulty && !f->crc32.empty() &&
      CombinedFileCrc(f->good, f->size, &crc) &&
      (f->crc32.size() > 1 || f->crc32[0] != crc)) {
    Fail(output->reporter, "quillon: CRC error in %s\n", f->name.c_str());
    f->faulty = true;
    output->outcome.failed = true;
  }
  return !f->faulty;
}

}  // namespace

bool DecodeYencStream(YencStream* stream, PassOutput* output,
                      const PlainLine& line) {
  if (!line.line_start || !StartsPart(line.text)) return false;
  YencPart record;
  if (!ReadYencHeader(line.in, line.text, 0, &record)) return false;
  std::string stop;
  while (true) {
    DecodePart(stream, output, line, record, &stop);
    // A part without =yend that ran into the next part's header.
    if (!StartsPart(stop)) return true;
    std::string header = std::move(stop);
    if (!ReadYencHeader(line.in, header, 0, &record)) return true;
  }
}

void EndYencStream(YencStream* stream, PassOutput* output) {
  bool cleaned = false;
  for (YencStreamFile& f : stream->files) {
    // A pass cut short puts nothing more in place; the inputs of the
    // files still open stay for the next run.
    if (output->outcome.article_unreadable) {
      DropOutputFile(&f.out);
      continue;
    }
    if (!JudgeFile(output, &f)) continue;
    for (const Segment* s : f.held) ReleaseFile(output, s);
    cleaned = cleaned || !f.held.empty();
  }
  if (cleaned) CleanFinished(output);
}

void AddToCover(YencCover* cover, uint64_t begin, uint64_t end) {
  auto at = cover->upper_bound(begin);
  if (at != cover->begin() && std::prev(at)->second >= begin - 1) {
    --at;
    begin = at->first;
    end = std::max(end, at->second);
    at = cover->erase(at);
  }
  // Ranges that begin within begin..end + 1 join it.
  while (at != cover->end() && at->first - 1 <= end) {
    end = std::max(end, at->second);
    at = cover->erase(at);
  }
  cover->emplace(begin, end);
}

bool CoverMeets(const YencCover& cover, uint64_t begin, uint64_t end) {
  auto at = cover.upper_bound(end);
  return at != cover.begin() && std::prev(at)->second >= begin;
}

bool CoverHolds(const YencCover& cover, uint64_t begin, uint64_t end) {
  auto at = cover.upper_bound(begin);
  return at != cover.begin() && std::prev(at)->second >= end;
}

bool RangesCoverFile(std::vector<YencStreamRange> ranges, uint64_t size) {
  std::sort(ranges.begin(), ranges.end(),
            [](const YencStreamRange& a, const YencStreamRange& b) {
              return a.begin < b.begin;
            });
  uint64_t through = 0;  // the bytes 1..through are covered
  for (const YencStreamRange& r : ranges) {
    if (through >= size) break;
    if (r.begin == 0 || r.begin - 1 > through) return false;
    through = std::max(through, r.end);
  }
  return through >= size;
}

bool CombinedFileCrc(std::vector<YencStreamRange> ranges, uint64_t size,
                     uint32_t* crc) {
  std::stable_sort(ranges.begin(), ranges.end(),
                   [](const YencStreamRange& a, const YencStreamRange& b) {
                     return a.begin != b.begin ? a.begin < b.begin
                                               : a.end < b.end;
                   });
  uint64_t through = 0;
  uint32_t sum = 0;
  for (size_t i = 0; i < ranges.size(); ++i) {
    const YencStreamRange& r = ranges[i];
    if (i > 0 && r.begin == ranges[i - 1].begin && r.end == ranges[i - 1].end)
      continue;
    if (r.begin != through + 1 || r.end < r.begin) return false;
    sum = through == 0 ? r.crc : Crc32Combine(sum, r.crc, r.end - r.begin + 1);
    through = r.end;
  }
  if (through != size) return false;
  *crc = sum;
  return true;
}
