#include "yenc/pass.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "checksum/crc32.h"
#include "yenc/part.h"
#include "yenc/part_decoder.h"

namespace {

// The output file of one posting while its parts are written.
struct YencFile {
  OutputFile out;
  NameSearch names;
  std::string name;  // as the messages show it: the first name until placed
  std::string path;  // of the first name, with the -dest directory
  bool write_failed = false;
  bool parts_good = true;
  uint32_t crc = 0;  // of the good parts so far, in file order
  bool has_crc32 = false;
  uint32_t crc32 = 0;          // what a part's =yend says of the whole file
  bool crc32s_differ = false;  // two parts say different things
  // Parts without a good copy, reported once the file has its name.
  std::vector<std::pair<YencFailure, int>> bad_parts;
};

// The names of a posting's file, by the rules of uuencoded names.
NameSearch NamesOf(const Options& options, const YencPosting& posting) {
  std::string name = OutputName(options, posting.records.front().part->name);
  NameSearch names;
  names.base = name;
  names.owner = posting.group;
  names.max_length = kYencNameMax;
  names.first = name;
  return names;
}

void WriteFailed(YencPass* pass, YencFile* file) {
  if (file->write_failed) return;
  Fail(pass->output->reporter, "quillon: write error on %s\n",
       file->path.c_str());
  file->write_failed = true;
  pass->output->outcome.write_error = true;
}

// Decodes one copy of a part into the file; false when its article cannot
// be read.
bool DecodeCopy(YencPass* pass, const YencRecord& copy, int fd,
                YencPartResult* result) {
  LineFile in;
  if (!OpenLineFileAt(&in, copy.seg->path, copy.seg->offset)) {
    Fail(pass->output->reporter, "quillon: cannot access file %s\n",
         copy.seg->path);
    pass->output->outcome.failed = true;
    return false;
  }
  int64_t limit =
      maxseek(*pass->output, pass->output->list, copy.seg, SizeOfLineFile(&in));
  *result = DecodeYencPart(&in, limit, *copy.part, fd);
  CloseLineFile(&in);
  return true;
}

void ReportParts(Reporter* reporter, const YencFile& file) {
  for (const auto& [failure, part] : file.bad_parts)
    ReportYencFailure(reporter, failure, part, file.name);
}

// Writes one range from the first of its copies that is good; where none
// is, the last one tried stays in the file.
void WriteRange(YencPass* pass, const YencRange& range, YencFile* file) {
  YencFailure failure = YencFailure::kDamaged;
  for (const YencRecord& copy : range.copies) {
    YencPartResult r;
    if (!DecodeCopy(pass, copy, file->out.fd, &r)) continue;
    if (r.failure == YencFailure::kWrite) {
      WriteFailed(pass, file);
      return;
    }
    if (!r.good) {
      failure = r.failure;
      continue;
    }
    file->crc = Crc32Combine(file->crc, r.crc, r.decoded);
    if (r.has_crc32) {
      if (file->has_crc32 && file->crc32 != r.crc32) file->crc32s_differ = true;
      file->has_crc32 = true;
      file->crc32 = r.crc32;
    }
    return;
  }
  file->bad_parts.emplace_back(failure, range.copies.back().part->part);
  file->parts_good = false;
}

// Opens the posting's output file; false, after the message, when it
// cannot be created.
bool OpenYencFile(YencPass* pass, const YencPosting& posting, YencFile* file) {
  file->names = NamesOf(*pass->output->options, posting);
  file->name = file->names.first;
  file->path = CreatePath(*pass->output->options, file->name.c_str());
  if (!StartOutputFile(pass->output, file->names, &file->out)) return false;
  fchmod(file->out.fd, NewFileMode(*pass->output));
  return true;
}

// Writes the file and puts it in place; true when every part was good and
// nothing failed.
bool WriteYencFile(YencPass* pass, const YencPosting& posting) {
  YencFile file;
  if (!OpenYencFile(pass, posting, &file)) return false;
  for (const YencRange& range : posting.tiling) {
    WriteRange(pass, range, &file);
    if (file.write_failed) break;
  }
  std::string name;
  bool placed = !file.write_failed &&
                CommitOutputFile(pass->output, &file.out, file.names, &name);
  DropOutputFile(&file.out);
  if (placed) {
    file.name = name;
    Progress(pass->output->reporter, "yDecoding %s\n", name.c_str());
  }
  ReportParts(pass->output->reporter, file);
  if (!placed || !file.parts_good) return false;
  if (file.has_crc32 && (file.crc32s_differ || file.crc32 != file.crc)) {
    Fail(pass->output->reporter, "quillon: CRC error in %s\n",
         file.name.c_str());
    return false;
  }
  return true;
}

}  // namespace

void BeginYencPass(YencPass* pass, PassOutput* output,
                   const YencCatalogue* catalogue) {
  pass->output = output;
  if (!catalogue) return;
  for (const YencPosting& posting : catalogue->postings)
    if (posting.group > 0) pass->postings[posting.group] = &posting;
}

void DecodeYencSegment(YencPass* pass, Segment* seg) {
  if (!pass->done.insert(seg->group).second) return;
  auto found = pass->postings.find(seg->group);
  if (found == pass->postings.end()) return;
  const YencPosting& posting = *found->second;
  if (!WriteYencFile(pass, posting)) {
    pass->output->outcome.failed = true;
    return;
  }
  for (const YencRecord& r : posting.records)
    MarkProcessed(pass->output, r.seg);
  CleanFinished(pass->output);
}

bool DecodeYencPlainLine(YencPass* pass, const PlainLine& line) {
  return DecodeYencStream(&pass->stream, pass->output, line);
}

void EndYencPass(YencPass* pass) { EndYencStream(&pass->stream, pass->output); }
