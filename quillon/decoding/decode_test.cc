#include "decoding/decode.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "decoding/output.h"
#include "driver/encodings.h"
#include "log/log.h"
#include "test_support.h"

namespace {

std::string Bytes(int n) {
  std::string data;
  for (int i = 0; i < n; ++i) data += static_cast<char>(i * 131 + i / 7);
  return data;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    lines.push_back(text.substr(at, nl + 1 - at));
    at = nl + 1;
  }
  return lines;
}

std::string Join(const std::vector<std::string>& lines, size_t from,
                 size_t to) {
  std::string text;
  for (size_t i = from; i < to && i < lines.size(); ++i) text += lines[i];
  return text;
}

std::string Article(const std::string& subject, const std::string& body) {
  return "Subject: " + subject + "\nLines: 9\n\n" + body + "-- \nsig\n";
}

class DecodeTest : public testing::Test {
 protected:
  void SetUp() override {
    options.DESTDIR = out.path.c_str();
    pass.options = &options;
    pass.reporter = reporter.get();
  }

  // A record as the catalogue hands it over.
  Segment* Add(const std::string& path, int group, char* begin,
               int64_t offset = 0) {
    Segment* s = NewSegment(TestRecords());
    s->path = NewString(TestRecords(), path.c_str());
    s->group = group;
    s->begin = begin;
    s->offset = offset;
    *tail = s;
    tail = &s->next;
    return s;
  }
  // Another record of the same article file.
  Segment* AddSame(Segment* of, int group, int64_t offset) {
    Segment* s = Add("", group, of->begin, offset);
    s->path = of->path;
    return s;
  }
  std::string Run() {
    outcome = decode(list, options, TestRecords(), reporter.get());
    return reporter.Out();
  }

  TempDir in, out;
  Options options;
  TestReporter reporter;
  // For the steps of a pass called one by one.
  PassOutput pass;
  Segment* list = nullptr;
  Segment** tail = &list;
  DecodeOutcome outcome;
};

TEST_F(DecodeTest, PostingInThreeArticlesOfOneFile) {
  std::string data = Bytes(300);
  std::vector<std::string> lines = Lines(Uuencode(data, "dir/out.bin"));
  // Windows stand in the file as part 2, part 1, part 3.
  std::string a2 = Article("p2", Join(lines, 3, 6));
  std::string a1 = Article("p1", Join(lines, 0, 3));
  std::string a3 = Article("p3", Join(lines, 6, lines.size()));
  WriteFile(in.Path("art"), a2 + a1 + a3);
  char* begin = NewBeginName(TestRecords(), "dir/out.bin");
  Segment* p1 = Add(in.Path("art"), 1, begin, a2.size());
  AddSame(p1, 1, 0);
  AddSame(p1, 1, a2.size() + a1.size());
  EXPECT_EQ(Run(), "\nUUdecoding out.bin\n");
  EXPECT_EQ(ReadFile(out.Path("out.bin")), data);
  EXPECT_STREQ(begin, MARKER);
  for (Segment* s = list; s; s = s->next) EXPECT_EQ(s->mark, 1);
}

// Full data lines are written as they are read; at the end line the two
// lines before it are looked at again, and only those that are no full line
// are written then, after everything else.
TEST_F(DecodeTest, EndLineLooksBackAcrossFullLines) {
  std::string full1 = Bytes(45), full2 = Bytes(90).substr(45), brief = "short";
  std::string m1 = UuencodeLines(full1), m2 = UuencodeLines(full2),
              s = UuencodeLines(brief);
  struct Case {
    std::string body, file;
  } cases[] = {
      {m1 + m2, full1 + full2},     {s + m1, full1 + brief},
      {s + m1 + m2, full1 + full2}, {m1 + s + m2, full1 + full2 + brief},
      {m1 + "`\n", full1},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string name = "f";
    name += std::to_string(n++);
    WriteFile(in.Path(name), "begin 644 " + name + "\n" + c.body + "end\n");
    Add(in.Path(name), 1, NewBeginName(TestRecords(), name.c_str()));
  }
  Run();
  n = 0;
  for (const Case& c : cases) {
    std::string name = "f";
    name += std::to_string(n++);
    EXPECT_EQ(ReadFile(out.Path(name)), c.file) << name;
  }
}

