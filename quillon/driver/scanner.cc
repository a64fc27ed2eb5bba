#include "scanner.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>

#include "../catalogue/caption.h"
#include "../catalogue/catalogue.h"
#include "../decoding/line_file.h"
#include "../decoding/uuline.h"

namespace {

bool StartsWith(const char* line, const char* prefix) {
  return std::strncmp(line, prefix, std::strlen(prefix)) == 0;
}

// A header line holds a blank, and its first blank follows a colon.
bool IsHeaderLine(const char* line) {
  const char* blank = std::strchr(line, ' ');
  return blank && blank != line && blank[-1] == ':';
}

// The begin strings held by catalogue records, by their text. During the
// scan a new string is made only when no catalogue record holds that text,
// and records in the catalogue keep their begin, so each text has one
// string there: the one the first record in catalogue order holds.
using BeginNames = std::unordered_map<std::string, char*>;

// The begin string of the first catalogue record with that name, so that
// records of one name share one string.
char* SharedBeginName(const BeginNames& names, const char* name) {
  auto found = names.find(name);
  return found != names.end() ? found->second : NewBeginName(name);
}

// What the scan knows about the article being read.
struct Article {
  Segment* record = nullptr;
  BeginNames* names = nullptr;
  std::string subject;           // text after "Subject: ", as read
  char filename[kLineSize] = {};  // file name in the subject, or ""
  int header_count = 0;
  int full_lines = 0;
  bool line_ended = true;
  bool rejected = false;
};

// Per-file reading state that carries over between articles of one file.
struct FileState {
  LineFile file;
  int64_t header_start = 0;
  int64_t position = 0;
  // Under -extended, a second Subject line begins the next article: the
  // line waits here, with the header run it belongs to.
  bool pending = false;
  char pending_line[kLineSize];
  int pending_header_count = 0;
  bool pending_line_ended = true;
};

// The Subject line of an article: scored, kept and read for part numbers.
// False when the keywords reject the article.
bool TakeSubject(ScanState* scan, Article* a, char* line) {
  if (keycheck(line, scan->keywords, scan->keyword_count) < 0) return false;
  a->subject = line + 9;
  upcase(line);
  GetFileName(line, a->filename);
  GetNum(line, &a->record->part, &a->record->total);
  return true;
}

void TakeBeginLine(Article* a, char* line, LineFile* in) {
  CompleteBeginLine(line, in);
  char name[kLineSize];
  int mode = 0;
  if (ReadBline(line, &mode, name) > 0)
    a->record->begin = SharedBeginName(*a->names, name);
}

// A body line that names the subject's file name with a "/" may give a more
// exact part number and total.
void TakeBodyPart(Article* a, char* line) {
  upcase(line);
  if (!std::strstr(line, a->filename) || !std::strchr(line, '/')) return;
  int part = -1, total = -1;
  GetNum(line, &part, &total);
  if (part < 1 || total < 1) return;
  a->record->part = part;
  if (a->record->total == -1 || a->record->total > total)
    a->record->total = total;
}

// Counts the run of header lines. A folded line (one that begins with a
// blank or a tab) continues the header line before it.
void CountHeader(Article* a, FileState* fs, const char* line) {
  if (!a->line_ended) return;
  if ((line[0] == ' ' || line[0] == '\t') && a->header_count > 0) return;
  if (IsHeaderLine(line)) {
    if (a->header_count == 0) fs->header_start = fs->position;
    ++a->header_count;
  } else {
    a->header_count = 0;
  }
}

// Under -extended, a Subject line at the start of a line of an article that
// already has one begins the next article.
bool BeginsNextArticle(const Article* a, const char* line) {
  return EXT && !a->subject.empty() && StartsWith(line, "Subject: ");
}

// Reads one article up to its third full line, the end of the file, or its
// rejection by the keywords.
void ReadArticle(ScanState* scan, Article* a, FileState* fs,
                 std::string* poster) {
  char line[kLineSize];
  Segment* rec = a->record;
  bool resumed = fs->pending;
  if (resumed) {
    std::strcpy(line, fs->pending_line);
    a->header_count = fs->pending_header_count;
    a->line_ended = fs->pending_line_ended;
    fs->pending = false;
  }
  while (a->full_lines <= 2) {
    if (resumed) {
      resumed = false;
    } else {
      if (!ReadLine(&fs->file, line, kLineSize)) break;
      if (line[0] == '\n' && a->header_count > 5)
        rec->offset = fs->header_start;
      bool line_start = a->line_ended;
      CountHeader(a, fs, line);
      size_t len = std::strlen(line);
      a->line_ended = len > 0 && line[len - 1] == '\n';
      if (line_start && BeginsNextArticle(a, line)) {
        fs->pending = true;
        std::strcpy(fs->pending_line, line);
        fs->pending_header_count = a->header_count;
        fs->pending_line_ended = a->line_ended;
        return;
      }
    }
    if (StartsWith(line, "Subject: ") && a->subject.empty()) {
      if (!TakeSubject(scan, a, line)) {
        a->rejected = true;
        return;
      }
    } else {
      bool have_subject = !a->subject.empty();
      if (have_subject && uuline(line)) ++a->full_lines;
      if (StartsWith(line, "Date: ")) rec->time = GetTime(line + 6);
      if (StartsWith(line, "From: ")) *poster = userid(line + 6);
      if (have_subject && bline(line))
        TakeBeginLine(a, line, &fs->file);
      if (a->filename[0]) TakeBodyPart(a, line);
    }
    fs->position = TellLine(&fs->file);
  }
}

// Completes a qualifying article's record and puts it into the catalogue.
void AddSegment(ScanState* scan, Article* a, const char* path,
                const std::string& poster) {
  Segment* rec = a->record;
  rec->poster = GetId(scan->pool, poster.c_str());
  rec->path = path;
  a->subject.pop_back();
  if (!QUIET) std::printf("%s\n", a->subject.c_str());
  rec->caption = upcase(NewString(a->subject.c_str()));
  if (rec->part == 1 && !rec->begin) rec->part = -1;
  if (rec->begin && rec->part != 1 && rec->total != -1) rec->begin = nullptr;
  AddtoFlist(scan->catalogue, rec, &scan->index);
  if (rec->begin) a->names->try_emplace(rec->begin, rec->begin);
}

}  // namespace

