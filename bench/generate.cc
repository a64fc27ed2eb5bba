#include "generate.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "quillon_bench: %s\n", what.c_str());
  std::exit(1);
}

namespace {

void FillRandom(Rng& rng, unsigned char* out, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t v = rng.Next();
    std::memcpy(out + i, &v, 8);
  }
  if (i < n) {
    uint64_t v = rng.Next();
    std::memcpy(out + i, &v, n - i);
  }
}

// ---------------------------------------------------------------- uuencode

char UuChar(unsigned v) { return v ? char(v + 32) : '`'; }

// One data line of up to 45 bytes, as uuencode writes it.
void UuLine(const unsigned char* p, size_t n, std::string& out) {
  out += UuChar(unsigned(n));
  for (size_t i = 0; i < n; i += 3) {
    unsigned b0 = p[i];
    unsigned b1 = i + 1 < n ? p[i + 1] : 0;
    unsigned b2 = i + 2 < n ? p[i + 2] : 0;
    out += UuChar(b0 >> 2);
    out += UuChar(((b0 << 4) | (b1 >> 4)) & 63);
    out += UuChar(((b1 << 2) | (b2 >> 6)) & 63);
    out += UuChar(b2 & 63);
  }
  out += '\n';
}

}  // namespace

void WriteFile(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() ||
      std::fclose(f) != 0) {
    Die("cannot write " + path);
  }
}

namespace {

// ------------------------------------------------------------ plain file

// Chunks of whole lines, so the random stream is the same when verifying.
constexpr size_t kChunk = 45 * 23301;

}  // namespace

void WritePlainFile(const std::string& path, Rng rng, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) Die("cannot write " + path);
  std::fputs("begin 644 plain.bin\n", f);
  std::vector<unsigned char> data(kChunk);
  std::string text;
  for (size_t done = 0; done < size;) {
    size_t n = std::min(kChunk, size - done);
    FillRandom(rng, data.data(), n);
    text.clear();
    for (size_t i = 0; i < n; i += 45) {
      UuLine(data.data() + i, std::min<size_t>(45, n - i), text);
    }
    std::fwrite(text.data(), 1, text.size(), f);
    done += n;
  }
  std::fputs("`\nend\n", f);
  if (std::fclose(f) != 0) Die("cannot write " + path);
}