// A window may end between two full lines of one article: the lines behind
// it belong to the next segment and are decoded once.
TEST_F(DecodeTest, WindowEndsInsideARunOfFullLines) {
  std::string data = Bytes(45 * 40 + 7);
  std::vector<std::string> lines = Lines(Uuencode(data, "run.bin"));
  for (size_t cut : {size_t{2}, size_t{20}, size_t{40}}) {
    TempDir dir;
    WriteFile(dir.Path("art"), Join(lines, 0, lines.size()));
    Segment* first =
        Add(dir.Path("art"), 1, NewBeginName(TestRecords(), "run.bin"));
    AddSame(first, 1, static_cast<int64_t>(Join(lines, 0, cut).size()));
    Run();
    EXPECT_EQ(ReadFile(out.Path("run.bin")), data) << cut;
    list = nullptr;
    tail = &list;
  }
}

// Wire-format articles: CR LF full lines, and a stuffed dot before a short
// line that begins with one.
TEST_F(DecodeTest, WireFormatLinesDecodeAsTheirText) {
  std::string data = Bytes(45 * 30) + Bytes(14 + 45).substr(45);
  std::string text;
  for (const std::string& line : Lines(Uuencode(data, "w.bin"))) {
    std::string crlf = line.substr(0, line.size() - 1) + "\r\n";
    text += (crlf[0] == '.' ? "." : "") + crlf;
  }
  ASSERT_NE(text.find("\r\n.."), std::string::npos);
  WriteFile(in.Path("wire"), text + ".\r\n");
  Add(in.Path("wire"), 1, NewBeginName(TestRecords(), "w.bin"));
  Run();
  EXPECT_EQ(ReadFile(out.Path("w.bin")), data);
}

TEST_F(DecodeTest, MaxseekEndsWindowsAtLaterSegmentsOfTheSameFile) {
  Segment* a = Add("art", 1, nullptr, 0);
  Segment* b = AddSame(a, 1, 900);
  Segment* c = AddSame(a, 1, 400);
  Add("other", 1, nullptr, 200);
  BeginPassIndex(&pass, list);
  EXPECT_EQ(maxseek(pass, list, a, 1500), 400);
  EXPECT_EQ(maxseek(pass, list, c, 1500), 900);
  EXPECT_EQ(maxseek(pass, list, b, 1500), 1500);
  EXPECT_EQ(maxseek(pass, list, a, 300), 300);
  EndPassIndex(&pass);
}

TEST_F(DecodeTest, CleanWaitsForEverySegmentOfAFile) {
  options.DEL = true;
  WriteFile(in.Path("a"), "x");
  WriteFile(in.Path("b"), "x");
  LogEntry ea{nullptr, 0, nullptr}, eb{nullptr, 0, nullptr};
  Segment* a1 = Add(in.Path("a"), 1, nullptr);
  Segment* a2 = AddSame(a1, 1, 10);
  Segment* b = Add(in.Path("b"), 1, nullptr);
  a1->logentry = a2->logentry = &ea;
  b->logentry = &eb;
  BeginPassIndex(&pass, list);
  MarkProcessed(&pass, a1);
  MarkProcessed(&pass, b);
  clean(&pass, list);
  EXPECT_TRUE(FileExists(in.Path("a")));
  EXPECT_FALSE(FileExists(in.Path("b")));
  EXPECT_EQ(ea.flag, 0);
  EXPECT_EQ(eb.flag, 1);
  MarkProcessed(&pass, a2);
  options.DEL = false;
  clean(&pass, list);
  EndPassIndex(&pass);
  EXPECT_TRUE(FileExists(in.Path("a")));
  EXPECT_EQ(ea.flag, 1);
}

