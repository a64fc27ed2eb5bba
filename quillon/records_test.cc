#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "quillon.h"

namespace {

// Records and texts are made in blocks: none moves or overlaps another as
// more are made, texts longer than a block's quarter among them.
TEST(Records, RecordsAndTextsStayWhereTheyWereMade) {
  Records records;
  std::vector<Segment*> segments;
  std::vector<std::pair<char*, std::string>> texts;
  for (int i = 0; i < 20000; ++i) {
    Segment* s = NewSegment(&records);
    EXPECT_EQ(s->group, -1);
    s->offset = i;
    segments.push_back(s);
    if (i % 40 == 0) {
      std::string text(static_cast<size_t>(i) % 30011 + (i % 7), 'a' + i % 26);
      texts.emplace_back(NewString(&records, text.c_str()), text);
    }
  }
  for (int i = 0; i < 20000; ++i) EXPECT_EQ(segments[i]->offset, i);
  for (const auto& [copy, text] : texts) EXPECT_EQ(copy, text);
  char* begin = NewBeginName(&records, "");
  EXPECT_STREQ(begin, "");
  EXPECT_EQ(begin[1], 0);  // the use counter
}

}  // namespace
