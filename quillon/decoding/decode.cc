#include "decoding/decode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "decoding/dosname.h"
#include "decoding/line_file.h"
#include "decoding/uuline.h"

namespace {

// Begin text of plain-mode segments: every begin line starts a file, and it
// is never overwritten with MARKER nor converted to a DOS name. The spare
// bytes keep it a valid begin block.
char kPlainBegin[3] = {'\\', '\0', '\0'};

// Reported once per file; the run goes on, but ends with status 1.
void WriteFailed(UuPass* pass) {
  if (pass->out_failed) return;
  Fail(pass->output->reporter, "quillon: write error on %s\n",
       pass->out_path.c_str());
  pass->out_failed = true;
  pass->output->outcome.write_error = true;
  pass->output->outcome.failed = true;
}

void Decode(UuPass* pass, const char* line) {
  if (pass->out_failed) return;
  decline(line, pass->out);
  pass->data = true;
  if (ferror_unlocked(pass->out)) WriteFailed(pass);
}

void WriteRun(UuPass* pass, size_t count) {
  fwrite_unlocked(pass->run_bytes.data(), 1, count, pass->out);
  if (ferror_unlocked(pass->out)) WriteFailed(pass);
}

// Puts the open file in place: `complete` when its end line was read, else
// it is a short file. The segments waiting for it are settled here: data
// counts as written only once the file has its name; a short file keeps
// those whose data lines are in it from being processed.
void CloseOutput(UuPass* pass, bool complete) {
  if (!pass->out_failed && std::fflush(pass->out) != 0) WriteFailed(pass);
  std::string name;
  bool placed =
      !pass->out_failed &&
      CommitOutputFile(pass->output, &pass->out_file, pass->out_names, &name);
  std::fclose(pass->out);
  pass->out = nullptr;
  pass->out_file.fd = -1;
  DropOutputFile(&pass->out_file);
  Reporter* reporter = pass->output->reporter;
  if (placed) Progress(reporter, "UUdecoding %s\n", name.c_str());
  if (!complete) {
    Progress(reporter, "Short file\n");
    if (placed) Fail(reporter, "quillon: short file %s\n", name.c_str());
    pass->output->outcome.failed = true;
  }
  bool processed = false;
  if (!placed) {
    if (pass->fed) pass->lost = true;
  } else {
    if (!complete && pass->data) pass->lost = true;
    for (const Waiting& w : pass->waiting) {
      if (complete || !w.data) {
        MarkProcessed(pass->output, w.seg);
        processed = true;
      }
    }
  }
  if (processed) CleanFinished(pass->output);
  pass->waiting.clear();
  pass->out_failed = false;
  pass->fed = false;
  pass->data = false;
}

void ShortFile(UuPass* pass) { CloseOutput(pass, false); }

// The file still open when the pass is cut short: it is neither complete
// nor closed as a short file, so nothing of it is put in place.
void DropOutput(UuPass* pass) {
  std::fclose(pass->out);
  pass->out = nullptr;
  pass->out_file.fd = -1;
  DropOutputFile(&pass->out_file);
  pass->waiting.clear();
}

// The current line enters the history; the next line is read into the slot
// that neither history line holds.
void Remember(UuPass* pass) {
  History* h = &pass->history;
  h->older = h->newer;
  h->newer = pass->line;
  for (char* slot : pass->slots) {
    if (slot != h->older && slot != h->newer) {
      pass->line = slot;
      return;
    }
  }
}

// The end line: the last short data line and the terminator line are still
// in the history, full lines were written when they were read.
void FinishFile(UuPass* pass) {
  History* h = &pass->history;
  if (h->older && !uuline(h->older)) Decode(pass, h->older);
  if (h->newer && !uuline(h->newer)) Decode(pass, h->newer);
  CloseOutput(pass, true);
}

// A begin string that reads MARKER starts a file again only for a group
// that has not started it yet: another posting of the same name.
bool StartedElsewhere(const UuPass* pass, const Segment* seg) {
  auto found = pass->started.lower_bound({seg->begin, INT_MIN});
  return found != pass->started.end() && found->first == seg->begin &&
         !pass->started.count({seg->begin, seg->group});
}

bool StartsFile(const UuPass* pass, const Segment* seg, const char* line) {
  if (!bline(line)) return false;
  if (!seg) return true;
  if (!seg->begin) return false;
  return std::strcmp(seg->begin, MARKER) != 0 || StartedElsewhere(pass, seg);
}

// Opens the output file's temporary file like fopen "wb".
bool CreateOutput(UuPass* pass) {
  if (!StartOutputFile(pass->output, pass->out_names, &pass->out_file))
    return false;
  pass->out = fdopen(pass->out_file.fd, "wb");
  if (pass->out) return true;
  Fail(pass->output->reporter, "quillon: unable to create %s\n",
       pass->out_path.c_str());
  pass->output->outcome.failed = true;
  DropOutputFile(&pass->out_file);
  return false;
}

// The names the output file of the begin line in pass->name may take. A
// name that another group's file has taken is passed over when the file is
// put in place, so the search starts at the name itself: a file left there
// by an earlier run with the same bytes is then found whatever the order of
// the groups. Under -dos a begin string started by another group starts at
// the first numbered name not taken, as DOS names are numbered by use.
// Every plain file is a file of its own.
NameSearch NamesOf(UuPass* pass, const Segment* seg, bool plain,
                   const std::string& base) {
  NameSearch names;
  names.base = base;
  if (plain) {
    names.owner = PlainOwner(pass->output);
    names.first = pass->name;
    return names;
  }
  names.owner = seg->group;
  names.first = pass->name;
  if (pass->output->options->DOS && std::strcmp(seg->begin, MARKER) == 0)
    names.first = FreeNumberedName(pass->output, pass->name, kLineSize - 1);
  return names;
}

// Opens the output file of the begin line in pass->line. False when the
// line names no file (it is then an ordinary line); `*failed` when the file
// could not be created.
bool OpenOutput(UuPass* pass, Segment* seg, LineFile* in, bool* failed) {
  CompleteBeginLine(pass->line, in);
  if (ReadBline(pass->line, &pass->mode, pass->name) <= 0) return false;
  if (pass->out) ShortFile(pass);
  const Options& options = *pass->output->options;
  if (!options.DIR) BaseName(pass->name);
  bool plain = !seg || seg->begin == kPlainBegin;
  // Plain input and standard input are converted but never numbered by
  // the catalogue.
  if (options.DOS) dosname(pass->name);
  std::string base = pass->name;
  if (options.DOS && !plain)
    checkname(&pass->names, pass->output->list, pass->name);
  pass->out_names = NamesOf(pass, seg, plain, base);
  pass->out_path = CreatePath(options, pass->out_names.first.c_str());
  if (!CreateOutput(pass)) {
    pass->create_failed = true;
    pass->lost = true;
    *failed = true;
    return true;
  }
  if (!pass->out_buffer)
    pass->out_buffer = std::make_unique_for_overwrite<char[]>(kOutBuffer);
  std::setvbuf(pass->out, pass->out_buffer.get(), _IOFBF, kOutBuffer);
  pass->create_failed = false;
  pass->fed = true;
  pass->data = false;
  pass->history = History();
  if (!plain) {
    pass->started.insert({seg->begin, seg->group});
    std::strcpy(seg->begin, MARKER);
  }
  // A posted file never becomes set-user-id, set-group-id or sticky.
  int mode = options.FMODE ? options.FMODE : pass->mode & 0777;
  fchmod(pass->out_file.fd, static_cast<mode_t>(mode));
  return true;
}

// Most lines are full data lines of an open file: they neither begin nor
// end it and are written at once. False for every other line.
bool DecodeFullLine(UuPass* pass, const LineFile* in) {
  if (!pass->out || pass->out_failed) return false;
  if (!DeclineFull(pass->line, in->length, pass->out)) return false;
  if (ferror_unlocked(pass->out)) WriteFailed(pass);
  pass->fed = true;
  pass->data = true;
  Remember(pass);
  return true;
}

bool InWindow(LineFile* in, int64_t limit) {
  return limit < 0 || TellLine(in) < limit;
}

// The full data lines that lie whole in the input buffer, up to the first
// other line, are decoded where they lie: no copy, test and write per line.
// Each is handled as HandleUuLine would handle it. The last two enter the
// history, as the end line looks back on them.
void DecodeFullRun(UuPass* pass, LineFile* in, int64_t limit) {
  std::string_view text = BufferedInput(in);
  const char* last[2] = {nullptr, nullptr};
  size_t last_length[2] = {0, 0};
  unsigned char* bytes = pass->run_bytes.data();
  size_t count = 0;
  while (InWindow(in, limit)) {
    size_t length = DecodeFullLineAt(text, bytes + count);
    if (length == 0) break;
    last[0] = last[1];
    last[1] = text.data();
    last_length[0] = last_length[1];
    last_length[1] = length;
    count += 45;
    text.remove_prefix(length);
    TakeInput(in, length);
    if (count + 45 > kRunBytes) {
      WriteRun(pass, count);
      count = 0;
      if (pass->out_failed) break;
    }
  }
  if (!last[1]) return;
  if (count) WriteRun(pass, count);
  pass->fed = true;
  pass->data = true;
  for (int i = 0; i < 2; ++i) {
    if (!last[i]) continue;
    std::memcpy(pass->line, last[i], last_length[i]);
    pass->line[last_length[i]] = '\0';
    Remember(pass);
  }
}

// The file still open at the end of the pass is a short file. A pass cut
// short by an unreadable article drops it: its segments were not
// processed, so their articles are all still there for the next run.
void EndLastFile(UuPass* pass) {
  if (pass->output->outcome.article_unreadable) {
    DropOutput(pass);
  } else {
    ShortFile(pass);
  }
}

}  // namespace