TEST_F(DecodeTest, SuppressedAndUnassignedSegments) {
  options.DEL = true;
  std::string err = out.Path("errors");
  options.ERRFILE = err.c_str();
  std::string text = Article("junk", "some text\nbegin 644 no.bin\n");
  WriteFile(in.Path("junk"), text);
  LogEntry entry{nullptr, 0, nullptr};
  Segment* never = Add(in.Path("missing"), 0, nullptr);
  Segment* junk =
      Add(in.Path("junk"), -1, NewBeginName(TestRecords(), "no.bin"));
  junk->logentry = &entry;
  EXPECT_EQ(Run(), "\n");
  EXPECT_EQ(never->mark, 1);
  EXPECT_EQ(junk->mark, 1);
  EXPECT_EQ(ReadFile(err), text);
  EXPECT_FALSE(FileExists(in.Path("junk")));
  EXPECT_FALSE(FileExists(out.Path("no.bin")));
  EXPECT_EQ(entry.flag, 1);

  // Without an error file the segment is read but not processed.
  options.ERRFILE = nullptr;
  WriteFile(in.Path("junk"), text);
  list = nullptr;
  tail = &list;
  Segment* kept = Add(in.Path("junk"), -1, nullptr);
  entry.flag = 0;
  kept->logentry = &entry;
  EXPECT_EQ(Run(), "\n");
  EXPECT_EQ(kept->mark, 0);
  EXPECT_TRUE(FileExists(in.Path("junk")));
  EXPECT_EQ(entry.flag, 0);
}

TEST_F(DecodeTest, SharedBeginNameOfAnotherGroupGetsANumberedFile) {
  WriteFile(in.Path("x"), Article("x", Uuencode(Bytes(50), "same.bin")));
  WriteFile(in.Path("y"), Article("y", Uuencode(Bytes(70), "same.bin")));
  WriteFile(in.Path("z"), Article("z", Uuencode(Bytes(90), "same.bin")));
  char* begin = NewBeginName(TestRecords(), "same.bin");
  Add(in.Path("x"), 1, begin);
  Add(in.Path("y"), 2, begin);
  // A copy inside the same posting starts nothing.
  Add(in.Path("z"), 2, begin);
  EXPECT_EQ(Run(), "\nUUdecoding same.bin\nUUdecoding same.bin.1\n");
  EXPECT_EQ(ReadFile(out.Path("same.bin")), Bytes(50));
  EXPECT_EQ(ReadFile(out.Path("same.bin.1")), Bytes(70));
  for (Segment* s = list; s; s = s->next) EXPECT_EQ(s->mark, 1);
}

TEST_F(DecodeTest, OutputNameOfAnotherGroupIsNumberedPastUsedNames) {
  // Begin names a/x.zip, b/x.zip, x.zip.1 and c/x.zip: the third posting
  // took x.zip.1 itself, so the fourth becomes x.zip.2.
  const char* names[] = {"a/x.zip", "b/x.zip", "x.zip.1", "c/x.zip"};
  for (int i = 0; i < 4; ++i) {
    std::string path = in.Path(std::string(1, 'p') += std::to_string(i));
    WriteFile(path, Article("p", Uuencode(Bytes(10 + i), names[i])));
    Add(path, i + 1, NewBeginName(TestRecords(), names[i]));
  }
  EXPECT_EQ(Run(),
            "\nUUdecoding x.zip\nUUdecoding x.zip.1\nUUdecoding x.zip.1.1\n"
            "UUdecoding x.zip.2\n");
  EXPECT_EQ(ReadFile(out.Path("x.zip")), Bytes(10));
  EXPECT_EQ(ReadFile(out.Path("x.zip.1")), Bytes(11));
  EXPECT_EQ(ReadFile(out.Path("x.zip.1.1")), Bytes(12));
  EXPECT_EQ(ReadFile(out.Path("x.zip.2")), Bytes(13));
}

