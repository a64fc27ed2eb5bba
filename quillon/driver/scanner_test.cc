#include "driver/scanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/caption.h"
#include "test_support.h"
#include "yenc/catalogue.h"

namespace {

const std::string kFull =
    "M" + std::string(60, 'A') + "\n";  // a full data line

// A header block of `lines` header lines and the blank line after it.
std::string Headers(int lines, const std::string& subject,
                    const std::string& from = "a@b.c") {
  std::string h = "From: " + from + "\nSubject: " + subject + "\n";
  for (int i = 2; i < lines; ++i)
    h += "X-Header-" + std::to_string(i) + ": v\n";
  return h + "\n";
}

struct Scan {
  Scan() {
    meminit(&pool);
    state.options = &options;
    state.reporter = reporter.get();
    state.records = &records;
    state.log_list = &log;
    state.catalogue = &catalogue;
    state.encodings = &encodings;
    state.pool = &pool;
    state.keywords = keywords;
  }
  ScanResult Run(std::vector<std::string> files) {
    paths = std::move(files);
    argv.clear();
    argv.push_back(const_cast<char*>("quillon"));
    for (auto& p : paths) argv.push_back(p.data());
    return ScanArticles(&state, 1, static_cast<int>(argv.size()), argv.data(),
                        &count);
  }
  std::vector<Segment*> Records() const {
    std::vector<Segment*> out;
    for (Segment* s = catalogue; s; s = s->next) out.push_back(s);
    return out;
  }
  Options options;
  TestReporter reporter{true};
  ::Records records;
  LogList log;
  // The record a yEnc segment carries.
  const YencPart& Part(const Segment* s) const {
    return YencPartOf(encodings.yenc, s);
  }
  Segment* catalogue = nullptr;
  Encodings encodings;
  // yEnc segments in reading order.
  const std::vector<Segment*>& yenc = encodings.yenc.segments;
  PosterPool pool;
  char* keywords[10] = {};
  ScanState state;
  std::vector<std::string> paths;
  std::vector<char*> argv;
  int count = 0;
};

TEST(Scanner, NeedsThreeFullLinesAfterTheSubject) {
  TempDir dir;
  WriteFile(dir.Path("two"), Headers(6, "a (1/1)") + kFull + kFull);
  WriteFile(dir.Path("pre"), kFull + kFull + Headers(6, "b") + kFull + kFull);
  WriteFile(dir.Path("three"), Headers(6, "c") + kFull + kFull + kFull);
  Scan scan;
  EXPECT_EQ(scan.Run({dir.Path("two"), dir.Path("pre"), dir.Path("three")}),
            kScanDone);
  ASSERT_EQ(scan.count, 1);
  EXPECT_STREQ(scan.catalogue->caption, "C");
}

TEST(Scanner, OffsetIsTheStartOfASixLineHeaderBlock) {
  TempDir dir;
  std::string body = kFull + kFull + kFull;
  WriteFile(dir.Path("six"), "x\n" + Headers(6, "s") + body);
  WriteFile(dir.Path("five"), "x\n" + Headers(5, "f") + body);
  Scan scan;
  scan.Run({dir.Path("six"), dir.Path("five")});
  auto records = scan.Records();
  ASSERT_EQ(records.size(), 2u);
  for (Segment* s : records) {
    if (std::string(s->caption) == "S") {
      EXPECT_EQ(s->offset, 2);
    }
    if (std::string(s->caption) == "F") {
      EXPECT_EQ(s->offset, 0);
    }
  }
}

TEST(Scanner, FoldedLinesContinueTheHeaderRun) {
  TempDir dir;
  std::string body = kFull + kFull + kFull;
  // Three header lines, a folded continuation, three more: a run of six.
  WriteFile(dir.Path("folded"),
            "x\nA: 1\nB: 2\nC: 3\n\tfolded\nFrom: a@b\n"
            "Subject: t\nD: 4\n\n" +
                body);
  // A colon without a blank after it breaks the run, and so does a line
  // that begins with a blank when no header line comes before it.
  WriteFile(dir.Path("broken"),
            "x\n folded\nA: 1\nB:2\nC: 3\nFrom: a@b\n"
            "Subject: t\nD: 4\nE: 5\n\n" +
                body);
  Scan scan;
  scan.Run({dir.Path("folded"), dir.Path("broken")});
  ASSERT_EQ(scan.count, 2);
  for (Segment* s = scan.catalogue; s; s = s->next)
    EXPECT_EQ(s->offset, s->path == scan.paths[0] ? 2 : 0);
}

// Subject:, From: and Date: lines longer than a line read are read whole,
// and count as one line of the header run; under -extended too, where a
// long Subject line begins the next article.
TEST(Scanner, HeaderLinesAreReadWhole) {
  TempDir dir;
  const std::string text(400, 'x');
  const std::string subject = text + " long.bin (2/3)";
  std::string body = kFull + kFull + kFull;
  auto headers = [&](int lines) {
    std::string h = "From: " + text + " <long.poster@example.org>\n" +
                    "Subject: " + subject + "\nDate: Mon, 13 Jan 1997 " +
                    "10:20:30 GMT (" + text + ")\n";
    for (int i = 3; i < lines; ++i) h += "X-" + std::to_string(i) + ": v\n";
    return "x\n" + h + "\n";
  };
  WriteFile(dir.Path("six"), headers(6) + body);
  WriteFile(dir.Path("five"), headers(5) + body);
  WriteFile(dir.Path("batch"), Headers(6, "chat") + "text\n" + headers(6) +
                                   "begin 644 x\n" + body);
  Scan scan;
  scan.Run({dir.Path("six"), dir.Path("five")});
  Scan extended;
  extended.options.EXT = true;
  extended.Run({dir.Path("batch")});
  std::vector<Segment*> records = scan.Records();
  records.push_back(extended.catalogue);
  ASSERT_EQ(records.size(), 3u);
  ASSERT_NE(records[2], nullptr);
  std::string caption = subject;
  upcase(caption.data());
  for (Segment* s : records) {
    EXPECT_EQ(s->caption, caption);
    EXPECT_EQ(s->part * 10 + s->total, 23);
    EXPECT_EQ(s->time, 97582830);
  }
  EXPECT_EQ(records[0]->offset + records[1]->offset, 2);
  EXPECT_EQ(records[2]->offset,
            static_cast<int64_t>((Headers(6, "chat") + "text\nx\n").size()));
  for (const PosterPool* pool : {&scan.pool, &extended.pool})
    EXPECT_EQ(pool->ids, (decltype(pool->ids){{"long.poster", 1}}));
}

TEST(Scanner, PartsTotalsAndBeginNames) {
  TempDir dir;
  std::string body = kFull + kFull + kFull;
  // Part 1 without a begin line becomes -1; part 3 of 5 loses its begin.
  WriteFile(dir.Path("1"), Headers(6, "pic.jpg (1/5)") + body);
  WriteFile(dir.Path("2"),
            Headers(6, "pic.jpg (3/5)") + "begin 644 pic.jpg\n" + body);
  // Body part numbers: part 2 of 3 read from a line naming the file.
  WriteFile(dir.Path("3"),
            Headers(6, "other.gif (1/3)") + "other.gif part 2/3\n" + body);
  WriteFile(dir.Path("4"),
            Headers(6, "low.gif (1/3)") + "low.gif 2/2\n" + body);
  WriteFile(dir.Path("5"),
            Headers(6, "high.gif (1/3)") + "high.gif 2/4\n" + body);
  Scan scan;
  scan.Run({dir.Path("1"), dir.Path("2"), dir.Path("3"), dir.Path("4"),
            dir.Path("5")});
  ASSERT_EQ(scan.count, 5);
  for (Segment* s : scan.Records()) {
    std::string caption = s->caption;
    if (caption == "PIC.JPG (1/5)") {
      EXPECT_EQ(s->part, -1);
    }
    if (caption == "PIC.JPG (3/5)") {
      EXPECT_EQ(s->begin, nullptr);
    }
    if (caption == "OTHER.GIF (1/3)") {
      EXPECT_EQ(s->part * 10 + s->total, 23);
    }
    if (caption == "LOW.GIF (1/3)") {
      EXPECT_EQ(s->part * 10 + s->total, 22);
    }
    if (caption == "HIGH.GIF (1/3)") {
      EXPECT_EQ(s->part * 10 + s->total, 23);
    }
  }
}

TEST(Scanner, EqualBeginNamesShareOneStringAndBrokenBeginLinesJoin) {
  TempDir dir;
  std::string body = kFull + kFull + kFull;
  WriteFile(dir.Path("1"), Headers(6, "one") + "begin 644\nsame.bin\n" + body);
  WriteFile(dir.Path("2"), Headers(6, "two") + "begin 644 same.bin\n" + body);
  Scan scan;
  scan.Run({dir.Path("1"), dir.Path("2")});
  auto records = scan.Records();
  ASSERT_EQ(records.size(), 2u);
  ASSERT_NE(records[0]->begin, nullptr);
  EXPECT_STREQ(records[0]->begin, "same.bin");
  EXPECT_EQ(records[0]->begin, records[1]->begin);
}

TEST(Scanner, PosterCarriesOverToArticlesWithoutFrom) {
  TempDir dir;
  std::string body = kFull + kFull + kFull;
  std::string no_from = "Subject: n\nA: 1\nB: 2\nC: 3\nD: 4\nE: 5\n\n" + body;
  WriteFile(dir.Path("1"), no_from);
  WriteFile(dir.Path("2"), Headers(6, "x", "Bob <bob@x.org>") + body);
  WriteFile(dir.Path("3"), no_from);
  Scan scan;
  scan.Run({dir.Path("1"), dir.Path("2"), dir.Path("3")});
  ASSERT_EQ(scan.count, 3);
  EXPECT_EQ(scan.pool.nitems, 2);  // "" then "bob"
  int bob = 0;
  for (Segment* s : scan.Records()) bob += s->poster == 2;
  EXPECT_EQ(bob, 2);
}

TEST(Scanner, ExtendedFileHoldsSeveralArticles) {
  TempDir dir;
  std::string body = kFull + kFull + kFull + kFull;
  std::string text = Headers(6, "a.bin (1/3)") + body +
                     Headers(7, "a.bin (2/3)") + body +
                     Headers(6, "a.bin (3/3)") + body;
  WriteFile(dir.Path("batch"), text);
  Scan scan;
  scan.options.EXT = true;
  scan.Run({dir.Path("batch")});
  auto records = scan.Records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0]->path, records[2]->path);
  EXPECT_EQ(records[0]->offset, 0);
  EXPECT_LT(records[0]->offset, records[1]->offset);
  EXPECT_LT(records[1]->offset, records[2]->offset);
  EXPECT_EQ(text.substr(records[1]->offset, 6), "From: ");
}

