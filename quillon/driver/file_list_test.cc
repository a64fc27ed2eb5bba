#include "driver/file_list.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::vector<std::string> Split(const std::string& text) {
  FileList list;
  list.text.assign(text.begin(), text.end());
  SplitFileList(&list);
  return {list.paths.begin(), list.paths.end()};
}

}  // namespace

TEST(SplitFileList, LineEndsAndEmptyLines) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Split(""), V{});
  EXPECT_EQ(Split("\n\r\n\n"), V{});
  EXPECT_EQ(Split("a\nb\n"), (V{"a", "b"}));
  EXPECT_EQ(Split("a\r\nb\r\n"), (V{"a", "b"}));
  // The last line may lack its end; blanks and inner CRs are the path's.
  EXPECT_EQ(Split("a\n\nb c \r\nd\re"), (V{"a", "b c ", "d\re"}));
  EXPECT_EQ(Split("x\r"), V{"x"});
}
