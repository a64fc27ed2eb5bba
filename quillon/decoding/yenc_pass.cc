#include "decoding/yenc_pass.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "catalogue/yenc_part.h"
#include "decoding/crc32.h"
#include "decoding/dosname.h"
#include "decoding/pass_index.h"
#include "decoding/yenc_part_decoder.h"
#include "message.h"

namespace {

// The output file of one posting while its parts are written.
struct YencFile {
  int fd = -1;
  std::string name;  // as the messages show it
  std::string path;  // with the -dest directory
  bool write_failed = false;
  bool parts_good = true;
  uint32_t crc = 0;  // of the good parts so far, in file order
  bool has_crc32 = false;
  uint32_t crc32 = 0;          // what a part's =yend says of the whole file
  bool crc32s_differ = false;  // two parts say different things
};

// The output name of a posting's file, by the rules of uuencoded names.
std::string OutputName(const Pass* pass, const YencPosting& posting) {
  std::string name = posting.records.front().part->name;
  if (!DIR) name = name.substr(name.rfind('/') + 1);
  if (DOS) {
    std::vector<char> buf(name.begin(), name.end());
    buf.resize(name.size() + 2, '\0');
    dosname(buf.data());
    name = buf.data();
  }
  return ClashFreeName(pass, name, posting.group, false, kYencNameMax);
}

void WriteFailed(Pass* pass, YencFile* file) {
  if (file->write_failed) return;
  ErrorLine("quillon: write error on %s\n", file->path.c_str());
  file->write_failed = true;
  pass->outcome.write_error = true;
}

// Decodes one copy of a part into the file; false when its article cannot
// be read.
bool DecodeCopy(Pass* pass, const YencRecord& copy, int fd,
                YencPartResult* result) {
  LineFile in;
  if (!OpenLineFile(&in, copy.seg->path)) {
    ErrorLine("quillon: cannot access file %s\n", copy.seg->path);
    pass->outcome.failed = true;
    return false;
  }
  int64_t limit = maxseek(pass->list, copy.seg, SizeOfLineFile(&in));
  SeekLine(&in, copy.seg->offset);
  *result = DecodeYencPart(&in, limit, *copy.part, fd);
  CloseLineFile(&in);
  return true;
}

// Writes one range from the first of its copies that is good; where none
// is, the last one tried stays in the file.
void WriteRange(Pass* pass, const YencRange& range, YencFile* file) {
  YencFailure failure = YencFailure::kDamaged;
  for (const YencRecord& copy : range.copies) {
    YencPartResult r;
    if (!DecodeCopy(pass, copy, file->fd, &r)) continue;
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
  ReportYencFailure(failure, range.copies.back().part->part, file->name);
  file->parts_good = false;
}

// Opens the posting's output file; false, after the message, when it
// cannot be created.
bool OpenYencFile(Pass* pass, const YencPosting& posting, YencFile* file) {
  file->name = OutputName(pass, posting);
  file->path = CreatePath(file->name.c_str());
  if (!LeavesOutputDir(file->name.c_str()))
    file->fd = CreateOutputFd(file->path.c_str());
  if (file->fd < 0) {
    ErrorLine("quillon: unable to create %s\n", file->path.c_str());
    return false;
  }
  pass->written[file->name] = posting.group;
  if (FMODE) fchmod(file->fd, static_cast<mode_t>(FMODE));
  if (!QUIET) std::printf("yDecoding %s\n", file->name.c_str());
  return true;
}

// Writes the file; true when every part was good and nothing failed.
bool WriteYencFile(Pass* pass, const YencPosting& posting) {
  YencFile file;
  if (!OpenYencFile(pass, posting, &file)) return false;
  for (const YencRange& range : posting.tiling) {
    WriteRange(pass, range, &file);
    if (file.write_failed) break;
  }
  if (close(file.fd) != 0) WriteFailed(pass, &file);
  if (file.write_failed || !file.parts_good) return false;
  if (file.has_crc32 && (file.crc32s_differ || file.crc32 != file.crc)) {
    ErrorLine("quillon: CRC error in %s\n", file.name.c_str());
    return false;
  }
  return true;
}

}  // namespace

void IndexYencPostings(Pass* pass, const std::vector<YencPosting>& postings) {
  for (const YencPosting& posting : postings)
    if (posting.group > 0) pass->yenc_postings[posting.group] = &posting;
}

void DecodeYencPosting(Pass* pass, Segment* seg) {
  if (!pass->yenc_done.insert(seg->group).second) return;
  auto found = pass->yenc_postings.find(seg->group);
  if (found == pass->yenc_postings.end()) return;
  const YencPosting& posting = *found->second;
  if (!WriteYencFile(pass, posting)) {
    pass->outcome.failed = true;
    return;
  }
  for (const YencRecord& r : posting.records) MarkProcessed(r.seg);
  CleanFinished(pass);
}
