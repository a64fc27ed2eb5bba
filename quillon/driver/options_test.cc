#include "driver/options.h"

#include <gtest/gtest.h>

TEST(GetOption, FullWordsAndShortestAbbreviations) {
  const char* shortest[] = {"-del", "-q",  "-ex", "-des", "-m",  "-p", "-di",
                            "-k",   "-er", "-l",  "-u",   "-do", "-f"};
  const char* full[] = {"-delete", "-quiet", "-extended", "-dest",   "-mode",
                        "-plain",  "-dir",   "-keywords", "-errors", "-log",
                        "-unlog",  "-dos",   "-files"};
  for (int i = 0; i < 13; ++i) {
    EXPECT_EQ(GetOption(shortest[i]), i + 1) << shortest[i];
    EXPECT_EQ(GetOption(full[i]), i + 1) << full[i];
  }
}

TEST(GetOption, AmbiguousUnknownAndTooLong) {
  for (const char* word : {"-", "-d", "-de", "-e"})
    EXPECT_EQ(GetOption(word), 0) << word;
  for (const char* word : {"-deletex", "-x", "--help", "-Q", "-logs", "-fs"})
    EXPECT_EQ(GetOption(word), 0) << word;
}

TEST(ParseMode, OneToFourOctalDigits) {
  struct Case {
    const char* text;
    int mode;  // -1: refused
  } cases[] = {
      {"0", 0},        {"7", 7},     {"644", 0644}, {"0644", 0644},
      {"7777", 07777}, {"", -1},     {"00644", -1}, {"10000", -1},
      {"999", -1},     {"8", -1},    {"abc", -1},   {"-1", -1},
      {"+644", -1},    {" 644", -1}, {"644 ", -1},  {"64x", -1},
  };
  for (const Case& c : cases) {
    int mode = 0123;
    EXPECT_EQ(ParseMode(c.text, &mode), c.mode >= 0) << c.text;
    EXPECT_EQ(mode, c.mode >= 0 ? c.mode : 0123) << c.text;
  }
}