TEST_F(DecodeTest, DirectoryAtANumberedNameIsPassedOver) {
  WriteFile(in.Path("x"), Article("x", Uuencode(Bytes(5), "n.bin")));
  WriteFile(in.Path("y"), Article("y", Uuencode(Bytes(6), "n.bin")));
  std::filesystem::create_directory(out.Path("n.bin.1"));
  char* begin = NewBeginName(TestRecords(), "n.bin");
  Add(in.Path("x"), 1, begin);
  Segment* y = Add(in.Path("y"), 2, begin);
  EXPECT_EQ(Run(), "\nUUdecoding n.bin\nUUdecoding n.bin.2\n");
  EXPECT_EQ(reporter.Err(), "");
  EXPECT_EQ(ReadFile(out.Path("n.bin.2")), Bytes(6));
  EXPECT_TRUE(std::filesystem::is_directory(out.Path("n.bin.1")));
  EXPECT_EQ(y->mark, 1);
}

TEST_F(DecodeTest, DosNamesOfTwoPostingsOfOneName) {
  options.DOS = true;
  WriteFile(in.Path("x"), Article("x", Uuencode(Bytes(5), "holiday.zip")));
  WriteFile(in.Path("y"), Article("y", Uuencode(Bytes(6), "holiday.zip")));
  char* begin = NewBeginName(TestRecords(), "holiday.zip");
  Add(in.Path("x"), 1, begin);
  Add(in.Path("y"), 2, begin);
  // The shared string is met twice by the first walk, as for any name used
  // twice; the second posting takes the next number.
  EXPECT_EQ(Run(), "\nUUdecoding holida01.zip\nUUdecoding holida02.zip\n");
  EXPECT_EQ(ReadFile(out.Path("holida01.zip")), Bytes(5));
  EXPECT_EQ(ReadFile(out.Path("holida02.zip")), Bytes(6));
}

TEST_F(DecodeTest, DosNamesAreNumberedInTheCatalogue) {
  options.DOS = true;
  WriteFile(in.Path("a"), Uuencode(Bytes(10), "pictures_a_1.jpg"));
  WriteFile(in.Path("b"), Uuencode(Bytes(20), "pictures_b_1.jpg"));
  Add(in.Path("a"), 1, NewBeginName(TestRecords(), "pictures_a_1.jpg"));
  Add(in.Path("b"), 2, NewBeginName(TestRecords(), "pictures_b_1.jpg"));
  EXPECT_EQ(Run(), "\nUUdecoding pictur_1.jpg\nUUdecoding pictur01.jpg\n");
  EXPECT_EQ(ReadFile(out.Path("pictur_1.jpg")), Bytes(10));
  EXPECT_EQ(ReadFile(out.Path("pictur01.jpg")), Bytes(20));
}

TEST_F(DecodeTest, FailedOutputFileKeepsItsArticles) {
  options.DEL = true;
  options.DIR = true;
  reporter.reporter.quiet = true;
  std::vector<std::string> lines = Lines(Uuencode(Bytes(100), "../up.bin"));
  WriteFile(in.Path("p1"), Article("p1", Join(lines, 0, 2)));
  // The last part also carries a posting of its own, which is decoded.
  WriteFile(in.Path("p2"), Article("p2", Join(lines, 2, lines.size()) +
                                             Uuencode(Bytes(7), "ok2.bin")));
  WriteFile(in.Path("ok"), Article("ok", Uuencode(Bytes(5), "ok.bin")));
  char* up = NewBeginName(TestRecords(), "../up.bin");
  Segment* p1 = Add(in.Path("p1"), 1, up);
  Segment* p2 = Add(in.Path("p2"), 1, up);
  Segment* ok = Add(in.Path("ok"), 2, NewBeginName(TestRecords(), "ok.bin"));
  EXPECT_EQ(Run(), "\n");
  EXPECT_EQ(reporter.Err(),
            "quillon: unable to create " + out.Path("../up.bin") + "\n");
  EXPECT_EQ(p1->mark, 0);
  EXPECT_EQ(p2->mark, 0);
  EXPECT_EQ(ok->mark, 1);
  EXPECT_TRUE(FileExists(in.Path("p1")));
  EXPECT_TRUE(FileExists(in.Path("p2")));
  EXPECT_FALSE(FileExists(in.Path("ok")));
  EXPECT_FALSE(FileExists(out.Path("../up.bin")));
  EXPECT_EQ(ReadFile(out.Path("ok.bin")), Bytes(5));
  EXPECT_EQ(ReadFile(out.Path("ok2.bin")), Bytes(7));
}