TEST(Scanner, ExtendedSubjectLineBeginsTheNextArticle) {
  TempDir dir;
  std::string body = kFull + kFull + kFull;
  // A text article (no data) followed by a posting in the same batch: the
  // posting's Subject line starts a new article instead of being swallowed.
  std::string text =
      "Path: p\nFrom: t@x\nSubject: chat\nDate: d\nA: 1\n"
      "B: 2\n\njust text\n"
      "Path: p\nFrom: u@x\nSubject: data.bin (1/1)\nA: 1\n"
      "B: 2\nC: 3\n\nbegin 644 data.bin\n" +
      body;
  WriteFile(dir.Path("batch"), text);
  Scan scan;
  scan.options.EXT = true;
  scan.Run({dir.Path("batch")});
  ASSERT_EQ(scan.count, 1);
  EXPECT_STREQ(scan.catalogue->caption, "DATA.BIN (1/1)");
  EXPECT_EQ(text.substr(scan.catalogue->offset, 9), "Path: p\nF");
  EXPECT_EQ(scan.pool.nitems, 1);
  EXPECT_EQ(scan.Records()[0]->poster, 1);
  // Without -extended the second Subject line is just a line.
  Scan plain;
  plain.Run({dir.Path("batch")});
  ASSERT_EQ(plain.count, 1);
  EXPECT_STREQ(plain.catalogue->caption, "CHAT");
}

