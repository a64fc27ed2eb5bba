#include "driver/options.h"

#include <gtest/gtest.h>

TEST(GetOption, FullWordsAndShortestAbbreviations) {
  const char* shortest[] = {"-del", "-q", "-ex", "-des", "-m", "-p",
                            "-di",  "-k", "-er", "-l",   "-u", "-do"};
  const char* full[] = {"-delete", "-quiet", "-extended", "-dest",
                        "-mode",   "-plain", "-dir",      "-keywords",
                        "-errors", "-log",   "-unlog",    "-dos"};
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(GetOption(shortest[i]), i + 1) << shortest[i];
    EXPECT_EQ(GetOption(full[i]), i + 1) << full[i];
  }
}

TEST(GetOption, AmbiguousUnknownAndTooLong) {
  for (const char* word : {"-", "-d", "-de", "-e"})
    EXPECT_EQ(GetOption(word), 0) << word;
  for (const char* word : {"-deletex", "-x", "--help", "-Q", "-logs"})
    EXPECT_EQ(GetOption(word), 0) << word;
}