void BeginUuPass(UuPass* pass, PassOutput* output, bool pass_over_directories) {
  pass->output = output;
  pass->pass_over_directories = pass_over_directories;
  const Options& options = *output->options;
  if (options.DOS) {
    for (Segment* s = output->list; s; s = s->next) {
      if (s->begin && s->begin != kPlainBegin) dosname(s->begin);
    }
    BeginNameIndex(&pass->names, output->records, output->list);
  }
  pass->err = GetFilePtr(options.ERRFILE, output->reporter);
  if (options.ERRFILE && !pass->err) output->outcome.failed = true;
}

void EndUuPass(UuPass* pass) {
  CloseLineFile(&pass->in);
  pass->in_path = nullptr;
  if (pass->out) EndLastFile(pass);
  if (pass->err) std::fclose(pass->err);
  pass->err = nullptr;
  EndNameIndex(&pass->names);
}

void EndUuFile(UuPass* pass) {
  if (pass->out) ShortFile(pass);
}

void DecodeUuSegment(UuPass* pass, Segment* seg) {
  int64_t limit = -1;
  LineFile* in = OpenUuSegment(pass, seg, &limit);
  if (!in) return;
  while (NextUuLine(pass, seg, in, limit)) {
    if (!HandleUuLine(pass, seg, in)) break;
  }
  EndUuSegment(pass, seg);
}