// Runs `decode` with files limited to `limit` bytes, the way a full disk
// or a quota refuses writes; returns what it wrote to standard error.
std::string RunWithSizeLimit(Segment* list, const Options& options,
                             TestReporter* reporter, rlim_t limit,
                             DecodeOutcome* outcome) {
  rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit lower = old;
  lower.rlim_cur = limit;
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &lower);
  *outcome = decode(list, options, TestRecords(), reporter->get());
  std::string err = reporter->Err();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, old_handler);
  return err;
}

TEST_F(DecodeTest, WriteErrorKeepsTheArticlesOfItsFile) {
  // The big file fails while its second part is written, or, smaller than
  // the stream buffer, only when it is closed.
  struct Case {
    rlim_t limit;
    int big;
  } cases[] = {{16000, 30000}, {1000, 2000}};
  options.DEL = true;
  reporter.reporter.quiet = true;
  for (const Case& c : cases) {
    std::vector<std::string> lines = Lines(Uuencode(Bytes(c.big), "big.bin"));
    size_t third = lines.size() / 3;
    list = nullptr;
    tail = &list;
    char* big = NewBeginName(TestRecords(), "big.bin");
    std::vector<LogEntry> entries(4, LogEntry{nullptr, 0, nullptr});
    for (size_t i = 0; i < 3; ++i) {
      std::string name = "b";
      name += std::to_string(i);
      size_t to = i == 2 ? lines.size() : (i + 1) * third;
      WriteFile(in.Path(name), Article(name, Join(lines, i * third, to)));
      Add(in.Path(name), 1, big)->logentry = &entries[i];
    }
    WriteFile(in.Path("s"), Article("s", Uuencode(Bytes(500), "small.bin")));
    Segment* small =
        Add(in.Path("s"), 2, NewBeginName(TestRecords(), "small.bin"));
    small->logentry = &entries[3];
    EXPECT_EQ(RunWithSizeLimit(list, options, &reporter, c.limit, &outcome),
              "quillon: write error on " + out.Path("big.bin") + "\n");
    EXPECT_TRUE(outcome.write_error);
    EXPECT_TRUE(outcome.failed);
    for (int i = 0; i < 3; ++i) {
      std::string name = "b";
      name += std::to_string(i);
      EXPECT_TRUE(FileExists(in.Path(name))) << c.limit << name;
      EXPECT_EQ(entries[i].flag, 0) << c.limit << name;
    }
    EXPECT_EQ(small->mark, 1);
    EXPECT_EQ(entries[3].flag, 1);
    EXPECT_FALSE(FileExists(in.Path("s")));
    // Nothing of the failed file is left, under its name or another.
    EXPECT_EQ(ReadFile(out.Path("small.bin")), Bytes(500));
    std::filesystem::remove(out.Path("small.bin"));
    EXPECT_TRUE(std::filesystem::is_empty(out.path)) << c.limit;
  }
  // A pass without write errors clears the state of the last one.
  list = nullptr;
  tail = &list;
  WriteFile(in.Path("s"), Uuencode("x", "x.bin"));
  Add(in.Path("s"), 1, NewBeginName(TestRecords(), "x.bin"));
  Run();
  EXPECT_FALSE(outcome.write_error);
  EXPECT_FALSE(outcome.failed);
}