namespace {

const char kBase64[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// One line of up to 57 bytes, 76 characters when whole.
void Base64Line(const unsigned char* p, size_t n, std::string& out) {
  for (size_t i = 0; i < n; i += 3) {
    unsigned b0 = p[i];
    unsigned b1 = i + 1 < n ? p[i + 1] : 0;
    unsigned b2 = i + 2 < n ? p[i + 2] : 0;
    out += kBase64[b0 >> 2];
    out += kBase64[((b0 << 4) | (b1 >> 4)) & 63];
    out += i + 1 < n ? kBase64[((b1 << 2) | (b2 >> 6)) & 63] : '=';
    out += i + 2 < n ? kBase64[b2 & 63] : '=';
  }
  out += '\n';
}

void Put(std::FILE* f, const std::string& text, const std::string& path) {
  if (std::fwrite(text.data(), 1, text.size(), f) != text.size())
    Die("cannot write " + path);
}

}  // namespace

void WriteMimeFiles(const std::string& message, const std::string& body,
                    const std::string& name, Rng rng, size_t size) {
  std::FILE* m = std::fopen(message.c_str(), "wb");
  std::FILE* b = std::fopen(body.c_str(), "wb");
  if (!m || !b) Die("cannot write " + message + " and " + body);
  Put(m,
      "From: Bench <bench@example.org>\n"
      "Newsgroups: alt.binaries.bench\n"
      "Subject: " +
          name +
          "\n"
          "Date: Mon, 13 Jan 1997 12:00:00 GMT\n"
          "Message-ID: <" +
          name +
          "@example.org>\n"
          "MIME-Version: 1.0\n"
          "Content-Type: multipart/mixed; boundary=\"=_bench_boundary\"\n"
          "\n"
          "This is a multi-part message in MIME format.\n"
          "\n"
          "--=_bench_boundary\n"
          "Content-Type: text/plain; charset=us-ascii\n"
          "\n"
          "The file is attached.\n"
          "\n"
          "--=_bench_boundary\n"
          "Content-Type: application/octet-stream; name=\"" +
          name +
          "\"\n"
          "Content-Transfer-Encoding: base64\n"
          "Content-Disposition: attachment; filename=\"" +
          name +
          "\"\n"
          "\n",
      message);
  // The bytes are drawn in the pieces FileMatches draws; lines go across
  // the pieces.
  std::vector<unsigned char> data;
  std::string text;
  for (size_t done = 0; done < size;) {
    size_t n = std::min(kChunk, size - done);
    size_t kept = data.size();
    data.resize(kept + n);
    FillRandom(rng, data.data() + kept, n);
    done += n;
    size_t whole = done < size ? data.size() / 57 * 57 : data.size();
    text.clear();
    for (size_t i = 0; i < whole; i += 57) {
      Base64Line(data.data() + i, std::min<size_t>(57, whole - i), text);
    }
    data.erase(data.begin(), data.begin() + std::ptrdiff_t(whole));
    Put(m, text, message);
    Put(b, text, body);
  }
  Put(m, "--=_bench_boundary--\n", message);
  if (std::fclose(m) != 0 || std::fclose(b) != 0)
    Die("cannot write " + message + " and " + body);
}

// Compares a file with `size` bytes of the stream of `rng`, drawn in the
// pieces in which the data was made (kChunk; a posting is one piece).
bool FileMatches(const std::string& path, Rng rng, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::vector<unsigned char> want(kChunk), got(kChunk);
  bool same = true;
  for (size_t done = 0; same && done < size;) {
    size_t n = std::min(kChunk, size - done);
    FillRandom(rng, want.data(), n);
    same = std::fread(got.data(), 1, n, f) == n &&
           std::memcmp(want.data(), got.data(), n) == 0;
    done += n;
  }
  same = same && std::fgetc(f) == EOF;
  std::fclose(f);
  return same;
}

namespace {

// ----------------------------------------------------------------- spools

struct Poster {
  std::string from;
  int style;        // subject layout
  bool body_marks;  // writes "name part i/n" into the body as well
};

const char* const kAdjectives[] = {
    "Golden",  "Misty",   "Quiet",  "Stormy",  "Frozen",  "Sunny",
    "Ancient", "Hidden",  "Lonely", "Crimson", "Silver",  "Wild",
    "Distant", "Autumn",  "Winter", "Summer",  "Morning", "Evening",
    "Rainy",   "Painted", "Broken", "Northern"};
const char* const kNouns[] = {"harbour", "lighthouse", "meadow",    "canyon",
                              "bridge",  "forest",     "village",   "glacier",
                              "desert",  "island",     "castle",    "river",
                              "market",  "station",    "garden",    "valley",
                              "beach",   "mountain",   "cathedral", "orchard"};
const char* const kStems[] = {"sunset", "beach",  "holiday", "scan", "pic",
                              "image",  "photo",  "clip",    "song", "doc",
                              "map",    "poster", "cover",   "tour"};
const char* const kExts[] = {"jpg", "gif", "zip", "mpg", "png", "avi", "mp3"};
const char* const kFirst[] = {"Ann",   "Bob",     "Carol", "Dave",  "Erin",
                              "Frank", "Grace",   "Heidi", "Ivan",  "Judy",
                              "Karl",  "Laura",   "Mike",  "Nina",  "Oscar",
                              "Paula", "Quentin", "Rita",  "Steve", "Tina"};
const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

template <typename T, size_t N>
const T& Pick(Rng& rng, const T (&table)[N]) {
  return table[rng.Below(int(N))];
}

std::vector<Poster> MakePosters(Rng& rng, int count) {
  std::vector<Poster> posters;
  for (int i = 0; i < count; i++) {
    std::string first = kFirst[i % 20];
    char user[64];
    std::snprintf(user, sizeof user, "%s%d", first.c_str(), i);
    for (char& ch : user) ch = char(std::tolower((unsigned char)ch));
    std::string host = std::string(Pick(rng, kNouns)) + ".example";
    Poster p;
    switch (i % 3) {
      case 0:
        p.from = first + " <" + user + "@" + host + ">";
        break;
      case 1:
        p.from = std::string(user) + "@" + host + " (" + first + ")";
        break;
      default:
        p.from = std::string(user) + "@" + host;
        break;
    }
    p.style = i % 3;
    p.body_marks = i % 4 == 1;
    posters.push_back(p);
  }
  return posters;
}

// A date that the scanner reads; `minutes` counts from 1 Jan 1997.
std::string DateLine(double minutes) {
  long m = long(minutes);
  long day = m / 1440;
  char text[64];
  std::snprintf(text, sizeof text, "Date: %s, %ld %s %d %02ld:%02ld:%02d GMT",
                kDays[day % 7], day % 28 + 1, kMonths[(day / 28) % 12],
                1997 + int(day / 336), (m / 60) % 24, m % 60, int(m * 7 % 60));
  return text;
}

std::string Headers(Rng& rng, const std::string& from,
                    const std::string& subject, double minutes, int lines,
                    const std::string& msgid) {
  std::string h;
  h += "Path: news.example.net!feed" + std::to_string(rng.Below(9)) +
       ".example.org!" + std::string(Pick(rng, kNouns)) +
       ".example!not-for-mail\n";
  h += "From: " + from + "\n";
  h += "Newsgroups: alt.binaries.pictures.misc\n";
  h += "Subject: " + subject + "\n";
  h += DateLine(minutes) + "\n";
  h += "Organization: Example Users of the " + std::string(Pick(rng, kNouns)) +
       "\n";
  h += "Lines: " + std::to_string(lines) + "\n";
  h += "Message-ID: <" + msgid + ">\n";
  h += "X-Newsreader: Example News 2.1\n\n";
  return h;
}

std::string Subject(const Poster& p, const std::string& description,
                    const std::string& name, int part, int total) {
  char text[160];
  switch (p.style) {
    case 0:
      std::snprintf(text, sizeof text, "%s - %s (%d/%d)", description.c_str(),
                    name.c_str(), part, total);
      break;
    case 1:
      std::snprintf(text, sizeof text, "[%02d/%02d] - %s - %s", part, total,
                    description.c_str(), name.c_str());
      break;
    default:
      std::snprintf(text, sizeof text, "%s - %s part %d of %d",
                    description.c_str(), name.c_str(), part, total);
      break;
  }
  return text;
}

int PartCount(Rng& rng) {
  int r = rng.Below(100);
  if (r < 10) return 1;
  if (r < 50) return 2 + rng.Below(3);
  if (r < 85) return 5 + rng.Below(5);
  return 10 + rng.Below(11);
}

// Heavy and light posters, as in a real group.
int PickPoster(Rng& rng, int count) {
  double u = double(rng.Next() >> 11) * 0x1p-53;
  return std::min(count - 1, int(count * u * u));
}

// A valid data character of the first data line changed to another valid
// one: the article still scans and decodes, to the wrong bytes. The search
// starts at the body: the header's Message-ID line begins with an M too.
std::string Damaged(std::string text) {
  size_t at = text.find("\nM", text.find("\n\n"));
  if (at == std::string::npos) return text;
  char& c = text[at + 12];
  c = c == '!' ? '"' : c == '`' ? '_' : char(c - 1);
  return text;
}

void AddTextArticle(Rng& rng, const std::vector<Poster>& posters,
                    double minutes, std::vector<Article>& out, Spool& spool) {
  const Poster& p = posters[size_t(rng.Below(int(posters.size())))];
  std::string subject = std::string("Re: ") + Pick(rng, kAdjectives) + " " +
                        Pick(rng, kNouns) + " wanted";
  std::string body =
      "Does anyone have more pictures like these?\n"
      "The last ones were great, thanks for posting them.\n\n-- \nsent from "
      "a news reader\n";
  char id[64];
  std::snprintf(id, sizeof id, "text%d@talk.example", spool.text_only);
  out.push_back({minutes, Headers(rng, p.from, subject, minutes, 5, id) + body,
                 -1, false});
  spool.text_only++;
}

// The articles of one posting; a missing part is left out, a damaged part
// gets a repost, an article may be duplicated.
void AddPosting(Rng& rng, const std::vector<Poster>& posters, double minutes,
                std::vector<Article>& out, Spool& spool) {
  int who = PickPoster(rng, int(posters.size()));
  const Poster& p = posters[size_t(who)];
  int parts = PartCount(rng);
  std::vector<int> lines(static_cast<size_t>(parts));
  int total_lines = 0;
  for (int& l : lines) total_lines += l = 8 + rng.Below(30);

  Posting posting;
  char name[80];
  std::snprintf(name, sizeof name, "%s_%06d.%s", Pick(rng, kStems),
                int(spool.postings.size()), Pick(rng, kExts));
  posting.name = name;
  posting.data_seed = rng.Next();
  posting.size = size_t(45 * (total_lines - 1) + 1 + rng.Below(44));
  std::vector<unsigned char> data(posting.size);
  Rng data_rng(posting.data_seed);
  FillRandom(data_rng, data.data(), data.size());

  std::string description =
      std::string(Pick(rng, kAdjectives)) + " " + Pick(rng, kNouns);
  spool.incomplete.resize(posters.size());
  int missing = parts > 1 && rng.Chance(0.01) && !spool.incomplete[size_t(who)]
                    ? rng.Below(parts)
                    : -1;
  if (missing >= 0) spool.incomplete[size_t(who)] = 1;
  posting.poster = who;
  int damaged = parts > 1 && missing < 0 && rng.Chance(0.03)
                    ? 1 + rng.Below(parts - 1)
                    : -1;
  posting.expect = missing < 0 ? Expect::kFile : Expect::kNoFile;
  int number = int(spool.postings.size());

  size_t at = 0;
  for (int i = 0; i < parts; i++) {
    std::string body = "section " + std::to_string(i + 1) + " of file " +
                       posting.name + "\n\n";
    if (p.body_marks) {
      body += posting.name + " part " + std::to_string(i + 1) + "/" +
              std::to_string(parts) + "\n\n";
    }
    if (i == 0) body += "begin 644 " + posting.name + "\n";
    for (int l = 0; l < lines[size_t(i)]; l++) {
      size_t n = std::min<size_t>(45, data.size() - at);
      UuLine(data.data() + at, n, body);
      at += n;
    }
    if (i == parts - 1) body += "`\nend\n";
    body += "-- \nposted with a news reader\n";
    std::string subject = Subject(p, description, posting.name, i + 1, parts);
    double when = minutes + i + rng.Below(40) * 0.5;
    int body_lines = int(std::count(body.begin(), body.end(), '\n'));
    std::string msgid = "part" + std::to_string(i + 1) + "of" +
                        std::to_string(spool.postings.size()) + "@post.example";
    std::string text =
        Headers(rng, p.from, subject, when, body_lines, msgid) + body;
    if (i == missing) {
      spool.missing++;
      continue;
    }
    spool.caption_bytes += subject.size() + (i == 0 ? posting.name.size() : 0);
    if (i == damaged) {
      std::string repost = "REPOST: " + subject;
      double later = when + 60 + rng.Below(120);
      out.push_back(
          {later,
           Headers(rng, p.from, repost, later, body_lines, "re" + msgid) + body,
           number, true});
      out.push_back({when, Damaged(text), number, false});
      spool.reposts++;
      spool.caption_bytes += repost.size();
    } else {
      if (rng.Chance(0.02)) {
        out.push_back({when + 5 + rng.Below(200), text, number, false});
        spool.duplicates++;
        spool.caption_bytes += subject.size();
      }
      out.push_back({when, text, number, true});
    }
  }
  spool.postings.push_back(posting);
}

}  // namespace

// Writes articles 1..count into `dir`.
// An mbox message: a "From " line, the article, and an empty line; a body
// line that begins with "From " is quoted with ">".
void AppendMboxMessage(std::string* out, const std::string& text, int n) {
  *out += "From poster" + std::to_string(n % 40) +
          "@example.org Mon Jan  6 12:00:00 1997\n";
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    if (text.compare(at, 5, "From ") == 0) *out += '>';
    out->append(text, at, end - at);
    at = end;
  }
  *out += '\n';
}

