#include "driver/scanner.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <unordered_map>

#include "catalogue/caption.h"
#include "catalogue/catalogue.h"
#include "decoding/line_file.h"
#include "decoding/uuline.h"
#include "text.h"

namespace {

// A header line holds a blank, and its first blank follows a colon.
bool IsHeaderLine(const char* line) {
  const char* blank = std::strchr(line, ' ');
  return blank && blank != line && blank[-1] == ':';
}

// The empty line that ends a header. Under -extended a batch or mail
// archive may have CR LF line ends throughout, and each article's offset
// depends on finding its header's end.
bool EndsHeader(const char* line, bool ext) {
  return line[0] == '\n' || (ext && line[0] == '\r' && line[1] == '\n');
}

// The text of a line up to its line end (LF, or CR LF).
size_t TextLength(const char* line) {
  size_t n = std::strlen(line);
  if (n > 0 && line[n - 1] == '\n') --n;
  if (n > 0 && line[n - 1] == '\r') --n;
  return n;
}

// A data line shorter than a full one, as the last of a file: a length
// character for 1 to 44 bytes, then the characters that encode them (or one
// more, as full lines may have), every one a uuencoding character.
bool ShortDataLine(const char* line) {
  int bytes = line[0] - ' ';
  if (bytes < 1 || bytes > 44) return false;
  size_t chars = TextLength(line) - 1;
  size_t want = 4 * static_cast<size_t>((bytes + 2) / 3);
  if (chars != want && chars != want + 1) return false;
  for (size_t i = 1; i <= chars; ++i)
    if (line[i] < ' ' || line[i] > '`') return false;
  return true;
}

// A data line of a uuencoded file: a full line or a short one.
bool DataLine(const char* line) { return uuline(line) || ShortDataLine(line); }

// The zero-length line that may stand between the last data line and the
// end line: "`", a single blank, or, once transit stripped that blank,
// nothing but the line end.
bool ZeroLengthLine(const char* line) {
  size_t n = TextLength(line);
  return n == 0 || (n == 1 && (line[0] == '`' || line[0] == ' '));
}

// The end line of a uuencoded file: "end", then only blanks to the line end.
bool EndLine(const char* line) {
  if (!StartsWith(line, "end")) return false;
  for (const char* p = line + 3; *p && *p != '\n'; ++p)
    if (*p != ' ' && *p != '\t' && *p != '\r') return false;
  return true;
}

// The begin strings held by catalogue records, by their text. During the
// scan a new string is made only when no catalogue record holds that text,
// and records in the catalogue keep their begin, so each text has one
// string there: the one the first record in catalogue order holds.
using BeginNames = std::unordered_map<std::string, char*>;

// The begin string of the first catalogue record with that name, so that
// records of one name share one string.
char* SharedBeginName(Records* records, const BeginNames& names,
                      const char* name) {
  auto found = names.find(name);
  return found != names.end() ? found->second : NewBeginName(records, name);
}

// What the scan knows about the article being read.
struct Article {
  Segment* record = nullptr;
  BeginNames* names = nullptr;
  std::string subject;   // text after "Subject: ", as read
  std::string filename;  // file name in the subject, or ""
  int header_count = 0;
  int full_lines = 0;
  bool line_ended = true;
  bool rejected = false;
  // Where the last line read stands in the tail of a uuencoded file.
  enum { kNoData, kBegin, kData, kZeroLength } tail = kNoData;
  // The article holds the end of a posted file (a last part shorter than
  // three full lines): it qualifies and its reading ends there.
  bool ends_file = false;
  // An encoding beyond the uuencoded system claimed it: the article
  // qualifies and its reading ends.
  bool encoded = false;
};

// Per-file reading state that carries over between articles of one file.
struct FileState {
  LineFile file;
  int64_t header_start = 0;
  int64_t position = 0;
  // Under -extended, a second Subject line begins the next article: the
  // line (whole) waits here, with the header run it belongs to.
  bool pending = false;
  std::string pending_line;
  int pending_header_count = 0;
  bool pending_line_ended = true;
};

// The Subject line of an article: scored, kept and read for part numbers.
// False when the keywords reject the article.
bool TakeSubject(ScanState* scan, Article* a, char* line) {
  if (keycheck(line, scan->keywords, scan->keyword_count) < 0) return false;
  a->subject = line + 9;
  upcase(line);
  GetFileName(line, &a->filename);
  GetNum(line, &a->record->part, &a->record->total);
  return true;
}

void TakeBeginLine(ScanState* scan, Article* a, char* line, LineFile* in) {
  CompleteBeginLine(line, in);
  char name[kLineSize];
  int mode = 0;
  if (ReadBline(line, &mode, name) > 0)
    a->record->begin = SharedBeginName(scan->records, *a->names, name);
}

// A body line that names the subject's file name with a "/" may give a more
// exact part number and total.
void TakeBodyPart(Article* a, char* line) {
  // Most lines hold no "/": they are passed over before the case is folded.
  if (!std::strchr(line, '/')) return;
  upcase(line);
  if (!std::strstr(line, a->filename.c_str())) return;
  int part = -1, total = -1;
  GetNum(line, &part, &total);
  if (part < 1 || total < 1) return;
  a->record->part = part;
  if (a->record->total == -1 || a->record->total > total)
    a->record->total = total;
}

// Notes the end line of a posted file: it ends the file when a data line
// of the article comes right before it, or before a zero-length line right
// before it (also a begin line, for an empty file). Without a begin line
// only a later part counts, so that a text article quoting a few data lines
// stays none.
void TakeFileEnd(Article* a, const char* line, bool line_start) {
  auto before = a->tail;
  a->tail = Article::kNoData;
  if (!line_start) return;
  if (DataLine(line)) {
    a->tail = Article::kData;
  } else if (bline(line)) {
    a->tail = Article::kBegin;
  } else if ((before == Article::kData || before == Article::kBegin) &&
             ZeroLengthLine(line)) {
    a->tail = Article::kZeroLength;
  } else if ((before == Article::kData || before == Article::kZeroLength) &&
             EndLine(line) && (a->record->begin || a->record->part > 1)) {
    a->ends_file = true;
  }
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
bool BeginsNextArticle(bool ext, const Article* a, const char* line) {
  return ext && !a->subject.empty() && StartsWith(line, "Subject: ");
}

// Subject:, From: and Date: lines are read whole, whatever their length.
bool ReadWhole(const char* line) {
  return StartsWith(line, "Subject: ") || StartsWith(line, "From: ") ||
         StartsWith(line, "Date: ");
}

// Reads one article up to its third full line, the end of the file, or its
// rejection by the keywords.
void ReadArticle(ScanState* scan, Article* a, FileState* fs,
                 std::string* poster) {
  char piece[kLineSize];
  // A line read whole; `line` points into it or at `piece`.
  std::string whole;
  char* line = piece;
  Segment* rec = a->record;
  bool resumed = fs->pending;
  if (resumed) {
    whole.swap(fs->pending_line);
    line = whole.data();
    a->header_count = fs->pending_header_count;
    a->line_ended = fs->pending_line_ended;
    fs->pending = false;
  }
  while (a->full_lines <= 2 && !a->ends_file && !a->encoded) {
    bool line_start = true;
    if (resumed) {
      resumed = false;
    } else {
      if (!ReadLine(&fs->file, piece, kLineSize)) break;
      line = piece;
      if (EndsHeader(line, scan->options->EXT) && a->header_count > 5)
        rec->offset = fs->header_start;
      line_start = a->line_ended;
      // The pieces of a longer line are read with its first one, which
      // alone counts as a line of the header run.
      CountHeader(a, fs, line);
      size_t len = std::strlen(line);
      a->line_ended = len > 0 && line[len - 1] == '\n';
      if (line_start && !a->line_ended && ReadWhole(line)) {
        whole.assign(piece, fs->file.length);
        ReadLineRest(&fs->file, &whole);
        line = whole.data();
        a->line_ended = whole.back() == '\n';
      }
      if (line_start && BeginsNextArticle(scan->options->EXT, a, line)) {
        fs->pending = true;
        if (line == piece) {
          fs->pending_line.assign(piece);
        } else {
          fs->pending_line.swap(whole);
        }
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
      if (have_subject) TakeFileEnd(a, line, line_start);
      if (have_subject && uuline(line)) ++a->full_lines;
      if (StartsWith(line, "Date: ")) rec->time = GetTime(line + 6);
      // Before userid, which cuts the From: line.
      ArticleLine seen{.text = line,
                       .line_start = line_start,
                       .subject = a->subject,
                       .in = &fs->file};
      if (DetectEncoding(scan->encodings, seen, rec)) a->encoded = true;
      if (StartsWith(line, "From: ")) *poster = userid(line + 6);
      if (have_subject && bline(line)) TakeBeginLine(scan, a, line, &fs->file);
      if (!a->filename.empty() && !a->encoded) TakeBodyPart(a, line);
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
  Progress(scan->reporter, "%s\n", a->subject.c_str());
  rec->caption = upcase(NewString(scan->records, a->subject.c_str()));
  // Its encoding keeps it, in reading order.
  if (rec->encoding.kind != Encoding::kUuencoded) {
    rec->begin = nullptr;
    return;
  }
  if (rec->part == 1 && !rec->begin) rec->part = -1;
  if (rec->begin && rec->part != 1 && rec->total != -1) rec->begin = nullptr;
  AddtoFlist(scan->catalogue, rec, &scan->index);
  if (rec->begin) a->names->try_emplace(rec->begin, rec->begin);
}

// Opens the next file argument; false when it is to be passed over. A
// directory (a subgroup's, caught by a glob over its group) is no article
// and no failure: it is passed over without a word, and without an entry in
// the log. An empty file is no article without a Subject line: it must not
// turn the run into plain decoding.
bool OpenArticleFile(ScanState* scan, FileState* fs, const char* path,
                     LogEntry** entry) {
  LogPlace place;
  *entry = nullptr;
  if (LookUpLogged(scan->log_list, path, &place)) return false;
  bool opened = OpenLineFile(&fs->file, path);
  if (!opened && errno == EISDIR) return false;
  *entry = EnterLogged(scan->log_list, place);
  if (!opened) {
    Fail(scan->reporter, "quillon: cannot access file %s\n", path);
    return false;
  }
  if (fs->file.size != 0) return true;
  CloseLineFile(&fs->file);
  return false;
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
    if (!scan->options->EXT || new_file) {
      fs.position = 0;
      if (!OpenArticleFile(scan, &fs, argv[arg], &entry)) {
        ++arg;
        continue;
      }
    }
    if (!current) current = NewSegment(scan->records);
    current->begin = nullptr;
    current->mark = 0;
    current->group = -1;
    current->logentry = entry;
    current->encoding = SegmentEncoding();

    Article article;
    article.record = current;
    article.names = &names;
    bool continues_rejected = follows_rejection;
    new_file = false;
    const char* path = argv[arg];
    ReadArticle(scan, &article, &fs, &poster);

    if (!scan->options->EXT || (AtEnd(&fs.file) && !fs.pending)) {
      CloseLineFile(&fs.file);
      new_file = true;
      ++arg;
    }
    bool qualifies =
        article.full_lines > 2 || article.ends_file || article.encoded;
    if (qualifies && !article.subject.empty()) {
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