void MakePlainList(Records* records, Segment** head, int first, int end,
                   char** argv) {
  Segment** link = head;
  *head = nullptr;
  for (int i = first; i < end; ++i) {
    Segment* s = NewSegment(records);
    s->path = argv[i];
    s->mark = 0;
    s->group = 1;
    s->offset = 0;
    s->logentry = nullptr;
    s->begin = kPlainBegin;
    s->next = nullptr;
    *link = s;
    link = &s->next;
  }
}

bool IsPlainSegment(const Segment* seg) { return seg->begin == kPlainBegin; }

namespace {

// The article file of `seg` cannot be opened: a directory among plain files
// is passed over and the run goes on; an article ends the pass.
void OpenFailed(UuPass* pass, const Segment* seg) {
  if (errno == EISDIR && seg->begin == kPlainBegin) {
    if (pass->pass_over_directories) return;
    Fail(pass->output->reporter, "quillon: cannot access file %s\n", seg->path);
    pass->output->outcome.failed = true;
    return;
  }
  // A write error still pending in the open output file is reported first.
  if (pass->out && !pass->out_failed && std::fflush(pass->out) != 0)
    WriteFailed(pass);
  Fail(pass->output->reporter, "quillon: cannot access file %s\n", seg->path);
  pass->output->outcome.article_unreadable = true;
  pass->output->outcome.failed = true;
}

}  // namespace