Spool MakeSpool(const std::string& dir, uint64_t seed, int count, bool write,
                const std::string& mbox) {
  Rng rng(seed * 1000003 + uint64_t(count));
  std::vector<Poster> posters = MakePosters(rng, 40);
  std::vector<Article> articles;
  Spool spool;
  double minutes = 0;
  while (int(articles.size()) < count) {
    if (rng.Chance(0.05)) {
      AddTextArticle(rng, posters, minutes, articles, spool);
    } else {
      AddPosting(rng, posters, minutes, articles, spool);
    }
    minutes += 3;
  }
  // Postings that overshoot the count lose their last articles: they are
  // incomplete from then on.
  std::stable_sort(
      articles.begin(), articles.end(),
      [](const Article& a, const Article& b) { return a.key < b.key; });
  while (int(articles.size()) > count) {
    const Article& a = articles.back();
    if (a.essential) spool.postings[size_t(a.posting)].expect = Expect::kCut;
    articles.pop_back();
  }
  // A cut posting is incomplete too: its poster's other incomplete one is
  // no longer predictable.
  std::vector<char> cut(spool.incomplete.size());
  for (const Posting& p : spool.postings) {
    if (p.expect == Expect::kCut) cut[size_t(p.poster)] = 1;
  }
  for (Posting& p : spool.postings) {
    if (p.expect == Expect::kNoFile && cut[size_t(p.poster)]) {
      p.expect = Expect::kCut;
    }
  }
  for (const Posting& p : spool.postings) {
    spool.complete += p.expect == Expect::kFile;
    spool.cut += p.expect == Expect::kCut;
  }
  if (write) fs::create_directories(dir);
  std::FILE* box = nullptr;
  if (write && !mbox.empty() && !(box = std::fopen(mbox.c_str(), "wb")))
    Die("cannot write " + mbox);
  std::string message;
  for (size_t i = 0; i < articles.size(); i++) {
    if (write) WriteFile(dir + "/" + std::to_string(i + 1), articles[i].text);
    if (box) {
      message.clear();
      AppendMboxMessage(&message, articles[i].text, int(i));
      if (std::fwrite(message.data(), 1, message.size(), box) != message.size())
        Die("cannot write " + mbox);
    }
    spool.bytes += articles[i].text.size();
  }
  if (box && std::fclose(box) != 0) Die("cannot write " + mbox);
  spool.articles = int(articles.size());
  return spool;
}