TEST_F(DecodeTest, SymbolicLinksAreNeverFollowed) {
  reporter.reporter.quiet = true;
  TempDir elsewhere;
  std::string target = elsewhere.Path("target");
  WriteFile(target, "keep");
  ASSERT_EQ(symlink(target.c_str(), out.Path("l.bin").c_str()), 0);
  std::string gone = elsewhere.Path("gone");
  ASSERT_EQ(symlink(gone.c_str(), out.Path("d.bin").c_str()), 0);
  std::vector<std::string> paths;
  for (std::string name : {"l.bin", "d.bin", "ok.bin"}) {
    paths.push_back(in.Path(name));
    WriteFile(paths.back(), Uuencode(name, name));
  }
  char* argv[] = {paths[0].data(), paths[1].data(), paths[2].data()};
  outcome = decode_p(&list, 0, 3, argv, options, TestRecords(), reporter.get());
  // A link at the name is passed over like any other file there.
  EXPECT_EQ(reporter.Err(), "");
  EXPECT_EQ(ReadFile(target), "keep");
  EXPECT_FALSE(FileExists(gone));
  EXPECT_TRUE(std::filesystem::is_symlink(out.Path("l.bin")));
  EXPECT_TRUE(std::filesystem::is_symlink(out.Path("d.bin")));
  EXPECT_EQ(ReadFile(out.Path("l.bin.1")), "l.bin");
  EXPECT_EQ(ReadFile(out.Path("d.bin.1")), "d.bin");
  EXPECT_EQ(ReadFile(out.Path("ok.bin")), "ok.bin");
  EXPECT_FALSE(outcome.failed);
  EXPECT_FALSE(outcome.article_unreadable);
}

// Offsets past 4 GiB, in a sparse file that costs no disk space.
TEST_F(DecodeTest, ArticlesBeyondFourGigabytes) {
  const int64_t hole = (int64_t{9} << 29) + 7;  // 4.5 GiB and a bit
  std::string a1 = Article("p1", Uuencode(Bytes(100), "far.bin"));
  std::string a2 = Article("p2", Uuencode(Bytes(60), "farther.bin"));
  std::string path = in.Path("spool");
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    bool written = fseeko(f, hole, SEEK_SET) == 0 &&
                   std::fwrite(a1.data(), 1, a1.size(), f) == a1.size() &&
                   std::fwrite(a2.data(), 1, a2.size(), f) == a2.size();
    if (std::fclose(f) != 0 || !written)
      GTEST_SKIP() << "no sparse file of 4.5 GiB here";
  }
  Segment* p1 = Add(path, 1, NewBeginName(TestRecords(), "far.bin"), hole);
  Segment* p2 = AddSame(p1, 2, hole + static_cast<int64_t>(a1.size()));
  p2->begin = NewBeginName(TestRecords(), "farther.bin");
  BeginPassIndex(&pass, list);
  EXPECT_EQ(maxseek(pass, list, p1, hole * 2), p2->offset);
  EndPassIndex(&pass);
  EXPECT_EQ(Run(), "\nUUdecoding far.bin\nUUdecoding farther.bin\n");
  EXPECT_EQ(ReadFile(out.Path("far.bin")), Bytes(100));
  EXPECT_EQ(ReadFile(out.Path("farther.bin")), Bytes(60));
}

TEST_F(DecodeTest, NamesOutsideTheOutputDirectoryAreRefused) {
  options.DIR = true;
  reporter.reporter.quiet = true;
  for (std::string name : {"/abs.bin", "..", "a/../../b.bin", "a/.."}) {
    WriteFile(in.Path("u"), Uuencode("x", name));
    std::string path = in.Path("u");
    char* argv[] = {path.data()};
    decode_p(&list, 0, 1, argv, options, TestRecords(), reporter.get());
    EXPECT_EQ(reporter.Err(),
              "quillon: unable to create " + out.path + "/" + name + "\n");
    EXPECT_TRUE(std::filesystem::is_empty(out.path)) << name;
  }
  EXPECT_FALSE(FileExists(out.Path("../b.bin")));
}