LineFile* OpenUuSegment(UuPass* pass, Segment* seg, int64_t* limit) {
  if (seg->group == 0) {
    Processed(pass->output, seg);
    return nullptr;
  }
  LineFile* in = &pass->in;
  bool held = pass->in_path == seg->path && in->fd >= 0 && !pass->err &&
              pass->in_removed == pass->output->removed.size();
  if (held) {
    *limit =
        maxseek(*pass->output, pass->output->list, seg, SizeOfLineFile(in));
    held = ReadLineFileAt(in, seg->offset, *limit);
  }
  if (!held) {
    CloseLineFile(in);
    pass->in_path = nullptr;
    if (!OpenLineFileAt(in, seg->path, seg->offset)) {
      OpenFailed(pass, seg);
      return nullptr;
    }
    pass->in_path = seg->path;
    pass->in_removed = pass->output->removed.size();
    *limit =
        maxseek(*pass->output, pass->output->list, seg, SizeOfLineFile(in));
  }
  pass->lost = false;
  pass->fed = false;
  pass->data = false;
  return in;
}

bool NextUuLine(UuPass* pass, Segment* seg, LineFile* in, int64_t limit) {
  // The text of a segment no file took goes to -errors as it is read.
  bool fast = pass->fast_paths && (!seg || seg->group != -1);
  while (InWindow(in, limit)) {
    if (fast && pass->out && !pass->out_failed) {
      DecodeFullRun(pass, in, limit);
      if (!InWindow(in, limit)) return false;
    }
    pass->line_start = in->line_start;
    if (!ReadLine(in, pass->line, kLineSize)) return false;
    if (!fast || !DecodeFullLine(pass, in)) return true;
  }
  return false;
}

bool HandleUuLine(UuPass* pass, Segment* seg, LineFile* in) {
  if (seg && seg->group == -1) {
    if (pass->err) std::fputs(pass->line, pass->err);
    return true;
  }
  if (StartsFile(pass, seg, pass->line)) {
    bool failed = false;
    if (OpenOutput(pass, seg, in, &failed)) return !failed;
  }
  const char* line = pass->line;
  bool end = line[0] == 'e' && line[1] == 'n' && line[2] == 'd';
  if (pass->create_failed && (end || uuline(pass->line))) pass->lost = true;
  if (pass->out) pass->fed = true;
  if (pass->out && uuline(pass->line)) Decode(pass, pass->line);
  if (pass->out && end) FinishFile(pass);
  Remember(pass);
  return true;
}

void EndUuSegment(UuPass* pass, Segment* seg) {
  if (seg->group == -1 && !pass->err) return;
  // A part of an incomplete split MIME message is copied to the error file
  // but kept, so that a later run completes the message.
  if (seg->group == -1 && seg->encoding.kind == Encoding::kMime) return;
  // A part whose file could not be written is not done: keep its article.
  if (pass->lost) return;
  if (pass->out && pass->fed) {
    pass->waiting.push_back({seg, pass->data});
    return;
  }
  Processed(pass->output, seg);
}

// For the tests (test_support.h): off, every line goes the general way.

std::FILE* GetFilePtr(const char* path, Reporter* reporter) {
  if (!path) return nullptr;
  std::FILE* f = std::fopen(path, "a");
  if (!f) Fail(reporter, "%s: cannot open\n", path);
  return f;
}