TEST(Scanner, FallBackOnlyBeforeTheFirstSegment) {
  TempDir dir;
  std::string body = kFull + kFull + kFull;
  WriteFile(dir.Path("plain"), "begin 644 x\n" + body);
  WriteFile(dir.Path("art"), Headers(6, "x") + body);
  {
    Scan scan;
    EXPECT_EQ(scan.Run({dir.Path("missing"), dir.Path("plain")}),
              kScanFallBack);
  }
  {
    Scan scan;
    EXPECT_EQ(scan.Run({dir.Path("art"), dir.Path("plain")}), kScanDone);
    EXPECT_EQ(scan.count, 1);
  }
}

TEST(Scanner, KeywordRejection) {
  TempDir dir;
  std::string body = kFull + kFull + kFull;
  WriteFile(dir.Path("1"), Headers(6, "cat pics") + body);
  WriteFile(dir.Path("2"), Headers(6, "dog pics") + body);
  char words[] = "-cat";
  Scan scan;
  KeySplit(scan.keywords, words, &scan.state.keyword_count,
           scan.reporter.get());
  // A rejected article does not start the fall-back mode.
  EXPECT_EQ(scan.Run({dir.Path("1"), dir.Path("2")}), kScanDone);
  ASSERT_EQ(scan.count, 1);
  EXPECT_STREQ(scan.catalogue->caption, "DOG PICS");
}