// The pass ends at an article that cannot be opened; a write error that the
// open output file has not shown yet is reported before it.
TEST_F(DecodeTest, WriteErrorIsReportedBeforeThePassEnds) {
  std::vector<std::string> lines = Lines(Uuencode(Bytes(45 * 2000), "x.bin"));
  WriteFile(in.Path("a"), Join(lines, 0, lines.size() - 3));  // no end line
  Add(in.Path("a"), 1, NewBeginName(TestRecords(), "x.bin"));
  Add(in.Path("gone"), 1, nullptr);
  reporter.reporter.quiet = true;
  EXPECT_EQ(RunWithSizeLimit(list, options, &reporter, 20000, &outcome),
            "quillon: write error on " + out.Path("x.bin") +
                "\nquillon: cannot access file " + in.Path("gone") + "\n");
  EXPECT_TRUE(outcome.article_unreadable);
  EXPECT_TRUE(outcome.write_error);
  EXPECT_TRUE(outcome.failed);
}

// Nothing after the unreadable article is decoded, cleaned or printed; the
// file still open is dropped (its articles are all kept), and is no "Short
// file".
TEST_F(DecodeTest, ArticleThatCannotBeOpenedEndsThePass) {
  std::vector<std::string> lines = Lines(Uuencode(Bytes(450), "x.bin"));
  WriteFile(in.Path("a"), Join(lines, 0, 6));  // no end line
  WriteFile(in.Path("b"), Uuencode("b", "b.bin"));
  options.DEL = true;
  LogEntry entry{nullptr, 0, nullptr};
  Add(in.Path("a"), 1, NewBeginName(TestRecords(), "x.bin"))->logentry = &entry;
  Add(in.Path("gone"), 1, nullptr);
  Add(in.Path("b"), 2, NewBeginName(TestRecords(), "b.bin"));
  EXPECT_EQ(Run(), "\n");
  EXPECT_EQ(reporter.Err(),
            "quillon: cannot access file " + in.Path("gone") + "\n");
  EXPECT_TRUE(outcome.article_unreadable);
  EXPECT_TRUE(outcome.failed);
  EXPECT_FALSE(outcome.write_error);
  EXPECT_TRUE(std::filesystem::is_empty(out.path));
  EXPECT_EQ(list->mark, 0);
  EXPECT_EQ(entry.flag, 0);
  EXPECT_TRUE(FileExists(in.Path("a")));
  EXPECT_TRUE(FileExists(in.Path("b")));
  EXPECT_FALSE(FileExists(out.Path("b.bin")));
}

TEST(BaseName, KeepsTheLastComponent) {
  const char* table[][2] = {
      {"a/b/c.zip", "c.zip"}, {"/c.zip", "c.zip"}, {"c.zip", "c.zip"},
      {"dir/", ""},           {"/", ""},           {"", ""}};
  for (auto& row : table) {
    char name[kLineSize];
    std::strcpy(name, row[0]);
    EXPECT_EQ(BaseName(name), name);
    EXPECT_STREQ(name, row[1]) << row[0];
  }
}

TEST(CreatePath, JoinsDestdirOfAnyLength) {
  Options options;
  EXPECT_EQ(CreatePath(options, "a.bin"), "a.bin");
  std::string dest(300, 'd');
  options.DESTDIR = dest.c_str();
  EXPECT_EQ(CreatePath(options, "a.bin"), dest + "/a.bin");
}

TEST(GetFilePtr, ReportsWhatCannotBeOpened) {
  TestReporter reporter;
  EXPECT_EQ(GetFilePtr(nullptr, reporter.get()), nullptr);
  TempDir dir;
  std::string bad = dir.Path("no/such");
  EXPECT_EQ(GetFilePtr(bad.c_str(), reporter.get()), nullptr);
  EXPECT_EQ(reporter.Err(), bad + ": cannot open\n");
  std::FILE* f = GetFilePtr(dir.Path("err").c_str(), reporter.get());
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_TRUE(FileExists(dir.Path("err")));
}

}  // namespace
