#include "decoding/dosname.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "test_support.h"

namespace {

// The byte behind the terminator: the use counter.
int Counter(const char* s) {
  return static_cast<unsigned char>(s[std::strlen(s) + 1]);
}

TEST(Dosname, FieldRule) {
  const char* table[][2] = {
      {"archive.tar.gz", "archive.tar"},
      {"verylongname.jpeg", "verylome.jpe"},
      {"abcdefghi.txt", "abcdefhi.txt"},
      {"abcdefgh.txt", "abcdefgh.txt"},
      {"abcdefgh", "abcdef"},
      {"abcdefghijk", "abcdef"},
      {"pictures_a_1.jpg", "pictur_1.jpg"},
      {"pictures_b_1.jpg", "pictur_1.jpg"},
      {".profile", ".p"},
      {"a.b", "a.b"},
      {"a.bcdef", "a.b"},
      {"ab.cdef", "ab.cde"},
      {"my.long.file.name.txt", "my.lon"},
      {"a.b.c", "a.b.c"},
      {"a.bcdef.xyz", "a.b.xyz"},
      {"name.", "name."},
      {"", ""},
  };
  for (auto& row : table) {
    char* name = NewBeginName(TestRecords(), row[0]);
    name[std::strlen(name) + 1] = 7;
    dosname(name);
    EXPECT_STREQ(name, row[1]) << row[0];
    EXPECT_EQ(Counter(name), 0) << row[0];
    dosname(name);
    EXPECT_STREQ(name, row[1]) << "again: " << row[0];
  }
  dosname(nullptr);
}

struct Files {
  Segment* list = nullptr;
  Segment** tail = &list;
  Segment* Add(char* begin) {
    Segment* s = NewSegment(TestRecords());
    s->begin = begin;
    *tail = s;
    tail = &s->next;
    return s;
  }
};

// The name checkname leaves for `name`.
std::string Checked(Segment* list, const char* name) {
  char buf[kLineSize];
  std::strcpy(buf, name);
  // The index the pass builds once its begin strings are converted; built
  // anew here, as the tests change them between calls.
  NameIndex index;
  BeginNameIndex(&index, TestRecords(), list);
  checkname(&index, list, buf);
  EndNameIndex(&index);
  return buf;
}

TEST(Checkname, WorkedExample) {
  Files f;
  char* a = NewBeginName(TestRecords(), "pictures_a_1.jpg");
  char* b = NewBeginName(TestRecords(), "pictures_b_1.jpg");
  f.Add(a);
  f.Add(nullptr);
  f.Add(b);
  dosname(a);
  dosname(b);
  EXPECT_EQ(Checked(f.list, "pictures_a_1.jpg"), "pictur_1.jpg");
  EXPECT_EQ(Counter(a), 1);
  EXPECT_EQ(Counter(b), 1);
  std::strcpy(a, MARKER);
  EXPECT_EQ(Checked(f.list, "pictures_b_1.jpg"), "pictur01.jpg");
  EXPECT_EQ(Counter(b), 2);
}

TEST(Checkname, SharedStringIsNumberedOnItsSecondSegment) {
  Files f;
  char* s = NewBeginName(TestRecords(), "README");
  f.Add(s);
  f.Add(s);
  EXPECT_EQ(Checked(f.list, "README"), "README01.");
  EXPECT_EQ(Counter(s), 2);
  EXPECT_EQ(Checked(f.list, "readme"), "readme");
}

TEST(Checkname, CountsNeverWrapOrRepeat) {
  Files f;
  char* s = NewBeginName(TestRecords(), "pictur_1.jpg");
  f.Add(s);
  std::set<std::string> names;
  for (int i = 0; i < 600; ++i) names.insert(Checked(f.list, "pictur_1.jpg"));
  EXPECT_EQ(names.size(), 600u);
  EXPECT_TRUE(names.count("pictur10.jpg"));
  EXPECT_TRUE(names.count("pictur100.jpg"));
  EXPECT_TRUE(names.count("pictur599.jpg"));
  // Converting the string again starts its count afresh.
  dosname(s);
  EXPECT_EQ(Checked(f.list, "pictur_1.jpg"), "pictur_1.jpg");
  EXPECT_EQ(Checked(f.list, "pictur_1.jpg"), "pictur01.jpg");
}

TEST(NumberedDosName, StaysAnEightThreeName) {
  EXPECT_EQ(NumberedDosName("pictur_1.jpg", 1), "pictur01.jpg");
  EXPECT_EQ(NumberedDosName("ab.c", 7), "ab07.c");
  EXPECT_EQ(NumberedDosName("README", 2), "README02.");
  EXPECT_EQ(NumberedDosName("pictur_1.jpg", 99), "pictur99.jpg");
  EXPECT_EQ(NumberedDosName("pictur_1.jpg", 100), "pictu100.jpg");
  EXPECT_EQ(NumberedDosName("pictur_1.jpg", 12345), "pic12345.jpg");
  EXPECT_EQ(NumberedDosName("pictur100.jpg", 1), "pictur01.jpg");
  EXPECT_EQ(NumberedDosName(".p", 3), "03.p");
}

}  // namespace
