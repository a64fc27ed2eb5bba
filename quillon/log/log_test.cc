#include "log/log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "quillon.h"
#include "test_support.h"

namespace {

class LogTest : public testing::Test {
 protected:
  void SetUp() override {
    log_ = tmp_.Path("newslog");
    setenv("QUILLONLOG", log_.c_str(), 1);
  }
  void TearDown() override { unsetenv("QUILLONLOG"); }

  // A run that starts with the log loaded.
  LogList Load() {
    LogList list;
    list.CWD = cwd_;
    LoadDlist(&list, reporter_.get());
    return list;
  }

  // What a scan does for one file: look it up, and flag it as decoded.
  int Scan(LogList* list, const char* file, bool decoded = true) {
    LogEntry* entry = nullptr;
    int seen = inDlist(list, file, &entry);
    if (seen) {
      EXPECT_EQ(entry, nullptr) << file;
    }
    if (entry && decoded) entry->flag = 1;
    return seen;
  }

  // The -unlog sequence.
  bool Unlog(LogList* list, const char* prefix) {
    list->CWD = cwd_;
    if (!LoadDlist(list, reporter_.get())) return false;
    list->LOGUPDATE = true;
    return UpdateDlist(*list, prefix, reporter_.get());
  }

  // -log with `dir`, its lock let go at once.
  bool AddDir(const std::string& dir) {
    int lock = -1;
    bool added = logdir(cwd_, dir.c_str(), &lock, reporter_.get());
    if (lock >= 0) close(lock);
    return added;
  }

  std::string Rewrite(const std::string& before, const char* prefix = ".:.") {
    WriteFile(log_, before);
    LogList list = Load();
    list.LOGUPDATE = true;
    EXPECT_TRUE(UpdateDlist(list, prefix, reporter_.get()));
    return ReadFile(log_);
  }

