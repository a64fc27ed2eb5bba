#include "line_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../test_support.h"

namespace {

std::vector<std::string> Lines(const std::string& path, int size = 120) {
  LineFile f;
  EXPECT_TRUE(OpenLineFile(&f, path.c_str()));
  std::vector<std::string> lines;
  char buf[120];
  while (ReadLine(&f, buf, size)) lines.push_back(buf);
  CloseLineFile(&f);
  return lines;
}

TEST(LineFile, LongLinesArriveInPiecesOf119) {
  TempDir dir;
  WriteFile(dir.Path("f"), std::string(200, 'x') + "\nend\n");
  auto lines = Lines(dir.Path("f"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].size(), 119u);
  EXPECT_EQ(lines[1], std::string(81, 'x') + "\n");
}

TEST(LineFile, WireFormatDropsTheStuffedDot) {
  TempDir dir;
  std::string text = "Subject: x\r\n..dot line\r\n...\r\n.\r\n";
  WriteFile(dir.Path("wire"), text);
  auto lines = Lines(dir.Path("wire"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], ".dot line\r\n");
  EXPECT_EQ(lines[2], "..\r\n");
  EXPECT_EQ(lines[3], ".\r\n");
  // Positions stay raw.
  LineFile f;
  ASSERT_TRUE(OpenLineFile(&f, dir.Path("wire").c_str()));
  char buf[120];
  ReadLine(&f, buf, 120);
  ReadLine(&f, buf, 120);
  EXPECT_EQ(TellLine(&f), 24);
  CloseLineFile(&f);
}

TEST(LineFile, WireFormatSplitsLongLinesAsTheUnstuffedText) {
  TempDir dir;
  std::string body = ".." + std::string(130, 'y') + "\r\n.\r\n";
  WriteFile(dir.Path("wire"), body);
  auto lines = Lines(dir.Path("wire"));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "." + std::string(118, 'y'));
  EXPECT_EQ(lines[1], std::string(12, 'y') + "\r\n");
}

TEST(LineFile, OnlyFilesEndingInTheWireTerminatorAreWireFormat) {
  TempDir dir;
  // CR LF lines alone do not make a file wire format.
  WriteFile(dir.Path("native"), "..two dots\r\nlast\r\n");
  auto lines = Lines(dir.Path("native"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "..two dots\r\n");
  // A dot inside a line (not at its start) is left alone.
  WriteFile(dir.Path("wire"), "a..b\r\n.\r\n");
  EXPECT_EQ(Lines(dir.Path("wire"))[0], "a..b\r\n");
}

}  // namespace