// Checks the decoded files of a spool; prints what is wrong. Returns the
// number of faults.
int VerifySpool(const Spool& spool, const std::string& out) {
  int faults = 0;
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(out)) {
    (void)entry;
    files++;
  }
  size_t expected_files = 0;
  for (const Posting& p : spool.postings) {
    std::string path = out + "/" + p.name;
    bool exists = fs::exists(path);
    if (p.expect == Expect::kFile) {
      expected_files++;
      if (!FileMatches(path, Rng(p.data_seed), p.size)) {
        if (faults++ < 5) {
          std::fprintf(stderr, "  %s: %s\n", p.name.c_str(),
                       exists ? "decoded bytes differ" : "not written");
        }
      }
    } else if (p.expect == Expect::kNoFile) {
      if (exists && faults++ < 5) {
        std::fprintf(stderr, "  %s: written, but a part is missing\n",
                     p.name.c_str());
      }
    } else if (exists) {
      expected_files++;
    }
  }
  if (files != expected_files) {
    if (faults++ < 5) {
      std::fprintf(stderr, "  %zu files written, %zu expected\n", files,
                   expected_files);
    }
  }
  return faults;
}

// Article file names in the order a shell glob gives them.
std::vector<std::string> GlobOrder(int count) {
  std::vector<std::string> names;
  for (int i = 1; i <= count; i++) names.push_back(std::to_string(i));
  std::sort(names.begin(), names.end());
  return names;
}

// A log of `entries` entries for `dir`: its first `logged` article files,
// then expired articles that are no longer in the spool.
void WriteLog(const std::string& path, const std::string& dir, int entries,
              int logged) {
  // Appended piece by piece: g++ 12 at -O3 takes "*" + dir for a memcpy
  // that may overlap (-Wrestrict), which it is not.
  std::string text = "*";
  text += dir;
  text += '\n';
  for (int i = 1; i <= entries; i++) {
    int name = i <= logged ? i : 1000000 + i;
    text += '@';
    text += std::to_string(name);
    text += '\n';
  }
  WriteFile(path, text);
}