  TempDir tmp_;
  std::string log_;
  std::string cwd_ = "/home/u";
  TestReporter reporter_;
};

TEST_F(LogTest, FullCycle) {
  WriteFile(log_, "*/spool/pics\n");  // as -log /spool/pics writes it
  LogList list = Load();
  EXPECT_EQ(Scan(&list, "/spool/pics/101"), 0);
  EXPECT_EQ(Scan(&list, "/spool/pics/102"), 0);
  EXPECT_EQ(Scan(&list, "/spool/pics/103", false), 0);
  EXPECT_TRUE(list.LOGUPDATE);
  UpdateDlist(list, ".:.", reporter_.get());
  EXPECT_EQ(ReadFile(log_), "*/spool/pics\n@102\n@101\n");
  EXPECT_EQ(reporter_.Out(), "Reading " + log_ + "\nUpdating " + log_ + "\n");

  list = Load();
  for (const char* f : {"/spool/pics/101", "/spool/pics/102"})
    EXPECT_EQ(Scan(&list, f), 1) << f;
  EXPECT_EQ(Scan(&list, "/spool/pics/103", false), 0);
  EXPECT_EQ(Scan(&list, "/spool/pics/104"), 0);
  EXPECT_EQ(Scan(&list, "/spool/pics/105"), 0);
  UpdateDlist(list, ".:.", reporter_.get());
  EXPECT_EQ(ReadFile(log_), "*/spool/pics\n@105\n@104\n@101\n@102\n");

  // From inside the directory only the files named again are kept.
  cwd_ = "/spool/pics";
  list = Load();
  EXPECT_EQ(Scan(&list, "104"), 1);
  UpdateDlist(list, ".:.", reporter_.get());
  EXPECT_EQ(ReadFile(log_), "*/spool/pics\n@104\n");

  cwd_ = "/home/u";
  list = LogList();
  Unlog(&list, "/spool/pics");
  EXPECT_EQ(ReadFile(log_), "");
}

TEST_F(LogTest, PathsUnderLogRoots) {
  struct Case {
    const char* cwd;
    const char* log;
    const char* file;
    const char* after;
  } cases[] = {
      // A root covers its subdirectories through a LogDir of their own.
      {"/home/u", "*/spool\n", "/spool/pics/7", "*/spool\n*/spool/pics\n@7\n"},
      // The prefix test is plain text.
      {"/home/u", "*/spool/pics\n", "/spool/pics2/7",
       "*/spool/pics\n*/spool/pics2\n@7\n"},
      {"/home/u", "*/spool/pics/\n", "/spool/pics/7",
       "*/spool/pics/\n*/spool/pics\n@7\n"},
      {"/home/u", "*/home\n", "../x", "*/home\n@x\n"},
      // Paths are normalised before they are looked up.
      {"/home/u", "*/home\n", "./x", "*/home\n*/home/u\n@x\n"},
      {"/home/u", "*/home/u/spool\n", ".//spool/./g/../g//7",
       "*/home/u/spool\n*/home/u/spool/g\n@7\n"},
      {"/", "*/spool\n", "spool/x", "*/spool\n@x\n"},
  };
  for (const Case& c : cases) {
    cwd_ = c.cwd;
    WriteFile(log_, c.log);
    LogList list = Load();
    EXPECT_EQ(Scan(&list, c.file), 0) << c.file;
    UpdateDlist(list, ".:.", reporter_.get());
    EXPECT_EQ(ReadFile(log_), c.after) << c.file;
  }
}

TEST_F(LogTest, FilesOutsideEveryRootAreNotLogged) {
  for (const char* file : {"spool/1", "/elsewhere/1"}) {
    WriteFile(log_, "*spool\n*/spool\n");
    LogList list = Load();
    LogEntry sentinel{};
    LogEntry* entry = &sentinel;
    EXPECT_EQ(inDlist(&list, file, &entry), 0);
    EXPECT_EQ(entry, nullptr);
    EXPECT_FALSE(list.LOGUPDATE);
    UpdateDlist(list, ".:.", reporter_.get());
    EXPECT_EQ(reporter_.Out(), "Reading " + log_ + "\n");
  }
  cwd_.clear();  // the current directory could not be read
  LogList list = LoadLogText("*/\n");
  LogEntry* entry = nullptr;
  EXPECT_EQ(inDlist(&list, "x", &entry), 0);
  EXPECT_EQ(entry, nullptr);
}

TEST_F(LogTest, MakePath) {
  struct Case {
    const char* cwd;
    const char* path;
    const char* absolute;
  } cases[] = {
      {"/home/u", "a", "/home/u/a"},
      {"/home/u", "/abs/a", "/abs/a"},
      {"/home/u", "../a", "/home/a"},
      {"/home/u", "../../a", "/a"},
      {"/home/u", "../../../../a", "/a"},
      {"/home/u", "./a", "/home/u/a"},
      {"/home/u", "a/../b", "/home/u/b"},
      {"/home/u", "a//b/./", "/home/u/a/b"},
      {"/home/u", "/abs//./x/../y/", "/abs/y"},
      {"/home/u", "/a/.../..b/.c/", "/a/.../..b/.c"},
      {"/", "a", "/a"},
      {"/", "../a", "/a"},
  };
  for (const Case& c : cases) {
    cwd_ = c.cwd;
    EXPECT_EQ(MakePath(cwd_, c.path), c.absolute) << c.cwd << " " << c.path;
  }
  cwd_ = "/" + std::string(5000, 'd');
  EXPECT_EQ(MakePath(cwd_, "x"), cwd_ + "/x");
}

TEST_F(LogTest, RewriteText) {
  struct Case {
    const char* before;
    const char* after;
  } cases[] = {
      {"*/a\n@1\n@2\n@3\n", "*/a\n@3\n@2\n@1\n"},
      {"*/a\n@1\n*/b\n@2\n*/a\n@3\n", "*/a\n@3\n@1\n*/b\n@2\n"},
      // Entries of the current directory load unflagged.
      {"*/home/u\n@1\n*/b\n@2\n", "*/home/u\n*/b\n@2\n"},
      {"@0\n*/a\n@1\nnoise\n\n#x\n@102", "*/a\n@102\n@1\n"},
      {"*/a\r\n@1\r\n", "*/a\r\n@1\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Rewrite(c.before), c.after);
  std::string longname(3000, 'n');
  std::string longlog = "*/" + longname + "\n@" + longname + "\n";
  EXPECT_EQ(Rewrite(longlog), longlog);
}

TEST_F(LogTest, UnlogLeavesOutByPlainPrefix) {
  const char* log = "*/spool/pics\n@1\n*/spool/pics2\n@2\n*/spool\n@3\n";
  EXPECT_EQ(Rewrite(log, "/spool/pics"), "*/spool\n@3\n");
  EXPECT_EQ(Rewrite(log, "/spool"), "");
}

TEST_F(LogTest, TwoUnlogsShareOneList) {
  WriteFile(log_, "*/a\n@1\n*/b\n@2\n*/c\n@3\n");
  LogList list;
  Unlog(&list, "/a");
  EXPECT_EQ(ReadFile(log_), "*/b\n@2\n*/c\n@3\n");
  Unlog(&list, "/b");
  EXPECT_EQ(ReadFile(log_), "*/a\n@1\n*/c\n@3\n@3\n");
}

TEST_F(LogTest, QuietAndUnsetVariable) {
  reporter_.reporter.quiet = true;
  WriteFile(log_, "*/a\n");
  LogList list;
  Unlog(&list, "/a");
  EXPECT_EQ(reporter_.Out(), "");
  EXPECT_EQ(ReadFile(log_), "");

  reporter_.reporter.quiet = false;
  unsetenv("QUILLONLOG");
  list = LogList();
  EXPECT_TRUE(Unlog(&list, "/a"));
  EXPECT_EQ(list.first, nullptr);
  EXPECT_EQ(list.LOGFILE, nullptr);
  EXPECT_TRUE(AddDir(tmp_.path));
  EXPECT_EQ(reporter_.Err(),
            "quillon: QUILLONLOG enviroment variable not set\n");
  EXPECT_EQ(reporter_.Out(), "");
  EXPECT_FALSE(reporter_.reporter.failed);  // said, but no failure
}

TEST_F(LogTest, MissingLogLoadsSilentlyAndUnlogCreatesIt) {
  LogList list = Load();
  EXPECT_EQ(list.first, nullptr);
  EXPECT_STREQ(list.LOGFILE, log_.c_str());
  EXPECT_EQ(reporter_.Out(), "");
  Unlog(&list, "/a");
  EXPECT_EQ(reporter_.Out(), "Updating " + log_ + "\n");
  EXPECT_TRUE(FileExists(log_));
  EXPECT_EQ(ReadFile(log_), "");
}

TEST_F(LogTest, FailedRewriteKeepsTheOldLog) {
  // A log in a missing directory cannot be written at all.
  std::string missing = tmp_.Path("none/newslog");
  setenv("QUILLONLOG", missing.c_str(), 1);
  EXPECT_FALSE(AddDir(tmp_.path));
  LogList list;
  EXPECT_FALSE(Unlog(&list, "/a"));
  EXPECT_EQ(reporter_.Err(), "quillon: cannot lock " + missing +
                                 ".lock\nquillon: can't open log file\n");
  EXPECT_EQ(reporter_.Out(), "");

  // A directory is neither read nor replaced: nothing is left behind.
  setenv("QUILLONLOG", log_.c_str(), 1);
  std::filesystem::create_directory(log_);
  EXPECT_FALSE(Unlog(&list, "/a"));
  list.LOGUPDATE = true;
  EXPECT_FALSE(UpdateDlist(list, "/a", reporter_.get()));
  EXPECT_EQ(reporter_.Err(),
            "quillon: can't open log file\nquillon: can't open log file\n");
  EXPECT_EQ(reporter_.Out(), "");
  EXPECT_TRUE(std::filesystem::is_directory(log_));
  int files = 0;
  for ([[maybe_unused]] auto& f :
       std::filesystem::directory_iterator(tmp_.path))
    ++files;
  EXPECT_EQ(files, 1);
}

TEST_F(LogTest, RewriteKeepsModeAndSymlink) {
  std::string real = tmp_.Path("real");
  WriteFile(real, "*/a\n*/b\n");
  chmod(real.c_str(), 0640);
  std::filesystem::create_symlink(real, log_);
  LogList list;
  Unlog(&list, "/a");
  EXPECT_TRUE(std::filesystem::is_symlink(log_));
  EXPECT_EQ(ReadFile(real), "*/b\n");
  struct stat st;
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

}  // namespace
