#include "mime/catalogue.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "decoding/line_file.h"
#include "test_support.h"
#include "text.h"

namespace {

// An article of the store: "" for a whole message, else "id/number/total"
// (total -1 where not given).
struct Article {
  std::string id;
  int number = 0;
  int total = -1;
};

// Groups the articles; returns each one's group ("-" for none) and then,
// after "|", the decode order by article index.
std::string Group(const std::vector<Article>& articles,
                  std::string* err = nullptr) {
  MimeCatalogue c;
  std::deque<Segment> segs(articles.size());
  for (size_t i = 0; i < articles.size(); ++i) {
    MimeArticle a;
    a.partial = !articles[i].id.empty();
    a.part = {articles[i].id, articles[i].number, articles[i].total};
    c.articles.push_back(a);
    c.segments.push_back(&segs[i]);
  }
  TestReporter reporter;
  int counter = 1;
  GroupMimeMessages(&c, &counter, reporter.get());
  if (err) *err = reporter.Err();
  std::string out;
  for (const Segment& s : segs)
    out += s.group == -1 ? std::string("-") : std::to_string(s.group);
  out += "|";
  std::vector<Segment*> order;
  MimeDecodeOrder(c, &order);
  for (Segment* s : order) out += std::to_string(s - &segs[0]);
  return out;
}

TEST(GroupMimeMessages, SplitMessagesJoinWhenComplete) {
  struct Case {
    std::string_view what;
    std::vector<Article> articles;
    std::string want;
  } cases[] = {
      {"whole messages", {{}, {}}, "12|01"},
      {"any order", {{"x", 3, 3}, {"x", 1}, {"x", 2}}, "111|120"},
      {"total on a later part", {{"x", 1}, {"x", 2, 2}}, "11|01"},
      {"a part missing", {{"x", 1, 3}, {"x", 3}}, "--|01"},
      {"no total", {{"x", 1}, {"x", 2}}, "--|01"},
      {"duplicate behind", {{"x", 2, 2}, {"x", 2}, {"x", 1}}, "111|201"},
      {"ids apart, whole between",
       {{"a", 1, 2}, {}, {"b", 1, 1}, {"a", 2}},
       "1231|0312"},
  };
  for (const Case& c : cases) EXPECT_EQ(Group(c.articles), c.want) << c.what;
}

// Whether the detector claims the article in `text`, fed to it as the
// scanner feeds it: in pieces of at most kLineSize - 1 characters, the
// Subject line not at all, and the lines after it with its subject.
bool Claims(const std::string& text) {
  TempDir dir;
  WriteFile(dir.Path("a"), text);
  LineFile in;
  EXPECT_TRUE(OpenLineFile(&in, dir.Path("a").c_str()));
  MimeCatalogue c;
  Segment seg{};
  std::string subject;
  char piece[kLineSize];
  bool claimed = false;
  bool line_start = true;
  while (ReadLine(&in, piece, kLineSize)) {
    bool start = line_start;
    line_start = in.line_start;
    if (start && subject.empty() && StartsWith(piece, "Subject: ")) {
      subject = piece + 9;
      continue;
    }
    ArticleLine line{
        .text = piece, .line_start = start, .subject = subject, .in = &in};
    claimed |= DetectMimeArticle(&c, line, &seg);
  }
  CloseLineFile(&in);
  return claimed;
}

// The header is read as a whole at its end, whatever came before the field
// that makes it MIME, and however long its lines and the header are.
TEST(DetectMimeArticle, FieldsOfTheWholeHeaderCount) {
  // 70 KB of fields of 128 bytes (lines longer than a piece): beyond what a
  // header keeps, which they fill to the byte.
  std::string fields;
  while (fields.size() < 70 * 1024)
    fields += "X-Pad: " + std::string(120, 'p') + "\n";
  const std::string subject = "Subject: a file\n";
  const std::string base64 = "Content-Transfer-Encoding: base64\n";
  struct Case {
    std::string_view what;
    std::string header;
    bool claimed;
  } cases[] = {
      {"plain news header", "From: a@b\n" + subject + "Lines: 3\n", false},
      {"MIME field last", "From: a@b\n" + subject + "Lines: 3\n" + base64,
       true},
      {"name in capitals", subject + "CONTENT-TRANSFER-ENCODING: BASE64\n",
       true},
      {"field not of MIME's", subject + "Contents: base64\n", false},
      {"multipart boundary past 119 characters",
       subject + "Content-Type: multipart/mixed;" + std::string(100, ' ') +
           "boundary=\"b\"\n",
       true},
      {"field after 30 KB of fields",
       subject + fields.substr(0, 30 * 1024) + base64, true},
      {"field past what a header keeps", subject + fields + base64, false},
      {"field before 70 KB of fields", subject + base64 + fields, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Claims(c.header + "\nbody\n"), c.claimed) << c.what;
  }
}

TEST(GroupMimeMessages, TotalsThatDisagree) {
  std::string err;
  EXPECT_EQ(Group({{"x", 1, 2}, {"x", 2, 3}, {"x", 3}}, &err), "---|012");
  EXPECT_EQ(err, "quillon: parts of x disagree on their total\n");
}

}  // namespace