ScanResult ScanArticles(ScanState* scan, int first, int argc, char** argv,
                        int* count) {
  *count = 0;
  FileState fs;
  LogEntry* entry = nullptr;
  Segment* current = nullptr;
  std::string poster;  // carries over from article to article
  BeginNames names;
  IndexCatalogue(&scan->index, *scan->catalogue);
  for (Segment* s = *scan->catalogue; s; s = s->next)
    if (s->begin) names.try_emplace(s->begin, s->begin);
  bool new_file = true;
  bool follows_rejection = false;
  int arg = first;
  while (arg < argc) {
    if (!EXT || new_file) {
      fs.position = 0;
      if (inDlist(scan->log_list, argv[arg], &entry)) {
        ++arg;
        continue;
      }
      if (!OpenLineFile(&fs.file, argv[arg])) {
        std::fprintf(stderr, "quillon: cannot access file %s\n", argv[arg]);
        FAILED = true;
        ++arg;
        continue;
      }
    }
    if (!current) current = NewSegment();
    current->begin = nullptr;
    current->mark = 0;
    current->group = -1;
    current->logentry = entry;

    Article article;
    article.record = current;
    article.names = &names;
    bool continues_rejected = follows_rejection;
    new_file = false;
    const char* path = argv[arg];
    ReadArticle(scan, &article, &fs, &poster);

    if (!EXT || (AtEnd(&fs.file) && !fs.pending)) {
      CloseLineFile(&fs.file);
      new_file = true;
      ++arg;
    }
    if (article.full_lines > 2 && !article.subject.empty()) {
      AddSegment(scan, &article, path, poster);
      ++*count;
      current = nullptr;
    } else if (*count == 0 && article.subject.empty() && !article.rejected &&
               !continues_rejected) {
      CloseLineFile(&fs.file);
      return kScanFallBack;
    }
    // Under -extended the reading goes on after a rejected Subject line;
    // that rest is not an article without a Subject line, and must not
    // turn the run into plain decoding of the articles the keywords refused.
    follows_rejection = article.rejected && !new_file;
  }
  return kScanDone;
}