TEST(Scanner, RestOfARejectedArticleDoesNotStartTheFallBack) {
  TempDir dir;
  WriteFile(dir.Path("batch"), "Subject: dog pics\n\nhello\n");
  char words[] = "-dog";
  Scan scan;
  scan.options.EXT = true;
  KeySplit(scan.keywords, words, &scan.state.keyword_count,
           scan.reporter.get());
  EXPECT_EQ(scan.Run({dir.Path("batch")}), kScanDone);
  EXPECT_EQ(scan.count, 0);
}

TEST(Scanner, KeywordRejectionUnderExtendedReadsOnAfterTheSubject) {
  TempDir dir;
  std::string body = kFull + kFull + kFull;
  WriteFile(dir.Path("batch"),
            Headers(6, "cat pics") + body + Headers(6, "dog pics") + body);
  char words[] = "-cat";
  Scan scan;
  scan.options.EXT = true;
  KeySplit(scan.keywords, words, &scan.state.keyword_count,
           scan.reporter.get());
  scan.Run({dir.Path("batch")});
  ASSERT_EQ(scan.count, 1);
  EXPECT_STREQ(scan.catalogue->caption, "DOG PICS");
}

}  // namespace

namespace {

// A last part shorter than three full lines qualifies by its end line when
// a data line of it stands right before that line or before the one
// zero-length line ("`", a blank, or nothing) before it; text that only
// looks like one does not.
TEST(Scanner, EndOfAFileShorterThanThreeFullLines) {
  TempDir dir;
  const std::string last = UuencodeLines("abc");  // a short data line
  const std::string last_crlf = last.substr(0, last.size() - 1) + "\r\n";
  const std::string part3 = Headers(6, "r.bin (3/3)");
  struct {
    const char* what;
    std::string text;
    bool qualifies;
  } cases[] = {
      // 10 bytes: "*" and 16 characters (12 encode them; the rule allows 13).
      {"tiny file", Headers(6, "tiny.txt") + Uuencode("0123456789", "tiny.txt"),
       true},
      {"short, end", part3 + last + "end\n", true},
      {"short, `", part3 + last + "`\nend\n", true},
      {"short, blank", part3 + last + " \nend\n", true},
      {"short, nothing", part3 + last + "\nend\n", true},
      {"short, blank, CR LF", part3 + last_crlf + " \r\nend\r\n", true},
      {"short, nothing, CR LF", part3 + last_crlf + "\r\nend \r\n", true},
      {"full, `", Headers(6, "r.bin (2/2)") + kFull + kFull + "`\r\nend\n",
       true},
      {"full, nothing", Headers(6, "r.bin (2/2)") + kFull + "\nend\n", true},
      {"empty file", Headers(6, "e.bin") + "begin 644 e.bin\n`\nend\n", true},
      {"no part, no begin", Headers(6, "r.bin") + kFull + "`\nend\n", false},
      {"quoted", Headers(6, "Re: r.bin (3/3)") + "> " + last + "> `\n> end\n",
       false},
      {"text", Headers(6, "x (2/3)") + "it was the\nend\n", false},
      {"text, `", Headers(6, "x (2/3)") + "it was the\n`\nend\n", false},
      {"two zero-length lines", part3 + last + "`\n\nend\n", false},
      {"bad lengths", Headers(6, "y (2/3)") + "#abcd\n#ab\nendless\n", false},
      {"end word", Headers(6, "z (2/3)") + kFull + "end of it\n", false},
  };
  for (const auto& c : cases) {
    WriteFile(dir.Path("a"), c.text);
    Scan scan;
    scan.Run({dir.Path("a")});
    EXPECT_EQ(scan.count, c.qualifies ? 1 : 0) << c.what;
  }
}

TEST(Scanner, ShortDataLineLengths) {
  TempDir dir;
  struct {
    std::string line;
    bool qualifies;
  } cases[] = {{"!" + std::string(4, 'A') + "\n", true},
               {"!" + std::string(5, 'A') + "\n", true},
               {"!" + std::string(6, 'A') + "\n", false},
               {"!" + std::string(3, 'A') + "\n", false},
               {"L" + std::string(60, 'A') + "\r\n", true},
               {"L" + std::string(59, 'A') + "a\n", false},
               {"M" + std::string(40, 'A') + "\n", false}};
  for (const auto& c : cases) {
    WriteFile(dir.Path("a"), Headers(6, "r.bin (2/2)") + c.line + "end\n");
    Scan scan;
    scan.Run({dir.Path("a")});
    EXPECT_EQ(scan.count, c.qualifies ? 1 : 0) << c.line;
  }
}

// A directory (a subgroup's) is passed over without a word and is no
// failure; an empty file read first is no article without a Subject line:
// the scan goes on and does not fall back to plain decoding. (That neither
// gets a log entry: test_no_loss.)
TEST(Scanner, DirectoriesAndEmptyFilesArePassedOver) {
  TempDir dir;
  std::filesystem::create_directory(dir.Path("sub"));
  WriteFile(dir.Path("empty"), "");
  WriteFile(dir.Path("art"), Headers(6, "x") + kFull + kFull + kFull);
  Scan scan;
  EXPECT_EQ(scan.Run({dir.Path("sub"), dir.Path("empty"), dir.Path("art")}),
            kScanDone);
  EXPECT_EQ(scan.reporter.Err(), "");
  EXPECT_FALSE(scan.reporter.reporter.failed);
  EXPECT_EQ(scan.count, 1);
}

// The keyword lines of a yEnc part of 100 bytes at 101..200 of a 300-byte
// file, with no data lines: the scan reads no further than =ypart.
std::string YencPart2(const std::string& begin_extra = " total=3") {
  return "=ybegin part=2" + begin_extra +
         " line=128 size=300 name=a b.bin\n=ypart begin=101 end=200\n";
}

TEST(Scanner, YbeginLineMakesAYencSegmentOutsideTheCatalogue) {
  TempDir dir;
  WriteFile(dir.Path("y"), "x\n" + Headers(6, "a b.bin (2/3)", "p@q.r") +
                               YencPart2() + "=yend size=100\n");
  Scan scan;
  EXPECT_EQ(scan.Run({dir.Path("y")}), kScanDone);
  EXPECT_EQ(scan.count, 1);
  EXPECT_EQ(scan.catalogue, nullptr);
  ASSERT_EQ(scan.yenc.size(), 1u);
  const Segment* s = scan.yenc[0];
  ASSERT_EQ(s->encoding.kind, Encoding::kYenc);
  EXPECT_EQ(scan.Part(s).name, "a b.bin");
  EXPECT_EQ(scan.Part(s).size, 300u);
  EXPECT_EQ(scan.Part(s).begin, 101u);
  EXPECT_EQ(scan.Part(s).end, 200u);
  EXPECT_EQ(s->part, 2);
  EXPECT_EQ(s->total, 3);
  EXPECT_EQ(s->begin, nullptr);
  EXPECT_EQ(s->offset, 2);
  EXPECT_STREQ(s->caption, "A B.BIN (2/3)");
}

// total= wins; without it the subject's last "(n/m)" gives the total. A
// =ybegin line that is broken, not at the start of a line, or before the
// Subject line makes no segment.
TEST(Scanner, YencTotalsAndLinesThatMakeNoSegment) {
  TempDir dir;
  WriteFile(dir.Path("subject"),
            Headers(6, "[01/17] - \"f\" yEnc (2/4)") + YencPart2(""));
  WriteFile(dir.Path("broken"),
            Headers(6, "g (2/4)") + "=ybegin part=2 line=128 name=x\n");
  WriteFile(dir.Path("inside"),
            Headers(6, "h") + std::string(130, 'x') + YencPart2());
  WriteFile(dir.Path("early"), YencPart2() + Headers(6, "i"));
  Scan scan;
  scan.Run({dir.Path("subject"), dir.Path("broken"), dir.Path("inside"),
            dir.Path("early")});
  ASSERT_EQ(scan.yenc.size(), 1u);
  EXPECT_EQ(scan.Part(scan.yenc[0]).total, 4);
  EXPECT_EQ(scan.count, 1);
}

// yEnc parts go by the whole address, in any case, also where an article
// without a From: line takes the last one read; the uuencoded poster ids
// stay those of the name before the "@".
TEST(Scanner, YencPostersByTheWholeAddress) {
  TempDir dir;
  const char* froms[] = {"anonymous@first.example",
                         "Anonymous <anonymous@First.EXAMPLE>",
                         "anonymous@second.example", nullptr};
  std::vector<std::string> files;
  for (const char* from : froms) {
    files.push_back(dir.Path(std::to_string(files.size())));
    std::string head = from ? Headers(6, "a b.bin (2/3)", from)
                            : "Subject: x\nA: 1\nB: 2\nC: 3\nD: 4\nE: 5\n\n";
    WriteFile(files.back(), head + YencPart2());
  }
  Scan scan;
  scan.Run(files);
  ASSERT_EQ(scan.yenc.size(), 4u);
  std::vector<int> posters;
  for (const Segment* s : scan.yenc) {
    posters.push_back(scan.Part(s).poster);
    EXPECT_EQ(s->poster, scan.yenc[0]->poster);
  }
  EXPECT_EQ(posters, (std::vector<int>{1, 1, 2, 2}));
}

// Under -extended each part of a batch is a segment of its own, at its own
// header block.
TEST(Scanner, ExtendedBatchOfYencParts) {
  TempDir dir;
  std::string first = Headers(6, "a b.bin (1/3)") +
                      "=ybegin part=1 total=3 line=128 size=300 "
                      "name=a b.bin\n=ypart begin=1 end=100\n=yend\n";
  std::string text = first + Headers(6, "a b.bin (2/3)") + YencPart2();
  WriteFile(dir.Path("batch"), text);
  Scan scan;
  scan.options.EXT = true;
  scan.Run({dir.Path("batch")});
  ASSERT_EQ(scan.yenc.size(), 2u);
  EXPECT_EQ(scan.yenc[0]->offset, 0);
  EXPECT_EQ(scan.yenc[1]->offset, static_cast<int64_t>(first.size()));
  EXPECT_EQ(scan.Part(scan.yenc[1]).begin, 101u);
}

}  // namespace
