#include "mime/catalogue.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "test_support.h"

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

TEST(GroupMimeMessages, TotalsThatDisagree) {
  std::string err;
  EXPECT_EQ(Group({{"x", 1, 2}, {"x", 2, 3}, {"x", 3}}, &err), "---|012");
  EXPECT_EQ(err, "quillon: parts of x disagree on their total\n");
}

}  // namespace
