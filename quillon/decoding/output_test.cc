#include "decoding/output.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Whether the files of a test are made unnamed, where the file system can.
bool g_unnamed = true;

// Runs `body` once with unnamed temporary files and once with hidden names.
template <typename Body>
void BothWays(Body body) {
  for (bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed" : "hidden name");
    g_unnamed = unnamed;
    body();
  }
  g_unnamed = true;
}

OutputFile Written(const std::string& path, const std::string& bytes) {
  OutputFile f;
  EXPECT_TRUE(CreateOutputFile(&f, path, g_unnamed));
  EXPECT_EQ(write(f.fd, bytes.data(), bytes.size()),
            static_cast<ssize_t>(bytes.size()));
  return f;
}

// Nothing is seen under a real name until the file is placed, and a file
// dropped instead leaves nothing.
TEST(OutputFile, DroppedOrPlaced) {
  BothWays([] {
    TempDir dir;
    for (bool place : {false, true}) {
      OutputFile f = Written(dir.Path("a.bin"), "data");
      std::vector<std::string> before = Entries(dir.path);
      // A hidden name at most, of the run's own form.
      ASSERT_LE(before.size(), 1u);
      if (!before.empty()) {
        EXPECT_EQ(before[0].rfind(".quillon-", 0), 0u);
      }
      if (place) {
        EXPECT_EQ(PlaceOutputFile(&f, dir.Path("a.bin")), Placement::kPlaced);
      }
      DropOutputFile(&f);
      EXPECT_EQ(Entries(dir.path).size(), place ? 1u : 0u);
    }
    EXPECT_EQ(ReadFile(dir.Path("a.bin")), "data");
  });
}

// Same bytes at the name are found, also past the first chunk compared;
// other bytes, a link to the same bytes and a fifo are things there that
// stay as they are (files, directories and links of other bytes at a name:
// test_output_files, test_output_errors).
TEST(OutputFile, WhatIsThereAlreadyIsNeverReplaced) {
  std::string bytes(200000, 'q');
  std::string other = bytes;
  other.back() = 'r';
  BothWays([&] {
    TempDir dir;
    WriteFile(dir.Path("same"), bytes);
    WriteFile(dir.Path("other"), other);
    ASSERT_EQ(symlink("same", dir.Path("link").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0600), 0);
    std::vector<std::string> entries = Entries(dir.path);
    OutputFile f = Written(dir.Path("x"), bytes);
    EXPECT_EQ(PlaceOutputFile(&f, dir.Path("same")), Placement::kSame);
    for (const char* name : {"other", "link", "fifo"})
      EXPECT_EQ(PlaceOutputFile(&f, dir.Path(name)), Placement::kTaken) << name;
    DropOutputFile(&f);
    EXPECT_EQ(Entries(dir.path), entries);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Path("link")));
    EXPECT_EQ(ReadFile(dir.Path("other")), other);
  });
}

// The names tried at a commit: those written for another owner in this
// run are passed over even where they hold the same bytes; the search
// goes on from the first name, and under -dos stays 8.3.
TEST(CommitOutputFile, NamesTriedInTurn) {
  struct Case {
    bool dos;
    const char* first;
    const char* base;
    std::vector<std::string> there;    // files with other bytes
    std::vector<std::string> written;  // written for another owner
    const char* want;
  } cases[] = {
      {false, "x.zip", "x.zip", {"x.zip", "x.zip.1"}, {}, "x.zip.2"},
      {false, "x.zip", "x.zip", {}, {"x.zip"}, "x.zip.1"},
      {false, "x.zip.2", "x.zip", {"x.zip.2"}, {"x.zip", "x.zip.1"}, "x.zip.3"},
      {true, "holiday.zip", "holiday.zip", {"holiday.zip"}, {}, "holida01.zip"},
      {true,
       "holida02.zip",
       "holiday.zip",
       {"holida02.zip"},
       {"holida01.zip"},
       "holida03.zip"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first);
    Options options;
    options.DOS = c.dos;
    TempDir dir;
    options.DESTDIR = dir.path.c_str();
    PassOutput output;
    output.options = &options;
    for (const std::string& n : c.there) WriteFile(dir.Path(n), "other");
    for (const std::string& n : c.written) {
      WriteFile(dir.Path(n), "mine");
      output.written[n] = 1;
    }
    NameSearch names;
    names.first = c.first;
    names.base = c.base;
    names.owner = 2;
    OutputFile f = Written(dir.Path(c.first), "mine");
    std::string name;
    ASSERT_TRUE(CommitOutputFile(&output, &f, names, &name));
    DropOutputFile(&f);
    EXPECT_EQ(name, c.want);
    EXPECT_EQ(ReadFile(dir.Path(name)), "mine");
    EXPECT_EQ(output.written[name], 2);
  }
}

}  // namespace
