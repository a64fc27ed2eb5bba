#include "mime/quoted_printable.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace std::literals;

// Each line of `text` (LF-ended, the last one perhaps not) decoded in a
// buffer of its own size; "|" marks where a soft line break joined two.
std::string Decode(const std::string& text) {
  std::string result;
  for (size_t pos = 0; pos < text.size();) {
    size_t lf = text.find('\n', pos);
    size_t end = lf == std::string::npos ? text.size() : lf + 1;
    std::vector<unsigned char> out(end - pos);
    QpLine d = DecodeQpLine(text.data() + pos, end - pos, out.data());
    result.append(out.begin(), out.begin() + static_cast<long>(d.written));
    if (d.soft) result += '|';
    pos = end;
  }
  return result;
}

TEST(DecodeQpLine, Lines) {
  const struct {
    std::string_view text, want;
  } cases[] = {
      {"plain text\n", "plain text\n"},
      {"CR LF ends\r\nbecome LF\r\n", "CR LF ends\nbecome LF\n"},
      {"no line end", "no line end"},
      {"\n\r\n", "\n\n"},
      // Hex in either case; every byte value.
      {"=3D=3d=00=FF=ff=0A=0D\n"sv, "==\0\xff\xff\n\r\n"sv},
      // Soft line breaks, LF or CR LF, also as the last line.
      {"soft=\nly=\r\njoined=", "soft|ly|joined|"},
      // Blanks at a line's end go, before a soft break too; others stay.
      {"trail \t \nsoft \t= \t\r\n a\tb \n", "trail\nsoft \t| a\tb\n"},
      {" \t\r\n", "\n"},
      // Malformed "=" sequences stay as they are.
      {"=G1 =4 =4g = x ==3D\n", "=G1 =4 =4g = x ==\n"},
      {"=4=\n=A\n==\n", "=4|=A\n=|"},
      // Bytes that should have been encoded pass as they are.
      {"8\xe9"
       "bit\x01\r!\n",
       "8\xe9"
       "bit\x01\r!\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Decode(std::string(c.text)), c.want) << c.text;
}

}  // namespace
