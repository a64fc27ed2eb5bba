#include "mime/catalogue.h"

#include <cstring>
#include <iterator>
#include <map>
#include <unordered_map>

#include "text.h"

namespace {}  // namespace

bool IsMimeFieldLine(std::string_view line) {
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == ':') return i > 0;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') return false;
  }
  return false;
}

namespace {

bool IsEmptyLine(std::string_view line) {
  return line == "\n" || line == "\r\n";
}

// The text of a run kept before it is taken as a header.
constexpr size_t kRunKept = 16 * 1024;

void EndRun(MimeCatalogue* c) {
  c->run.clear();  // its room stays, for the next run
  c->content_field = false;
  if (c->taken) c->header = MimeHeader();
  c->taken = false;
  c->collecting = false;
}

void AddRunText(MimeCatalogue* c, std::string_view text) {
  if (!c->taken && c->run.size() + text.size() <= kRunKept) {
    c->run.append(text);
    return;
  }
  if (!c->taken) {
    AddHeaderText(&c->header, c->run);
    c->taken = true;
  }
  AddHeaderText(&c->header, text);
}

// The run as a header, at its empty line: null when no field of it can make
// it MIME. The pieces of a line are taken together or one by one alike.
const MimeHeader* TakeRun(MimeCatalogue* c) {
  if (!c->taken) {
    if (!c->content_field) return nullptr;
    AddHeaderText(&c->header, c->run);
    c->taken = true;
  }
  EndHeader(&c->header);
  return &c->header;
}

bool IsContentField(std::string_view line) {
  constexpr std::string_view kPrefix = "content-";
  if (line.size() < kPrefix.size()) return false;
  for (size_t i = 0; i < kPrefix.size(); ++i) {
    char ch = line[i];
    if (IsUpper(ch)) ch = static_cast<char>(ch - 'A' + 'a');
    if (ch != kPrefix[i]) return false;
  }
  return true;
}

}  // namespace

bool DetectMimeArticle(MimeCatalogue* c, const ArticleLine& line,
                       Segment* seg) {
  std::string_view text(line.text, std::strlen(line.text));
  int64_t end = TellLine(line.in);
  int64_t start = end - static_cast<int64_t>(text.size());
  // A new file, or a new article: a header may begin.
  if (start <= 0 || start < c->last_end) {
    EndRun(c);
    c->armed = true;
  }
  c->last_end = end;
  if (line.subject != c->subject) {
    c->subject.assign(line.subject);
    c->armed = true;
  }
  if (!line.line_start) {
    if (c->collecting) AddRunText(c, text);
    return false;
  }
  if (text.substr(0, 5) == "From " || text.substr(0, 9) == "#! rnews ") {
    EndRun(c);
    c->armed = true;
    return false;
  }
  if (IsEmptyLine(text)) {
    const MimeHeader* header =
        c->collecting && !line.subject.empty() ? TakeRun(c) : nullptr;
    bool mime = header && IsMimeArticle(*header);
    int64_t header_start = c->header_start;
    MimeContent type;
    if (mime) type = ParseContentType(MimeFieldValue(*header, "Content-Type"));
    EndRun(c);
    if (c->armed && !line.subject.empty()) c->armed = false;
    if (!mime) return false;
    MimeArticle article;
    article.partial = ParseMimePartial(type, &article.part);
    article.start = header_start;
    seg->encoding = {Encoding::kMime,
                     static_cast<uint32_t>(c->articles.size())};
    seg->part = article.partial ? article.part.number : 1;
    seg->total = article.partial ? article.part.total : 1;
    c->articles.push_back(article);
    c->segments.push_back(seg);
    return true;
  }
  bool continuation = text[0] == ' ' || text[0] == '\t';
  if (c->armed && (IsMimeFieldLine(text) || (continuation && c->collecting))) {
    if (!c->collecting) {
      c->collecting = true;
      c->header_start = start;
    }
    if (!continuation && IsContentField(text)) c->content_field = true;
    AddRunText(c, text);
  } else {
    EndRun(c);
  }
  return false;
}

void GroupMimeMessages(MimeCatalogue* c, int* counter, Reporter* reporter) {
  struct Split {
    size_t message = 0;
    int total = -1;
    bool disagree = false;
    std::map<int, size_t> parts;  // number -> article
  };
  std::unordered_map<std::string, Split> splits;
  std::vector<std::string> ids;  // of each message; empty for a whole one
  c->messages.clear();
  for (size_t i = 0; i < c->articles.size(); ++i) {
    const MimeArticle& a = c->articles[i];
    Segment* seg = c->segments[i];
    if (!a.partial) {
      c->messages.push_back({{seg}, {a.start}, {}, -1});
      ids.emplace_back();
      continue;
    }
    auto [it, fresh] = splits.try_emplace(a.part.id);
    Split& s = it->second;
    if (fresh) {
      s.message = c->messages.size();
      c->messages.emplace_back();
      ids.push_back(a.part.id);
    }
    if (a.part.total != -1) {
      if (s.total != -1 && s.total != a.part.total) s.disagree = true;
      s.total = a.part.total;
    }
    if (!s.parts.try_emplace(a.part.number, i).second)
      c->messages[s.message].duplicates.push_back(seg);
  }
  for (size_t m = 0; m < c->messages.size(); ++m) {
    MimeMessage& msg = c->messages[m];
    if (!ids[m].empty()) {
      const Split& s = splits[ids[m]];
      for (const auto& [number, i] : s.parts) {
        msg.parts.push_back(c->segments[i]);
        msg.starts.push_back(c->articles[i].start);
      }
      if (s.disagree) {
        Note(reporter, "quillon: parts of %s disagree on their total\n",
             ids[m].c_str());
        continue;
      }
      // Parts 1 to total, each once: the numbers up to total are distinct.
      bool complete =
          s.total > 0 && std::distance(s.parts.begin(),
                                       s.parts.upper_bound(s.total)) == s.total;
      if (!complete) continue;
    }
    msg.group = (*counter)++;
    for (Segment* seg : msg.parts) seg->group = msg.group;
    for (Segment* seg : msg.duplicates) seg->group = msg.group;
  }
}

void UnplacedMimeSegments(const MimeCatalogue& c, std::vector<Segment*>* out) {
  for (Segment* s : c.segments)
    if (s->group == -1) out->push_back(s);
}

void MimeDecodeOrder(const MimeCatalogue& c, std::vector<Segment*>* out) {
  for (const MimeMessage& msg : c.messages) {
    out->insert(out->end(), msg.parts.begin(), msg.parts.end());
    out->insert(out->end(), msg.duplicates.begin(), msg.duplicates.end());
  }
}
